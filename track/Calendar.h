#pragma once

#include <cstdint>

// Broken-down date and time on the record time scale (or local time, which may lie in 1999).
struct LogDateTime {
    uint16_t wYear;
    uint8_t bMonth;   // 1..12
    uint8_t bDay;     // 1..31
    uint8_t bHour;    // 0..23
    uint8_t bMinute;  // 0..59
    uint8_t bSecond;  // 0..59

    friend bool operator==(const LogDateTime&, const LogDateTime&) = default;
};

// The date and time the pickers exchange; field for field like the Win32 SYSTEMTIME.
struct PickerTime {
    uint16_t wYear = 0;
    uint16_t wMonth = 0;
    uint16_t wDayOfWeek = 0;
    uint16_t wDay = 0;
    uint16_t wHour = 0;
    uint16_t wMinute = 0;
    uint16_t wSecond = 0;
    uint16_t wMilliseconds = 0;

    friend bool operator==(const PickerTime&, const PickerTime&) = default;
};

inline constexpr uint16_t kFirstCalendarYear = 2000;
inline constexpr uint16_t kLastCalendarYear = 2135;

bool IsLeapYear(unsigned year);

// Days from 2000-01-01 to the date (no range check; callers validate).
uint32_t DaysSince2000(unsigned year, unsigned month, unsigned day);

// 0 = Sunday .. 6 = Saturday, any year (a picker may show 1999-12-31); 0 for a month or day out
// of range.
unsigned DayOfWeek(unsigned year, unsigned month, unsigned day);

// Record time plus a signed offset, without wrapping: a local time before 2000-01-01 gives a 1999
// date, one past the scale's last second a date in 2136.
LogDateTime SecondsToDateTime(int64_t nTime, int32_t nOffset);

// Seconds since 2000-01-01 00:00:00; false (and 0) for a date outside 2000..2135 or a field out of
// range. The day is not checked against its month's length, so 2000-02-31 is 2000-03-02.
[[nodiscard]] bool DateTimeToSeconds(const LogDateTime& dt, uint32_t& dwSeconds);

// Seconds from 2000-01-01 00:00:00 to a date and time, negative before it and beyond 32 bits after
// the record scale: any year on the Gregorian calendar. The day is not checked against its month's
// length, so 2000-02-31 is 2000-03-02.
int64_t LocalSecondsOf(const LogDateTime& dt);

LogDateTime SystemTimeToLogDateTime(const PickerTime& st);
PickerTime LogDateTimeToSystemTime(const LogDateTime& dt);

// Converts record times to dates, remembering the last day so that a walk over a track, whose
// records mostly share a day, skips the year and month search.
class DateTimeConverter {
  public:
    LogDateTime Convert(uint32_t dwTime, int32_t nOffset);

  private:
    int64_t m_nCachedDay = INT64_MIN;
    LogDateTime m_cachedDate{};
};
