#include "Calendar.h"

#include <algorithm>

namespace {

constexpr uint8_t kMonthDays[2][12] = {
    {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
    {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
};

unsigned DaysInYear(unsigned year) {
    return IsLeapYear(year) ? 366u : 365u;
}

// The date of a day number counted from 2000-01-01 = 0. The time scale spans at most 2^32 / 86400
// days, so the year loop ends in 2136 at the latest.
void DayToDate(uint32_t dwDay, LogDateTime& dt) {
    uint32_t n = dwDay + 1;
    unsigned year = kFirstCalendarYear;
    while (n > DaysInYear(year)) {
        n -= DaysInYear(year);
        ++year;
    }
    const uint8_t* months = kMonthDays[IsLeapYear(year) ? 1 : 0];
    unsigned month = 1;
    while (month < 12 && n > months[month - 1]) {
        n -= months[month - 1];
        ++month;
    }
    dt.wYear = static_cast<uint16_t>(year);
    dt.bMonth = static_cast<uint8_t>(month);
    dt.bDay = static_cast<uint8_t>(n);
}

void SetTimeOfDay(uint32_t dwRest, LogDateTime& dt) {
    dt.bHour = static_cast<uint8_t>(dwRest / 3600);
    dt.bMinute = static_cast<uint8_t>(dwRest % 3600 / 60);
    dt.bSecond = static_cast<uint8_t>(dwRest % 60);
}

}  // namespace

bool IsLeapYear(unsigned year) {
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

uint32_t DaysSince2000(unsigned year, unsigned month, unsigned day) {
    uint32_t days = 0;
    for (unsigned y = kFirstCalendarYear; y < year; ++y) days += DaysInYear(y);
    const uint8_t* months = kMonthDays[IsLeapYear(year) ? 1 : 0];
    for (unsigned m = 1; m < month && m <= 12; ++m) days += months[m - 1];
    return days + day - 1;
}

unsigned DayOfWeek(unsigned year, unsigned month, unsigned day) {
    if (year < kFirstCalendarYear || year > kLastCalendarYear || month < 1 || month > 12 ||
        day < 1 || day > 31) {
        return 0;
    }
    return (DaysSince2000(year, month, day) + 6) % 7;
}

LogDateTime SecondsToDateTime(uint32_t dwTime, int32_t nOffset) {
    const uint32_t s = dwTime + static_cast<uint32_t>(nOffset);
    LogDateTime dt{};
    DayToDate(s / 86400, dt);
    SetTimeOfDay(s % 86400, dt);
    return dt;
}

bool DateTimeToSeconds(const LogDateTime& dt, uint32_t& dwSeconds) {
    dwSeconds = 0;
    if (dt.wYear < kFirstCalendarYear || dt.wYear > kLastCalendarYear || dt.bMonth < 1 ||
        dt.bMonth > 12 || dt.bDay < 1 || dt.bDay > 31 || dt.bHour >= 24 || dt.bMinute >= 60 ||
        dt.bSecond >= 60) {
        return false;
    }
    // 2135-12-31 23:59:59 is below 2^32, so nothing here wraps.
    dwSeconds = DaysSince2000(dt.wYear, dt.bMonth, dt.bDay) * 86400u + dt.bHour * 3600u +
                dt.bMinute * 60u + dt.bSecond;
    return true;
}

int64_t LocalSecondsOf(const LogDateTime& local) {
    // Days from 2000-01-01 of the first of the month, counted from March so that the leap day
    // ends the year; then the day itself, which may run past its month.
    const int64_t nMonth = local.bMonth;
    const int64_t y = static_cast<int64_t>(local.wYear) - (nMonth <= 2 ? 1 : 0);
    const int64_t nEra = (y >= 0 ? y : y - 399) / 400;
    const int64_t nYearOfEra = y - nEra * 400;
    const int64_t nDayOfYear = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5;
    const int64_t nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
    const int64_t nDays =
        nEra * 146097 + nDayOfEra - 730425 + (static_cast<int64_t>(local.bDay) - 1);
    return nDays * 86400 + local.bHour * 3600 + local.bMinute * 60 + local.bSecond;
}

LogDateTime SystemTimeToLogDateTime(const PickerTime& st) {
    LogDateTime dt{};
    dt.wYear = st.wYear;
    dt.bMonth = static_cast<uint8_t>(st.wMonth);
    dt.bDay = static_cast<uint8_t>(st.wDay);
    dt.bHour = static_cast<uint8_t>(st.wHour);
    dt.bMinute = static_cast<uint8_t>(st.wMinute);
    dt.bSecond = static_cast<uint8_t>(st.wSecond);
    return dt;
}

PickerTime LogDateTimeToSystemTime(const LogDateTime& dt) {
    PickerTime st;
    st.wYear = dt.wYear;
    st.wMonth = dt.bMonth;
    st.wDay = dt.bDay;
    st.wHour = dt.bHour;
    st.wMinute = dt.bMinute;
    st.wSecond = dt.bSecond;
    st.wDayOfWeek = static_cast<uint16_t>(DayOfWeek(dt.wYear, dt.bMonth, dt.bDay));
    st.wMilliseconds = 0;
    return st;
}

LogDateTime DateTimeConverter::Convert(uint32_t dwTime, int32_t nOffset) {
    const uint32_t s = dwTime + static_cast<uint32_t>(nOffset);
    const uint32_t day = s / 86400;
    if (day != m_dwCachedDay) {
        DayToDate(day, m_cachedDate);
        m_dwCachedDay = day;
    }
    LogDateTime dt = m_cachedDate;
    SetTimeOfDay(s % 86400, dt);
    return dt;
}
