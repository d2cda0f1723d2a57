#pragma once

#include <cstdint>

// The outcome of a download, carried by WM_DOWNLOAD_DONE in wParam.
enum DownloadResult : uint32_t {
    DR_OK = 0,          // every announced record arrived; the raw file is complete
    DR_NO_DATA = 1,     // the logger announced no records
    DR_FILE_ERROR = 2,  // the raw file could not be created
    DR_DATA_LOST = 3,   // records went missing on the line
    DR_ABORTED = 4,     // the user cancelled
};
