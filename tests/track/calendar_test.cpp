#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <random>

#include "track/Calendar.h"

namespace {

using namespace std::chrono;

// The reference: seconds since 2000-01-01 as a std::chrono civil date and time.
LogDateTime ChronoDateTime(uint32_t s) {
    const sys_seconds t = sys_days{year{2000} / January / 1} + seconds{s};
    const sys_days d = floor<days>(t);
    const year_month_day ymd{d};
    const hh_mm_ss<seconds> hms{t - d};
    return LogDateTime{
        static_cast<uint16_t>(int{ymd.year()}),      static_cast<uint8_t>(unsigned{ymd.month()}),
        static_cast<uint8_t>(unsigned{ymd.day()}),   static_cast<uint8_t>(hms.hours().count()),
        static_cast<uint8_t>(hms.minutes().count()), static_cast<uint8_t>(hms.seconds().count())};
}

std::string Show(const LogDateTime& dt) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%04u-%02u-%02u %02u:%02u:%02u", dt.wYear, dt.bMonth, dt.bDay,
                  dt.bHour, dt.bMinute, dt.bSecond);
    return buf;
}

TEST(Calendar, WorkedExamples) {
    EXPECT_EQ(DaysSince2000(2000, 1, 1), 0u);
    EXPECT_EQ(DaysSince2000(2009, 5, 1), 3408u);
    EXPECT_EQ(DayOfWeek(2000, 1, 1), 6u);  // a Saturday
    EXPECT_EQ(Show(SecondsToDateTime(305419896, 0)), "2009-09-04 22:51:36");
    EXPECT_EQ(Show(SecondsToDateTime(305419896, 28800)), "2009-09-05 06:51:36");
    // A record time of 0 in two zones; west of GMT the sum wraps to the end of the scale.
    EXPECT_EQ(Show(SecondsToDateTime(0, 28800)), "2000-01-01 08:00:00");
    EXPECT_EQ(Show(SecondsToDateTime(0, -3600)), "2136-02-07 05:28:16");
    EXPECT_EQ(Show(SecondsToDateTime(UINT32_MAX, 0)), "2136-02-07 06:28:15");
}

TEST(Calendar, SecondsToDateTimeMatchesChronoOverManyTimesAndOffsets) {
    std::mt19937 rng(2009);
    std::uniform_int_distribution<uint32_t> anyTime;
    std::uniform_int_distribution<int> anyZone(0, 50);
    DateTimeConverter cached;
    for (int i = 0; i < 300000; ++i) {
        const uint32_t t = anyTime(rng);
        const int32_t offset = (-720 + 30 * anyZone(rng)) * 60;
        const uint32_t local = t + static_cast<uint32_t>(offset);
        const LogDateTime expected = ChronoDateTime(local);
        ASSERT_EQ(SecondsToDateTime(t, offset), expected) << t << " " << offset;
        ASSERT_EQ(cached.Convert(t, offset), expected) << t << " " << offset;
    }
}

TEST(Calendar, EveryDayBoundaryRoundTrips) {
    // Each day of the whole scale: its first and last second convert to the date and back.
    for (uint32_t day = 0; day < UINT32_MAX / 86400; ++day) {
        for (const uint32_t s : {day * 86400u, day * 86400u + 86399u}) {
            const LogDateTime dt = SecondsToDateTime(s, 0);
            ASSERT_EQ(dt, ChronoDateTime(s));
            uint32_t back = 0;
            if (dt.wYear <= 2135) {
                ASSERT_TRUE(DateTimeToSeconds(dt, back)) << Show(dt);
                ASSERT_EQ(back, s);
                const year_month_day ymd{year{dt.wYear}, month{dt.bMonth},
                                         std::chrono::day{dt.bDay}};
                ASSERT_EQ(DayOfWeek(dt.wYear, dt.bMonth, dt.bDay),
                          weekday{sys_days{ymd}}.c_encoding());
            } else {
                ASSERT_FALSE(DateTimeToSeconds(dt, back));
            }
        }
    }
}

TEST(Calendar, DateTimeToSecondsLimits) {
    struct Case {
        const char* legend;
        LogDateTime dt;
        bool bValid;
        uint32_t dwSeconds;
    };
    const Case cases[] = {
        {"first second", {2000, 1, 1, 0, 0, 0}, true, 0},
        {"before the scale", {1999, 12, 31, 23, 59, 59}, false, 0},
        {"after the last year", {2136, 1, 1, 0, 0, 0}, false, 0},
        {"last accepted second", {2135, 12, 31, 23, 59, 59}, true, 4291747199u},
        {"day not checked against month", {2000, 2, 31, 0, 0, 0}, true, (31 + 31 - 1) * 86400u},
        {"month 0", {2009, 0, 1, 0, 0, 0}, false, 0},
        {"month 13", {2009, 13, 1, 0, 0, 0}, false, 0},
        {"day 0", {2009, 1, 0, 0, 0, 0}, false, 0},
        {"day 32", {2009, 1, 32, 0, 0, 0}, false, 0},
        {"hour 24", {2009, 1, 1, 24, 0, 0}, false, 0},
        {"minute 60", {2009, 1, 1, 0, 60, 0}, false, 0},
        {"second 60", {2009, 1, 1, 0, 0, 60}, false, 0},
    };
    for (const Case& c : cases) {
        uint32_t s = 12345;
        EXPECT_EQ(DateTimeToSeconds(c.dt, s), c.bValid) << c.legend;
        EXPECT_EQ(s, c.dwSeconds) << c.legend;
    }
    // 2000-02-31 is 2000-03-02.
    uint32_t s = 0;
    ASSERT_TRUE(DateTimeToSeconds({2000, 2, 31, 0, 0, 0}, s));
    EXPECT_EQ(Show(SecondsToDateTime(s, 0)), "2000-03-02 00:00:00");
}

TEST(Calendar, DayOfWeekOutsideRangeIsZero) {
    EXPECT_EQ(DayOfWeek(1999, 12, 31), 0u);
    EXPECT_EQ(DayOfWeek(2136, 1, 1), 0u);
    EXPECT_EQ(DayOfWeek(2009, 13, 1), 0u);
    EXPECT_EQ(DayOfWeek(2009, 5, 0), 0u);
    EXPECT_EQ(DayOfWeek(2009, 5, 1), 5u);  // a Friday
}

TEST(Calendar, PickerConversionsKeepTheSixFields) {
    const LogDateTime dt{2009, 5, 1, 8, 3, 9};
    const PickerTime st = LogDateTimeToSystemTime(dt);
    EXPECT_EQ(st.wYear, 2009);
    EXPECT_EQ(st.wMonth, 5);
    EXPECT_EQ(st.wDay, 1);
    EXPECT_EQ(st.wHour, 8);
    EXPECT_EQ(st.wMinute, 3);
    EXPECT_EQ(st.wSecond, 9);
    EXPECT_EQ(st.wDayOfWeek, 5);
    EXPECT_EQ(st.wMilliseconds, 0);

    PickerTime withExtras = st;
    withExtras.wDayOfWeek = 3;
    withExtras.wMilliseconds = 999;
    EXPECT_EQ(SystemTimeToLogDateTime(withExtras), dt);
}

}  // namespace
