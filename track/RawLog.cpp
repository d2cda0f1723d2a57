#include "RawLog.h"

#include "Calendar.h"

#include <cstdio>
#include <limits>
#include <new>

const char* RawLogStatusMessage(RawLogStatus status) {
    switch (status) {
        case RawLogStatus::Ok:
            return "";
        case RawLogStatus::CannotOpen:
            return "Can't open raw data file.";
        case RawLogStatus::BadSize:
            return "Error data in raw file.";
        case RawLogStatus::NoRecords:
            return "No valid GPS data in raw file.";
        case RawLogStatus::TooLarge:
            return "Raw data file too large.";
        case RawLogStatus::OutOfMemory:
            return "Not enough memory to load raw data file.";
    }
    return "Can't open raw data file.";
}

std::string RawLogLoadMessage(RawLogStatus status, const std::string& strPath, SystemError nError) {
    std::string strText = RawLogStatusMessage(status);
    if (status == RawLogStatus::CannotOpen) {
        strText += "\n\n" + (strPath.empty() ? std::string("No file name given") : strPath) +
                   (nError != 0 ? ": " + SystemErrorText(nError) : std::string());
    } else if (status != RawLogStatus::Ok) {
        strText += "\n\n" + strPath;
    }
    return strText;
}

RawLogStatus ValidateRawLogSize(uint64_t nBytes) {
    if (nBytes % kFixRecordSize != 0) return RawLogStatus::BadSize;
    if (nBytes == 0) return RawLogStatus::NoRecords;
    if (nBytes / kFixRecordSize > std::numeric_limits<uint32_t>::max()) {
        return RawLogStatus::TooLarge;
    }
    return RawLogStatus::Ok;
}

RawLogStatus LoadRawLogImage(const std::string& strPath, RawLogImage& image, SystemError* pError) {
    image.Reset();
    File file;
    uint64_t nSize = 0;
    const auto cannotOpen = [&] {
        if (pError != nullptr) *pError = file.Error();
        return RawLogStatus::CannotOpen;
    };
    if (strPath.empty() || !file.OpenRead(strPath) || !file.Size(nSize)) return cannotOpen();
    // A size that cannot hold whole records, or more than a 32-bit count, is refused before any
    // memory is taken: a huge bad file costs nothing.
    const RawLogStatus sizeStatus = ValidateRawLogSize(nSize);
    if (sizeStatus != RawLogStatus::Ok) return sizeStatus;
    if (nSize > std::numeric_limits<size_t>::max()) return RawLogStatus::TooLarge;

    std::unique_ptr<uint8_t[]> pData(new (std::nothrow) uint8_t[nSize]);
    if (!pData) return RawLogStatus::OutOfMemory;

    // One buffer; the loop only continues reads the kernel chose to cut short.
    size_t nRead = 0;
    while (nRead < nSize) {
        size_t n = 0;
        if (!file.Read(pData.get() + nRead, static_cast<size_t>(nSize - nRead), n)) {
            return cannotOpen();
        }
        if (n == 0) break;  // the file shrank meanwhile
        nRead += n;
    }

    const RawLogStatus status = ValidateRawLogSize(nRead);
    if (status != RawLogStatus::Ok) return status;
    image = RawLogImage(std::move(pData), static_cast<uint32_t>(nRead / kFixRecordSize));
    return RawLogStatus::Ok;
}

std::string FormatTimeSpanLabel(uint32_t dwFirstTime, uint32_t dwLastTime, const TimeZone& zone) {
    // Each end in the offset in force then: a file may span a daylight-saving change.
    const LogDateTime a = SecondsToDateTime(dwFirstTime, zone.OffsetAt(dwFirstTime));
    const LogDateTime b = SecondsToDateTime(dwLastTime, zone.OffsetAt(dwLastTime));
    char buf[100];
    std::snprintf(buf, sizeof buf,
                  "Time: %4d/%02d/%02d %02d:%02d:%02d ~ %4d/%02d/%02d %02d:%02d:%02d", a.wYear,
                  a.bMonth, a.bDay, a.bHour, a.bMinute, a.bSecond, b.wYear, b.bMonth, b.bDay,
                  b.bHour, b.bMinute, b.bSecond);
    return buf;
}

std::string FormatSizeLabel(uint32_t nRecordCount) {
    char buf[100];
    std::snprintf(buf, sizeof buf, "Size(Record): %u", nRecordCount);
    return buf;
}
