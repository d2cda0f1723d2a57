#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "track/Calendar.h"
#include "track/TimeZone.h"

// A photo's instant from the texts its camera wrote: the clock's date and time
// (DateTimeOriginal), the fraction of its second (SubSecTimeOriginal) and, where the camera knew
// it, the zone's offset (OffsetTimeOriginal). Pure: nothing here reads a file.

// The texts as they stand in the photo; empty when the tag is missing.
struct PhotoTimeTags {
    std::string strDateTime;    // "2009:05:01 17:30:00"
    std::string strSubSeconds;  // "25" is a quarter of a second
    std::string strOffset;      // "+02:00"
};

// "YYYY:MM:DD HH:MM:SS" as Exif writes it. The date may also be written with '-' or '/', a 'T'
// may stand for the blank, and trailing blanks or NULs are ignored. Nothing for a date the
// calendar does not have, and for the blanks or zeros a camera writes when it does not know.
std::optional<LogDateTime> ParseExifDateTime(std::string_view text);

// The fraction of a second in milliseconds: "5" is 500, "05" 50, "1234" 123 (digits beyond the
// millisecond are dropped). Nothing for anything but digits (blanks around them aside).
std::optional<uint16_t> ParseSubSeconds(std::string_view text);

// "+HH:MM", "-HH:MM", "+HHMM", "+HH" or "Z" in seconds east of UTC, at most 14 hours. Nothing for
// other text, including the blanks of an unknown offset.
std::optional<int32_t> ParseExifOffset(std::string_view text);

// How far a camera's clock is off: "[+|-][[H:]MM:]SS", e.g. "+1:30" for 90 seconds ahead or
// "-0:02:00" for two minutes behind, at most 99 hours. Positive when the camera's clock is ahead
// of the true time. Nothing for other text.
std::optional<int32_t> ParseCameraOffset(std::string_view text);

// Milliseconds since 2000-01-01 00:00:00 UTC, negative before it.
using UtcMillis = int64_t;

// The instant a photo was taken: its clock time read in the photo's own offset when it has one,
// else in the camera's zone, less the camera's clock offset. Nothing when the date and time do
// not read.
std::optional<UtcMillis> PhotoInstant(const PhotoTimeTags& tags, const TimeZone& cameraZone,
                                      int32_t nCameraOffsetSeconds);

// "2009-05-01 15:30:00.250" (UTC; the milliseconds only when there are any).
std::string FormatUtcMillis(UtcMillis nMillis);
