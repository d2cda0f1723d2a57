#pragma once

#include <cstdint>

// How a download ended: the value the worker's WM_DOWNLOAD_DONE carries.
enum DownloadResult : uint32_t {
    DR_OK = 0,          // every announced record is in the raw file, which is closed
    DR_NO_DATA = 1,     // the logger announced zero records
    DR_FILE_ERROR = 2,  // the raw file could not be created or written
    DR_DATA_LOST = 3,   // no block came for the data-lost time before every record arrived
    DR_ABORTED = 4,     // the download was cancelled or the worker stopped
    DR_NO_ANSWER = 5,   // nothing recognisable came back for the data-lost time
    DR_PORT_LOST = 6,   // the port's device went away
    // Record blocks came after the announced count: the count was wrong, every record that arrived
    // is kept, but nothing shows the file holds all the logger has.
    DR_MORE_THAN_ANNOUNCED = 7,
};

// The text the user is shown for a result; nullptr for a value without one.
const char* DownloadResultText(uint32_t nResult);

// Whether the result is shown as an error rather than as information.
inline bool DownloadResultIsError(uint32_t nResult) {
    return nResult >= DR_FILE_ERROR && nResult <= DR_MORE_THAN_ANNOUNCED;
}
