#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "TrackWriters.h"
#include "platform/File.h"
#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// A translation from the loaded records to an output file, as the window and the command line both
// make it: the format from the output name, the file written whole or not at all, one outcome.

// What a translation writes. The extension decides: ".kml" the placemarks (or, asked for, the
// track), ".csv" and ".txt" the table, ".gpx" GPX; letter case counts.
enum class OutputFormat { Kml, KmlTrack, Csv, Gpx };

struct TranslateOptions {
    bool bKmlTrack = false;  // ".kml" gets the track rather than a placemark per fix
    GpxOptions gpx;
    KmlTrackOptions kmlTrack;
};

enum class TranslateStatus {
    Ok,
    NoExtension,   // no "." anywhere in the path
    Unsupported,   // an extension no writer takes
    CannotCreate,  // the output file cannot be created
    CannotFinish,  // writing or finishing it failed; the target is as it was
};

struct TranslateResult {
    TranslateStatus status = TranslateStatus::Ok;
    OutputFormat format = OutputFormat::Kml;
    uint32_t nWritten = 0;   // records written
    SystemError nError = 0;  // the system's reason of a file failure
    // The message for a failure: its written text first, then the file and the reason.
    std::string FailureMessage(const std::string& strPath) const;
};

// Judges the text from the last "." of the whole path to its end.
[[nodiscard]] TranslateStatus OutputFormatFromPath(std::string_view path,
                                                   const TranslateOptions& options,
                                                   OutputFormat& format);

// The selection bound of a local date and time in the zone: before the record scale its first
// second, after it its last.
uint32_t LocalBound(const LogDateTime& local, const TimeZone& zone);

[[nodiscard]] TranslateResult TranslateToFile(const RawLogImage& image, const std::string& strPath,
                                              const RecordSelection& selection,
                                              const TimeZone& zone,
                                              const TranslateOptions& options = {});

// "Translate OK." and what happened: "581 of 600 records written to /home/ann/track.kml", or why
// nothing was.
std::string TranslateSummary(const TranslateResult& result, const RawLogImage& image,
                             const RecordSelection& selection, const TimeZone& zone,
                             const std::string& strPath);
