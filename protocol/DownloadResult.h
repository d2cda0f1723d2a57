#pragma once

#include <cstdint>

// Window messages by which the receive worker reports a download (private range above WM_USER).
inline constexpr uint32_t WM_DOWNLOAD_PROGRESS =
    2724;  // wParam: announced N; lParam: 0 at start, else records so far
inline constexpr uint32_t WM_DOWNLOAD_DONE = 2725;  // wParam: DownloadResult; lParam: 0

enum DownloadResult : uint32_t {
    DR_OK = 0,          // every announced record is in the raw file, which is closed
    DR_NO_DATA = 1,     // the logger announced zero records
    DR_FILE_ERROR = 2,  // the raw file could not be created or written
    DR_DATA_LOST = 3,   // the stream stopped before every announced record arrived
    DR_ABORTED = 4,     // the download was cancelled or the worker stopped
};

// The text the user is shown for a result; nullptr for a value without one.
inline const char* DownloadResultText(uint32_t nResult) {
    switch (nResult) {
        case DR_OK:
            return "Download OK.";
        case DR_NO_DATA:
            return "No data in device.";
        case DR_FILE_ERROR:
            return "Can't write raw data file.";
        case DR_DATA_LOST:
            return "Data lost in download process.";
        case DR_ABORTED:
            return "Abort download process.";
        default:
            return nullptr;
    }
}

// Whether the result is shown as an error rather than as information.
inline bool DownloadResultIsError(uint32_t nResult) {
    return nResult == DR_FILE_ERROR || nResult == DR_DATA_LOST || nResult == DR_ABORTED;
}

inline constexpr const char* kPortClosedMessage = "Can't open COM port. Action cancelled.";
inline constexpr const char* kSetConfigOkMessage = "Set config OK.";
inline constexpr const char* kDeleteQuestion = "Delete data in device?";
