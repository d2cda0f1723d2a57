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

namespace {

// Reads up to nSize bytes into pData; nRead is what arrived (less when the file shrank meanwhile).
bool ReadWhole(File& file, uint8_t* pData, uint64_t nSize, uint64_t& nRead) {
    nRead = 0;
    // One buffer; the loop only continues reads the kernel chose to cut short.
    while (nRead < nSize) {
        size_t n = 0;
        if (!file.Read(pData + nRead, static_cast<size_t>(nSize - nRead), n)) return false;
        if (n == 0) break;
        nRead += n;
    }
    return true;
}

}  // namespace

RawLogStatus LoadRawLogImage(const std::string& strPath, RawLogImage& image, SystemError* pError) {
    std::vector<uint32_t> counts;
    size_t nFailed = 0;
    return LoadRawLogImages({strPath}, image, counts, nFailed, pError);
}

RawLogStatus LoadRawLogImages(const std::vector<std::string>& paths, RawLogImage& image,
                              std::vector<uint32_t>& counts, size_t& nFailed, SystemError* pError) {
    image.Reset();
    counts.assign(paths.size(), 0);
    std::vector<File> files(paths.size());
    std::vector<uint64_t> sizes(paths.size(), 0);
    uint64_t nTotal = 0;
    for (nFailed = 0; nFailed < paths.size(); ++nFailed) {
        File& file = files[nFailed];
        if (paths[nFailed].empty() || !file.OpenRead(paths[nFailed]) ||
            !file.Size(sizes[nFailed])) {
            if (pError != nullptr) *pError = file.Error();
            return RawLogStatus::CannotOpen;
        }
        // A size that cannot hold whole records, or more than a 32-bit count, is refused before
        // any memory is taken: a huge bad file costs nothing.
        const RawLogStatus sizeStatus = ValidateRawLogSize(sizes[nFailed]);
        if (sizeStatus != RawLogStatus::Ok) return sizeStatus;
        nTotal += sizes[nFailed];
    }
    nFailed = paths.empty() ? 0 : paths.size() - 1;
    const RawLogStatus totalStatus = ValidateRawLogSize(nTotal);
    if (totalStatus != RawLogStatus::Ok) return totalStatus;
    if (nTotal > std::numeric_limits<size_t>::max()) return RawLogStatus::TooLarge;

    std::unique_ptr<uint8_t[]> pData(new (std::nothrow) uint8_t[nTotal]);
    if (!pData) return RawLogStatus::OutOfMemory;

    uint64_t nAt = 0;
    for (nFailed = 0; nFailed < paths.size(); ++nFailed) {
        uint64_t nRead = 0;
        if (!ReadWhole(files[nFailed], pData.get() + nAt, sizes[nFailed], nRead)) {
            if (pError != nullptr) *pError = files[nFailed].Error();
            return RawLogStatus::CannotOpen;
        }
        // Only the bytes actually delivered count.
        const RawLogStatus status = ValidateRawLogSize(nRead);
        if (status != RawLogStatus::Ok) return status;
        counts[nFailed] = static_cast<uint32_t>(nRead / kFixRecordSize);
        nAt += nRead;
    }
    image = RawLogImage(std::move(pData), static_cast<uint32_t>(nAt / kFixRecordSize));
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
