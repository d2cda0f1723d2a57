#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Formats.h"
#include "GeoJsonWriter.h"
#include "TrackWriters.h"
#include "platform/File.h"
#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"
#include "track/TrackParts.h"

// A translation from the loaded records to an output file, as the window and the command line both
// make it: the format from the output name, the file written whole or not at all, one outcome.

// What a translation writes: the extension decides (see Formats.h), in any letter case.
struct TranslateOptions {
    bool bKmlTrack = false;  // ".kml" gets the track rather than a placemark per fix
    bool bPlainCsv = false;  // ".csv" gets the plain CSV rather than the spreadsheet's
    GpxOptions gpx;
    KmlTrackOptions kmlTrack;
    GeoJsonOptions geoJson;
};

enum class TranslateStatus {
    Ok,
    NoExtension,      // no "." anywhere in the path
    Unsupported,      // an extension no writer takes
    CannotCreate,     // the output file cannot be created
    CannotFinish,     // writing or finishing it failed; the target is as it was
    BadPattern,       // a split output's name holds a "%" that is not %Y, %m, %d, %n or %%
    SameName,         // a split output's name pattern gives two parts the same name
    SameFile,         // two parts' names lead to one file (through "..", links or the like)
    NameTaken,        // a file has a part's name, and taken names are refused
    NothingSelected,  // no record passed the selection: no file is written
};

struct TranslateResult {
    TranslateStatus status = TranslateStatus::Ok;
    OutputFormat format = OutputFormat::Kml;
    uint32_t nWritten = 0;     // records written
    uint32_t nNoPosition = 0;  // kept records a map format had no place for (FormatCounts)
    SystemError nError = 0;    // the system's reason of a file failure
    FilterCounts dropped{};    // records the selection's filter refused
    // The message for a failure: its written text first, then the file and the reason.
    std::string FailureMessage(const std::string& strPath) const;
};

// Judges the text from the last "." of the whole path to its end.
[[nodiscard]] TranslateStatus OutputFormatFromPath(std::string_view path,
                                                   const TranslateOptions& options,
                                                   OutputFormat& format);

[[nodiscard]] TranslateResult TranslateToFile(const RawLogImage& image, const std::string& strPath,
                                              const RecordSelection& selection,
                                              const TimeZone& zone,
                                              const TranslateOptions& options = {});

// A translation cut into parts (see SplitPicks), each written to its own file whose name comes from
// a pattern: %Y, %m and %d the part's local date (its day, or its first record's), %n its number
// from 1, %% a percent sign. A name without %Y, %m, %d or %n gets "-%n" before its extension.

// The names of the parts; or BadPattern / SameName, names then holding only the pattern or the name
// two parts share.
[[nodiscard]] TranslateStatus PartFileNames(std::string_view pattern,
                                            const std::vector<LogDateTime>& dates,
                                            std::vector<std::string>& names);

// One file of a split translation.
struct TranslatedFile {
    std::string strPath;
    uint32_t nRecords = 0;
    bool bKept = false;  // a file of that name was there already and was left as it was
};

struct SplitTranslateResult {
    TranslateResult result;  // the first failure, or Ok; nWritten: records in the files written
    std::string strFailed;   // the name the failure concerns
    std::vector<TranslatedFile> files;
    std::string FailureMessage() const { return result.FailureMessage(strFailed); }
};

// What becomes of a file that has a part's name already.
enum class ExistingFile {
    Replace,  // replaced, as a plain translation replaces its file
    Keep,     // left as it was (a file made from the same raw log before)
    Refuse,   // nothing is written at all: the file is someone else's
};

struct SplitOutputOptions {
    SplitRule split;
    ExistingFile existing = ExistingFile::Replace;
    // Told of each file as it is done; returning false stops before the next one.
    std::function<bool(const TranslatedFile&)> onFile;
};

// Writes the parts one after the other and stops at the first failure; files already written
// stay. Split, nothing kept gives no file at all; unsplit (SplitRule::Kind::None), strPattern is
// the one file's plain name and it is written whatever it holds, as TranslateToFile does.
[[nodiscard]] SplitTranslateResult TranslateToFiles(
    const RawLogImage& image, const std::string& strPattern, const RecordSelection& selection,
    const TimeZone& zone, const TranslateOptions& options, const SplitOutputOptions& split);

// "\nLeft out: 3 with impossible coordinates." when the filter refused records or a map format
// had no place for nNoPosition of them, else empty.
std::string DroppedText(const FilterCounts& dropped, const RecordFilter& filter,
                        uint32_t nNoPosition = 0);

// Why a selection holds no record of the image, with the file's span in the zone: the message of
// a translation that wrote nothing (NothingSelected).
std::string NothingSelectedMessage(const RawLogImage& image, const RecordSelection& selection,
                                   const TimeZone& zone, const FilterCounts& dropped);

// What a translation did, for each front end to lay out its own way.
struct TranslateSummaryText {
    std::string strHeadline;  // "Translate OK."
    // "581 of 600 records written to /home/ann/track.kml", or why nothing was, and on a line of
    // its own what the filter refused.
    std::string strDetails;
    // The window's box: the headline, a blank line, the details.
    std::string BoxText() const { return strHeadline + "\n\n" + strDetails; }
};
TranslateSummaryText TranslateSummary(const TranslateResult& result, const RawLogImage& image,
                                      const RecordSelection& selection, const TimeZone& zone,
                                      const std::string& strPath);
