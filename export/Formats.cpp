#include "Formats.h"

#include <algorithm>

#include "GeoJsonWriter.h"
#include "PlainCsvWriter.h"
#include "Translate.h"
#include "track/RecordSelection.h"

namespace {

// A pushpin per fix or a table: every record of the document is written.
FormatCounts EveryRecord(uint32_t nWritten) {
    return {nWritten, 0};
}

// A map: the records of the document beyond the positions written had no place on it.
FormatCounts MapPositions(const TrackDocument& doc, uint32_t nWritten) {
    return {nWritten, doc.part.nRecords > nWritten ? doc.part.nRecords - nWritten : 0};
}

// One row per format, in the order of OutputFormat.
constexpr std::array<OutputFormatRow, kOutputFormatCount> kFormats = {{
    {.format = OutputFormat::Kml,
     .name = "KML",
     .extensions = {".kml", ""},
     .purpose = "Google Earth",
     .dialogLabel = "Google earth file(*.kml)",
     .nDialogPlace = 0,
     .archiveSuffix = ".kml",
     .syncFlag = "--kml",
     .syncHelp = "Also write KML, a pushpin per fix",
     .pickedBy = nullptr,
     .write = [](OutputBuffer& out, const TrackDocument& doc,
                 const TranslateOptions&) { return EveryRecord(WriteKml(out, doc)); }},
    {.format = OutputFormat::KmlTrack,
     .name = "KML",
     .extensions = {".kml", ""},
     .purpose = "",
     .dialogLabel = "Google Earth track(*.kml)",
     .nDialogPlace = 2,
     .archiveSuffix = "-track.kml",
     .syncFlag = "--kml-track",
     .syncHelp = "Also write a KML track (-track.kml)",
     .pickedBy = &TranslateOptions::bKmlTrack,
     .write =
         [](OutputBuffer& out, const TrackDocument& doc, const TranslateOptions& options) {
             return MapPositions(doc, WriteKmlTrack(out, doc, options.kmlTrack));
         }},
    {.format = OutputFormat::Gpx,
     .name = "GPX",
     .extensions = {".gpx", ""},
     .purpose = "GPS exchange format",
     .dialogLabel = "GPS exchange file(*.gpx)",
     .nDialogPlace = 3,
     .archiveSuffix = ".gpx",
     .syncFlag = "--gpx",
     .syncHelp = "Also write GPX beside the raw log",
     .pickedBy = nullptr,
     .write =
         [](OutputBuffer& out, const TrackDocument& doc, const TranslateOptions& options) {
             return MapPositions(doc, WriteGpx(out, doc, options.gpx));
         }},
    {.format = OutputFormat::Csv,
     .name = "CSV",
     .extensions = {".csv", ".txt"},
     .purpose = "spreadsheet",
     .dialogLabel = "Excel file(*.csv)",
     .nDialogPlace = 1,
     .archiveSuffix = ".csv",
     .syncFlag = "--csv",
     .syncHelp = "Also write CSV",
     .pickedBy = nullptr,
     .write = [](OutputBuffer& out, const TrackDocument& doc,
                 const TranslateOptions&) { return EveryRecord(WriteCsv(out, doc)); },
     .bTable = true},
    {.format = OutputFormat::PlainCsv,
     .name = "CSV",
     .extensions = {".csv", ""},
     .purpose = "",
     .dialogLabel = "Plain CSV file(*.csv)",
     .nDialogPlace = 5,
     .archiveSuffix = "-plain.csv",
     .syncFlag = "--plain-csv",
     .syncHelp = "Also write a plain CSV for scripts and GIS (-plain.csv)",
     .pickedBy = &TranslateOptions::bPlainCsv,
     .write = [](OutputBuffer& out, const TrackDocument& doc,
                 const TranslateOptions&) { return EveryRecord(WritePlainCsv(out, doc)); },
     .bTable = true},
    {.format = OutputFormat::GeoJson,
     .name = "GeoJSON",
     .extensions = {".geojson", ""},
     .purpose = "web maps and GIS",
     .dialogLabel = "GeoJSON file(*.geojson)",
     .nDialogPlace = 4,
     .archiveSuffix = ".geojson",
     .syncFlag = "--geojson",
     .syncHelp = "Also write GeoJSON",
     .pickedBy = nullptr,
     .write =
         [](OutputBuffer& out, const TrackDocument& doc, const TranslateOptions& options) {
             return MapPositions(doc, WriteGeoJson(out, doc, options.geoJson));
         }},
}};

constexpr char LowerCase(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

constexpr bool IsLowerCase(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return LowerCase(c) == c; });
}

