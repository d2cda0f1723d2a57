#include "DownloadResult.h"

const char* DownloadResultText(uint32_t nResult) {
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
        case DR_NO_ANSWER:
            return "No answer from the logger.";
        case DR_PORT_LOST:
            return "The logger went away during the download (unplugged or switched off).";
        case DR_MORE_THAN_ANNOUNCED:
            return "The logger sent more records than it announced.";
        default:
            return nullptr;
    }
}
