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
        case RawLogStatus::XmlFile:
            return "This is an XML file (a GPX or KML track, say), not a raw log: open a .dlg file "
                   "that a download made.";
        case RawLogStatus::TextFile:
            return "This is a text file, not a raw log: open a .dlg file that a download made.";
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

RawLogStatus SniffRawLogStart(const uint8_t* pData, size_t nBytes) {
    size_t i = 0;
    // A UTF-8 byte order mark, then the first character that is not white space.
    if (nBytes >= 3 && pData[0] == 0xEF && pData[1] == 0xBB && pData[2] == 0xBF) i = 3;
    const size_t nStart = i;
    while (i < nBytes &&
           (pData[i] == ' ' || pData[i] == '\t' || pData[i] == '\r' || pData[i] == '\n'))
        ++i;
    // Text: printable ASCII, white space and well-formed UTF-8 sequences only. A sequence cut by
    // the end of what was read still counts.
    for (size_t j = nStart; j < nBytes;) {
        const uint8_t b = pData[j];
        if (b >= 0x20 && b < 0x7F) {
            ++j;
            continue;
        }
        if (b == '\t' || b == '\r' || b == '\n') {
            ++j;
            continue;
        }
        const size_t nFollow = (b & 0xE0) == 0xC0 && b >= 0xC2   ? 1
                               : (b & 0xF0) == 0xE0              ? 2
                               : (b & 0xF8) == 0xF0 && b <= 0xF4 ? 3
                                                                 : 0;
        if (nFollow == 0) return RawLogStatus::Ok;
        for (size_t k = 1; k <= nFollow && j + k < nBytes; ++k) {
            if ((pData[j + k] & 0xC0) != 0x80) return RawLogStatus::Ok;
        }
        j += nFollow + 1;
    }
    if (i == nBytes) return RawLogStatus::Ok;  // nothing but white space (or nothing): no verdict
    return pData[i] == '<' ? RawLogStatus::XmlFile : RawLogStatus::TextFile;
}

namespace {

// How much of a file's start is looked at to tell text from records.
constexpr size_t kSniffBytes = 512;

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
        // A text file given by mistake says so, whatever its size.
        uint8_t head[kSniffBytes];
        File sniff;
        size_t nHead = 0;
        if (sniff.OpenRead(paths[nFailed]) && sniff.Read(head, sizeof head, nHead)) {
            const RawLogStatus sniffStatus = SniffRawLogStart(head, nHead);
            if (sniffStatus != RawLogStatus::Ok) return sniffStatus;
        }
        // A size that cannot hold whole records, or more than a 32-bit count, is refused before
        // any memory is taken: a huge bad file costs nothing.
        const RawLogStatus sizeStatus = ValidateRawLogSize(sizes[nFailed]);
        if (sizeStatus != RawLogStatus::Ok) return sizeStatus;
        nTotal += sizes[nFailed];
    }
    // Each file passed: what fails now is all of them together, none by itself.
    nFailed = paths.size();
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
