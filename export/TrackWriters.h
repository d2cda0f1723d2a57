#pragma once

#include <cstdint>
#include <string_view>

#include "OutputBuffer.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// The output formats a translation can produce, chosen by the output name's extension.
enum class OutputFormat { Kml, Csv };

enum class OutputFormatStatus {
    Ok,
    NoExtension,  // no "." anywhere in the path
    Unsupported,  // an extension other than ".kml", ".csv" or ".txt" (case-sensitive)
};

// Judges the text from the last "." of the whole path to its end.
[[nodiscard]] OutputFormatStatus OutputFormatFromPath(std::string_view path, OutputFormat& format);
const char* OutputFormatStatusMessage(OutputFormatStatus status);

// The icon image every placemark points at.
inline constexpr char kKmlIconAddress[] =
    "http://maps.google.com/mapfiles/kml/pushpin/wht-pushpin.png";

// Icon colour (alpha, blue, green, red) of a raw fix mode 0..3.
const char* KmlFixModeColor(unsigned nRawFixMode);

// Write the selected records of the image, in file order, as a KML document or a CSV table, with
// local times in the zone. Return the number of records written; write failures are left in
// out.Failed().
uint32_t WriteKml(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);
uint32_t WriteCsv(OutputBuffer& out, const RawLogImage& image, const RecordSelection& selection,
                  const TimeZone& zone);
