#include "Archive.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

#include "platform/ReplacementFile.h"
#include "track/Calendar.h"

namespace {

constexpr char kRawExtension[] = ".dlg";
constexpr char kIncompleteStem[] = "incomplete-download";

bool EndsWith(const std::string& strText, const std::string& strEnd) {
    return strText.size() >= strEnd.size() &&
           strText.compare(strText.size() - strEnd.size(), strEnd.size(), strEnd) == 0;
}

// A folder written with backslashes only (Windows) gets one more of them.
std::string JoinPath(const std::string& strFolder, const std::string& strName) {
    if (strFolder.empty()) return strName;
    const char cLast = strFolder.back();
    if (cLast == '/' || cLast == '\\') return strFolder + strName;
    const bool bBackslashes =
        strFolder.find('/') == std::string::npos && strFolder.find('\\') != std::string::npos;
    return strFolder + (bBackslashes ? "\\" : "/") + strName;
}

std::string UtcStamp(uint32_t dwTime) {
    const LogDateTime t = SecondsToDateTime(dwTime, 0);
    char text[24];
    std::snprintf(text, sizeof text, "%04u%02u%02uT%02u%02u%02uZ", unsigned{t.wYear},
                  unsigned{t.bMonth}, unsigned{t.bDay}, unsigned{t.bHour}, unsigned{t.bMinute},
                  unsigned{t.bSecond});
    return text;
}

// Whether the file holds exactly these bytes; read a piece at a time.
bool HasSameBytes(const std::string& strPath, const uint8_t* pBytes, uint64_t nBytes) {
    File file;
    uint64_t nSize = 0;
    if (!file.OpenRead(strPath) || !file.Size(nSize) || nSize != nBytes) return false;
    constexpr size_t kPiece = size_t{1} << 20;
    const auto pBuffer = std::make_unique<uint8_t[]>(kPiece);
    uint64_t nAt = 0;
    while (nAt < nBytes) {
        size_t nRead = 0;
        if (!file.Read(pBuffer.get(), kPiece, nRead) || nRead == 0 || nRead > nBytes - nAt ||
            std::memcmp(pBuffer.get(), pBytes + nAt, nRead) != 0) {
            return false;
        }
        nAt += nRead;
    }
    return true;
}

// An archive file (not a download in progress, not an incomplete one) with the image's bytes.
std::string FindSameDownload(const std::string& strArchive, const std::string& strDownload,
                             const RawLogImage& image) {
    std::vector<std::string> names;
    if (!ListFolder(strArchive, names)) return {};
    std::sort(names.begin(), names.end());
    const uint64_t nBytes = uint64_t{image.RecordCount()} * kFixRecordSize;
    for (const std::string& strName : names) {
        const std::string strPath = JoinPath(strArchive, strName);
        if (!EndsWith(strName, kRawExtension) ||
            EndsWith(strName, std::string(kPartialMark) + kRawExtension) ||
            strName.rfind(kIncompleteStem, 0) == 0 || strPath == strDownload) {
            continue;
        }
        if (HasSameBytes(strPath, image.Bytes(), nBytes)) return strPath;
    }
    return {};
}

std::string FormatExtension(OutputFormat format) {
    return std::string(FormatRow(format).archiveSuffix);
}

}  // namespace

std::string ArchiveStem(const RawLogImage& image) {
    uint32_t dwFirst = UINT32_MAX, dwLast = 0;
    for (const bool bFixesOnly : {true, false}) {
        for (uint32_t i = 0; i < image.RecordCount(); ++i) {
            const FixRecord r = image.Record(i);
            if (bFixesOnly && IsNoFixRecord(r)) continue;
            dwFirst = std::min(dwFirst, r.dwTime);
            dwLast = std::max(dwLast, r.dwTime);
        }
        if (dwFirst <= dwLast) break;
    }
    if (dwFirst > dwLast) dwFirst = dwLast = 0;
    return UtcStamp(dwFirst) + "-" + UtcStamp(dwLast);
}

std::string IncompleteDownloadPath(const std::string& strArchive) {
    // The process's number keeps two syncs into one folder apart.
    const std::string strStem =
        JoinPath(strArchive, kIncompleteStem + ("-" + std::to_string(CurrentProcessId())));
    std::string strPath = strStem + kRawExtension;
    for (int n = 2; n < 10000 && PathExists(strPath); ++n) {
        strPath = strStem + "-" + std::to_string(n) + kRawExtension;
    }
    return strPath;
}

