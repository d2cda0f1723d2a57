#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "export/Translate.h"
#include "track/RawLog.h"

// The archive: a folder of raw logs as the logger delivered them, each named by the UTC span of its
// fixes ("20090501T153000Z-20090501T161955Z.dlg"), none ever replaced, each download stored once,
// and the files made from them beside them. What the command line's sync does after a download,
// and what the window can do after "Download OK.".

// The span part of an archive name: the earliest and the latest fix in UTC,
// "20090501T153000Z-20090501T161955Z". Records without a fix count only when none has one.
std::string ArchiveStem(const RawLogImage& image);

// A name, not yet taken, for a download about to be made into the folder.
std::string IncompleteDownloadPath(const std::string& strArchive);

enum class StoreStatus {
    Stored,         // renamed into the archive under its span
    AlreadyStored,  // an archive file holds the same bytes; the download was removed
    Unreadable,     // the download cannot be read back as a raw log
    CountMismatch,  // it does not hold exactly the records the logger announced
    CannotStore,    // it cannot be given its name
};

struct StoreResult {
    StoreStatus status = StoreStatus::Stored;
    std::string strPath;  // the archive file with the records; the download itself on failure
    uint32_t nRecords = 0;
    uint32_t nAnnounced = 0;
    RawLogStatus load = RawLogStatus::Ok;
    SystemError nError = 0;

    bool Ok() const {
        return status == StoreStatus::Stored || status == StoreStatus::AlreadyStored;
    }
    // Why it failed, naming the file; empty on success.
    std::string FailureMessage() const;
};

// Reads a finished download back from the disk, checks that it holds exactly nAnnounced records,
// and gives it its place in the archive folder: removed when an archive file has the same bytes,
// else renamed under its span (with "-2", "-3"... when that name is taken) and the folder put on
// the disk. On failure the download stays where it is. image receives the records read back.
[[nodiscard]] StoreResult StoreDownload(const std::string& strDownload, uint32_t nAnnounced,
                                        const std::string& strArchive, RawLogImage& image);

// Gives an incomplete download its span with ".partial" ("...Z.partial.dlg"). Returns where its
// records are (its own name when it cannot be renamed), or nothing when it holds none.
std::string KeepIncompleteDownload(const std::string& strDownload);

// What to make of an archived raw log: one or more formats, each as one file or split in parts,
// beside the raw file and named after it, its counter included ("<span>.gpx", "<span>-2.gpx",
// "<span>-track.kml", "<span>-2009-05-01.csv" by day, "<span>-part1.gpx" by gap: a part's number
// never reads as another raw file's counter).
struct ArchiveOutputOptions {
    std::vector<OutputFormat> formats;
    // Keep for a raw log stored before (its files are already there), Refuse for a new one.
    ExistingFile existing = ExistingFile::Keep;
    SplitRule split;
    RecordFilter filter;
    TranslateOptions translate;
};

// The name pattern of one format's files for the raw file.
std::string ArchiveOutputPattern(const std::string& strRawPath, OutputFormat format,
                                 const SplitRule& split);

// Writes every format in turn; stops at the first failure (the result says which file) or when
// onFile returns false.
[[nodiscard]] SplitTranslateResult WriteArchiveOutputs(
    const RawLogImage& image, const std::string& strRawPath, const TimeZone& zone,
    const ArchiveOutputOptions& options,
    const std::function<bool(OutputFormat, const TranslatedFile&)>& onFile);
