#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "OutputBuffer.h"
#include "TrackWriters.h"

// Every output format, and everything the window, the command line and the archive know of it, as
// one row of a table (Formats.cpp). A new format is an enumerator here and its row there.

// In the table's order, which is the order lists of formats name them in.
enum class OutputFormat { Kml, KmlTrack, Gpx, Csv, PlainCsv, GeoJson };
inline constexpr size_t kOutputFormatCount = static_cast<size_t>(OutputFormat::GeoJson) + 1;

struct TranslateOptions;

// What a writer made of a document's records.
struct FormatCounts {
    uint32_t nWritten = 0;
    // Records a map format had no place for: without a position fix (those with impossible
    // coordinates never pass the filter); a table or a pushpin per fix writes them all.
    uint32_t nNoPosition = 0;
};

using FormatWriter = FormatCounts (*)(OutputBuffer& out, const TrackDocument& doc,
                                      const TranslateOptions& options);

struct OutputFormatRow {
    OutputFormat format;
    std::string_view name;  // "KML" where the command line lists the formats
    // The extensions it is written for, in lower case (any case matches); an empty one is none.
    std::array<std::string_view, 2> extensions;
    // What the "Supported:" message says it is for; empty for a row that shares its extension with
    // the row before it and is picked by an option (pickedBy).
    std::string_view purpose;
    std::string_view dialogLabel;    // the Save dialog's file type; its pattern is "*" + extension
    size_t nDialogPlace;             // where the Save dialog offers it
    std::string_view archiveSuffix;  // after an archived raw log's stem: "-track.kml"
    std::string_view syncFlag;       // "--gpx": the sync command writes it beside the raw log
    std::string_view syncHelp;
    // The option that picks it for its extension (&TranslateOptions::bKmlTrack); null for the row
    // an extension picks when no such option is set.
    bool TranslateOptions::*pickedBy;
    FormatWriter write;
    // A table of what the logger holds: records whose position is impossible are rows too (a map
    // has no place for them, so the map formats never get them).
    bool bTable = false;
};

const std::array<OutputFormatRow, kOutputFormatCount>& OutputFormats();

struct RecordSelection;
// The selection as the format reads it: a table keeps records with impossible positions.
RecordSelection SelectionFor(OutputFormat format, const RecordSelection& selection);

inline const OutputFormatRow& FormatRow(OutputFormat format) {
    return OutputFormats()[static_cast<size_t>(format)];
}

// The row an extension (from the last ".", the dot included, in any letter case) picks, given the
// options that pick among the rows of one extension; null when no format has it.
const OutputFormatRow* FormatForExtension(std::string_view extension,
                                          const TranslateOptions& options);

// Sets the options that pick rows (pickedBy) so that the format's extension picks the format.
void PickFormat(TranslateOptions& options, OutputFormat format);

// The rows in the Save dialog's order.
std::vector<const OutputFormatRow*> DialogFormats();

// "Supported: .kml (Google Earth), ..., .csv and .txt (spreadsheet), ...".
std::string SupportedFormatsText();

// "KML (.kml), GPX (.gpx), ... or GeoJSON (.geojson)".
std::string FormatNamesText();