std::string StoreResult::FailureMessage() const {
    switch (status) {
        case StoreStatus::Stored:
        case StoreStatus::AlreadyStored:
            return {};
        case StoreStatus::Unreadable:
            return "The download cannot be read back: " + RawLogLoadMessage(load, strPath, nError);
        case StoreStatus::CountMismatch:
            return "The download holds " + std::to_string(nRecords) +
                   " records, the logger announced " + std::to_string(nAnnounced) + ".\n\n" +
                   strPath;
        case StoreStatus::CannotStore:
            return "The download cannot be named in the archive.\n\n" + strPath + ": " +
                   SystemErrorText(nError);
    }
    return {};
}

StoreResult StoreDownload(const std::string& strDownload, uint32_t nAnnounced,
                          const std::string& strArchive, RawLogImage& image) {
    StoreResult result;
    result.strPath = strDownload;
    result.nAnnounced = nAnnounced;
    // What counts is what the disk gives back, not what was handed to it.
    result.load = LoadRawLogImage(strDownload, image, &result.nError);
    if (result.load != RawLogStatus::Ok) {
        result.status = StoreStatus::Unreadable;
        return result;
    }
    result.nRecords = image.RecordCount();
    if (result.nRecords != nAnnounced) {
        result.status = StoreStatus::CountMismatch;
        return result;
    }
    const std::string strSame = FindSameDownload(strArchive, strDownload, image);
    if (!strSame.empty()) {
        RemoveFile(strDownload);
        result.status = StoreStatus::AlreadyStored;
        result.strPath = strSame;
        return result;
    }
    std::string strStored;
    result.nError = RenameToFreeName(strDownload, JoinPath(strArchive, ArchiveStem(image)),
                                     kRawExtension, strStored);
    if (result.nError != 0) {
        result.status = StoreStatus::CannotStore;
        return result;
    }
    SyncFolder(strArchive);
    result.strPath = strStored;
    return result;
}

std::string KeepIncompleteDownload(const std::string& strDownload) {
    RawLogImage image;
    const RawLogStatus status = LoadRawLogImage(strDownload, image);
    if (status == RawLogStatus::NoRecords) {
        RemoveFile(strDownload);
        return {};
    }
    if (status != RawLogStatus::Ok) return PathExists(strDownload) ? strDownload : std::string();
    std::string strKept;
    if (RenameToFreeName(strDownload, JoinPath(FolderOf(strDownload), ArchiveStem(image)),
                         std::string(kPartialMark) + kRawExtension, strKept) != 0) {
        return strDownload;
    }
    SyncFolder(FolderOf(strDownload));
    return strKept;
}

std::string ArchiveOutputPattern(const std::string& strRawPath, OutputFormat format,
                                 const SplitRule& split) {
    std::string strStem = strRawPath;
    if (EndsWith(strStem, kRawExtension))
        strStem.resize(strStem.size() - (sizeof kRawExtension - 1));
    // A "%" of the archive's own folder is no field of a split output's name.
    std::string strEscaped;
    for (char c : strStem) {
        strEscaped +=
            c == '%' && split.kind != SplitRule::Kind::None ? std::string("%%") : std::string(1, c);
    }
    const char* pszPart = split.kind == SplitRule::Kind::Day   ? "-%Y-%m-%d"
                          : split.kind == SplitRule::Kind::Gap ? "-part%n"
                                                               : "";
    std::string strExtension = FormatExtension(format);
    // "-track" stays with the name, the part's date or number follows it.
    const size_t nDot = strExtension.rfind('.');
    return strEscaped + strExtension.substr(0, nDot) + pszPart + strExtension.substr(nDot);
}

SplitTranslateResult WriteArchiveOutputs(
    const RawLogImage& image, const std::string& strRawPath, const TimeZone& zone,
    const ArchiveOutputOptions& options,
    const std::function<bool(OutputFormat, const TranslatedFile&)>& onFile) {
    SplitTranslateResult all;
    RecordSelection selection;
    selection.nSelectMode = kSelectAll;
    selection.filter = options.filter;
    for (const OutputFormat format : options.formats) {
        TranslateOptions translate = options.translate;
        PickFormat(translate, format);
        SplitOutputOptions split;
        split.split = options.split;
        split.existing = options.existing;
        bool bGoOn = true;
        split.onFile = [&](const TranslatedFile& file) {
            bGoOn = !onFile || onFile(format, file);
            return bGoOn;
        };
        SplitTranslateResult one =
            TranslateToFiles(image, ArchiveOutputPattern(strRawPath, format, options.split),
                             selection, zone, translate, split);
        all.result.dropped = one.result.dropped;
        all.result.nWritten += one.result.nWritten;
        all.files.insert(all.files.end(), one.files.begin(), one.files.end());
        if (one.result.status != TranslateStatus::Ok) {
            all.result.status = one.result.status;
            all.result.nError = one.result.nError;
            all.strFailed = one.strFailed;
            return all;
        }
        if (!bGoOn) break;
    }
    return all;
}
