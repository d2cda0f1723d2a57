#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Calendar.h"

// The time-zone list: 51 entries from GMT-12:00 to GMT+13:00 in steps of 30 minutes.
inline constexpr int kTimeZoneCount = 51;
inline constexpr int kDefaultTimeZoneIndex = 40;  // GMT+8:00

// Offset in seconds of list entry i (positive east of GMT).
inline int32_t TimeZoneOffsetAt(int nIndex) {
    return (-720 + 30 * nIndex) * 60;
}

// "GMT+%d:%02d" / "GMT-%d:%02d" for an offset in seconds (whole minutes).
std::string TimeZoneText(int32_t nOffsetSeconds);

// The list entry that shows exactly this text; nothing for any other text.
std::optional<int> TimeZoneListIndex(std::string_view text);

// Reads a zone the way a user types it: a list text ("GMT+5:45", "GMT-3:30"), "GMT" or "UTC", or a
// bare "+H[:MM]" / "-H[:MM]". Hours up to 14, minutes below 60. Anything else gives no value.
std::optional<int32_t> ParseTimeZoneText(std::string_view text);

// Seconds since 2000-01-01 00:00:00, wide enough for times off the record scale (before it, or
// past its last second 0xFFFFFFFF).
using ZoneSeconds = int64_t;

class ZoneRules;

enum class TimeZoneStatus {
    Ok,
    Empty,        // no text
    UnknownName,  // neither an offset, "local", nor a zone the system knows
    NoDatabase,   // the system's zone data cannot be read
    NoLocalZone,  // the system's own zone cannot be found
};

// A time zone: a fixed offset, a named zone of the system's zone database ("Europe/Berlin"), or
// the system's own zone. Copies are cheap and share the loaded rules; any thread may use them.
class TimeZone {
  public:
    // GMT+0:00.
    TimeZone() = default;
    static TimeZone Fixed(int32_t nOffset);

    // "GMT+8:00" for a fixed offset, "Europe/Berlin", or "local (Europe/Berlin)".
    const std::string& DisplayName() const { return m_strName; }

    // The offset in force at a record time: local time = record time + offset.
    int32_t OffsetAt(uint32_t dwTime) const;

    // The record time of a local time (seconds since 2000-01-01 00:00:00 local). A local time that
    // a change skips moves to the first instant after the gap; one that occurs twice takes the
    // earlier instant. Times before the record scale give 0, times past it 0xFFFFFFFF.
    uint32_t LocalToRecordTime(ZoneSeconds nLocal) const;

  private:
    friend class ZoneOffsetCache;
    friend TimeZoneStatus ParseTimeZone(std::string_view text, TimeZone& zone);

    std::shared_ptr<const ZoneRules> m_pRules;  // null for a fixed offset
    int32_t m_nOffset = 0;                      // the fixed offset
    std::string m_strName = "GMT+0:00";
};

// Reads a zone from text: what ParseTimeZoneText accepts (a fixed offset), "local" (the system's
// zone), or a zone name of the system's database; names are matched regardless of letter case
// when they are not found as typed. On failure the zone is left as it was.
[[nodiscard]] TimeZoneStatus ParseTimeZone(std::string_view text, TimeZone& zone);

// The system's own zone by the name its database or file gives it ("Europe/Berlin", a zone file's
// path, a TZ rule); empty when it cannot be determined.
std::string SystemZoneName();

// The zones of the system's database a user would pick from, sorted: the "Area/Location" names of
// the continents and oceans ("Africa/Abidjan" .. "Pacific/Wallis"), each accepted by ParseTimeZone.
// Empty when the system's zone data cannot be read.
std::vector<std::string> AvailableTimeZoneNames();

// The message for a failed ParseTimeZone of text, e.g. Unknown time zone "Europe/Berln".
std::string TimeZoneStatusMessage(TimeZoneStatus status, std::string_view text);

// The offsets of a zone over a walk through records: the offset is kept until the record time
// leaves the stretch it holds for, so a walk asks the zone data only at its changes. The zone must
// outlive the cache.
class ZoneOffsetCache {
  public:
    explicit ZoneOffsetCache(const TimeZone& zone);

    int32_t OffsetAt(uint32_t dwTime) {
        if (dwTime - m_dwBegin > m_dwLastStep) Load(dwTime);
        return m_nOffset;
    }

  private:
    void Load(uint32_t dwTime);

    const ZoneRules* m_pRules;
    uint32_t m_dwBegin = 0;
    uint32_t m_dwLastStep = UINT32_MAX;  // the span's last second minus its first
    int32_t m_nOffset;
};

// The selection bound of a local date and time in the zone: before the record scale its first
// second, after it its last.
uint32_t LocalBound(const LogDateTime& local, const TimeZone& zone);
