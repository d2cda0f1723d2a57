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

// Days from 2000-01-01 to a date, negative before it. Counted from March so that the leap day ends
// the year; the day may run past its month.
int64_t DaysFromDate(int64_t nYear, int64_t nMonth, int64_t nDay) {
    const int64_t y = nYear - (nMonth <= 2 ? 1 : 0);
    const int64_t nEra = (y >= 0 ? y : y - 399) / 400;
    const int64_t nYearOfEra = y - nEra * 400;
    const int64_t nDayOfYear = (153 * (nMonth + (nMonth > 2 ? -3 : 9)) + 2) / 5;
    const int64_t nDayOfEra = nYearOfEra * 365 + nYearOfEra / 4 - nYearOfEra / 100 + nDayOfYear;
    return nEra * 146097 + nDayOfEra - 730425 + (nDay - 1);
}

// The date of a day number counted from 2000-01-01 = 0, negative before it: the inverse of
// DaysFromDate, in constant time.
void DayToDate(int64_t nDay, LogDateTime& dt) {
    const int64_t z = nDay + 730425;
    const int64_t nEra = (z >= 0 ? z : z - 146096) / 146097;
    const int64_t nDayOfEra = z - nEra * 146097;
    const int64_t nYearOfEra =
        (nDayOfEra - nDayOfEra / 1460 + nDayOfEra / 36524 - nDayOfEra / 146096) / 365;
    const int64_t nDayOfYear = nDayOfEra - (365 * nYearOfEra + nYearOfEra / 4 - nYearOfEra / 100);
    const int64_t nMonthFromMarch = (5 * nDayOfYear + 2) / 153;
    const int64_t nMonth = nMonthFromMarch < 10 ? nMonthFromMarch + 3 : nMonthFromMarch - 9;
    dt.wYear = static_cast<uint16_t>(nYearOfEra + nEra * 400 + (nMonth <= 2 ? 1 : 0));
    dt.bMonth = static_cast<uint8_t>(nMonth);
    dt.bDay = static_cast<uint8_t>(nDayOfYear - (153 * nMonthFromMarch + 2) / 5 + 1);
}

// Floor division by a day, so that a second before 2000-01-01 falls on 1999-12-31.
int64_t DayOf(int64_t nLocal) {
    return (nLocal >= 0 ? nLocal : nLocal - 86399) / 86400;
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
    if (month < 1 || month > 12 || day < 1 || day > 31) return 0;
    return static_cast<unsigned>((DaysFromDate(year, month, day) % 7 + 13) % 7);
}

LogDateTime SecondsToDateTime(int64_t nTime, int32_t nOffset) {
    const int64_t nLocal = nTime + nOffset;
    const int64_t nDay = DayOf(nLocal);
    LogDateTime dt{};
    DayToDate(nDay, dt);
    SetTimeOfDay(static_cast<uint32_t>(nLocal - nDay * 86400), dt);
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
    return DaysFromDate(local.wYear, local.bMonth, local.bDay) * 86400 + local.bHour * 3600 +
           local.bMinute * 60 + local.bSecond;
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
    const int64_t nLocal = int64_t{dwTime} + nOffset;
    const int64_t nDay = DayOf(nLocal);
    if (nDay != m_nCachedDay) {
        DayToDate(nDay, m_cachedDate);
        m_nCachedDay = nDay;
    }
    LogDateTime dt = m_cachedDate;
    SetTimeOfDay(static_cast<uint32_t>(nLocal - nDay * 86400), dt);
    return dt;
}