// Every format has its row, in its place, with everything filled in and its extensions in lower
// case; the Save dialog offers each at a place of its own.
constexpr bool IsComplete() {
    for (size_t i = 0; i < kFormats.size(); ++i) {
        const OutputFormatRow& row = kFormats[i];
        if (row.format != static_cast<OutputFormat>(i) || row.name.empty() ||
            row.extensions[0].empty() || row.dialogLabel.empty() || row.archiveSuffix.empty() ||
            row.syncFlag.empty() || row.write == nullptr || row.nDialogPlace >= kFormats.size() ||
            !IsLowerCase(row.extensions[0]) || !IsLowerCase(row.extensions[1])) {
            return false;
        }
        for (size_t j = 0; j < i; ++j) {
            if (kFormats[j].nDialogPlace == row.nDialogPlace) return false;
        }
    }
    return true;
}
static_assert(IsComplete(), "every OutputFormat needs one complete row in kFormats");

}  // namespace

const std::array<OutputFormatRow, kOutputFormatCount>& OutputFormats() {
    return kFormats;
}

RecordSelection SelectionFor(OutputFormat format, const RecordSelection& selection) {
    RecordSelection forFormat = selection;
    forFormat.filter.bKeepImpossiblePositions = FormatRow(format).bTable;
    return forFormat;
}

const OutputFormatRow* FormatForExtension(std::string_view extension,
                                          const TranslateOptions& options) {
    const auto matches = [extension](std::string_view rowExtension) {
        return std::equal(extension.begin(), extension.end(), rowExtension.begin(),
                          rowExtension.end(), [](char a, char b) { return LowerCase(a) == b; });
    };
    const OutputFormatRow* pFound = nullptr;
    for (const OutputFormatRow& row : kFormats) {
        if (extension.empty() ||
            std::none_of(row.extensions.begin(), row.extensions.end(), matches)) {
            continue;
        }
        // The options only choose between rows of one extension.
        if (row.pickedBy != nullptr && options.*row.pickedBy) return &row;
        if (!pFound && row.pickedBy == nullptr) pFound = &row;
    }
    return pFound;
}

void PickFormat(TranslateOptions& options, OutputFormat format) {
    for (const OutputFormatRow& row : kFormats) {
        if (row.pickedBy != nullptr) options.*row.pickedBy = row.format == format;
    }
}

std::vector<const OutputFormatRow*> DialogFormats() {
    std::vector<const OutputFormatRow*> rows(kFormats.size());
    for (const OutputFormatRow& row : kFormats) rows[row.nDialogPlace] = &row;
    return rows;
}

std::string SupportedFormatsText() {
    std::string strText;
    for (const OutputFormatRow& row : kFormats) {
        if (row.purpose.empty()) continue;
        strText += strText.empty() ? "Supported: " : ", ";
        strText += row.extensions[0];
        if (!row.extensions[1].empty()) (strText += " and ") += row.extensions[1];
        ((strText += " (") += row.purpose) += ")";
    }
    return strText + ".";
}

std::string FormatNamesText() {
    std::vector<std::string> names;
    for (const OutputFormatRow& row : kFormats) {
        if (row.purpose.empty()) continue;
        std::string strName = std::string(row.name) + " (" + std::string(row.extensions[0]);
        if (!row.extensions[1].empty()) (strName += ", ") += row.extensions[1];
        names.push_back(strName + ")");
    }
    std::string strText;
    for (size_t i = 0; i < names.size(); ++i) {
        if (i > 0) strText += i + 1 == names.size() ? " or " : ", ";
        strText += names[i];
    }
    return strText;
}
