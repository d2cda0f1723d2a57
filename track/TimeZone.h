#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The time-zone list: 51 entries from GMT-12:00 to GMT+13:00 in steps of 30 minutes.
inline constexpr int kTimeZoneCount = 51;
inline constexpr int kDefaultTimeZoneIndex = 40;  // GMT+8:00

// Offset in seconds of list entry i (positive east of GMT).
inline int32_t TimeZoneOffsetAt(int nIndex) {
    return (-720 + 30 * nIndex) * 60;
}

// "GMT+%d:%02d" / "GMT-%d:%02d" for an offset in seconds (whole minutes).
std::string TimeZoneText(int32_t nOffsetSeconds);

// Reads a zone the way a user types it: a list text ("GMT+5:45", "GMT-3:30"), "GMT" or "UTC", or a
// bare "+H[:MM]" / "-H[:MM]". Hours up to 14, minutes below 60. Anything else gives no value.
std::optional<int32_t> ParseTimeZoneText(std::string_view text);
