#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "track/Calendar.h"
#include "track/TimeZone.h"
#include "track/ZoneRules.h"

namespace {

TEST(TimeZone, ListRows) {
    struct Row {
        int index;
        const char* text;
        int32_t offset;
    };
    const Row rows[] = {{0, "GMT-12:00", -43200}, {1, "GMT-11:30", -41400}, {23, "GMT-0:30", -1800},
                        {24, "GMT+0:00", 0},      {25, "GMT+0:30", 1800},   {40, "GMT+8:00", 28800},
                        {50, "GMT+13:00", 46800}};
    for (const Row& r : rows) {
        EXPECT_EQ(TimeZoneOffsetAt(r.index), r.offset) << r.text;
        EXPECT_EQ(TimeZoneText(r.offset), r.text);
    }
    EXPECT_EQ(TimeZoneOffsetAt(kDefaultTimeZoneIndex), 28800);
}

TEST(TimeZone, EveryListTextParsesBackToItsOffset) {
    for (int i = 0; i < kTimeZoneCount; ++i) {
        const int32_t offset = TimeZoneOffsetAt(i);
        EXPECT_EQ(ParseTimeZoneText(TimeZoneText(offset)), offset) << i;
    }
}

TEST(TimeZone, TypedTexts) {
    EXPECT_EQ(ParseTimeZoneText("GMT+5:45"), 5 * 3600 + 45 * 60);
    EXPECT_EQ(ParseTimeZoneText("GMT-3:30"), -(3 * 3600 + 30 * 60));
    EXPECT_EQ(ParseTimeZoneText("UTC"), 0);
    EXPECT_EQ(ParseTimeZoneText("GMT"), 0);
    EXPECT_EQ(ParseTimeZoneText("+8"), 28800);
    EXPECT_EQ(ParseTimeZoneText("-9:30"), -34200);
    EXPECT_EQ(ParseTimeZoneText(" UTC+1 "), 3600);
    for (const char* bad :
         {"", "8", "GMT+", "GMT+8:5", "GMT+8:60", "+15", "GMT+8:00x", "Berlin", "GMT*8", "+123"}) {
        EXPECT_FALSE(ParseTimeZoneText(bad).has_value()) << bad;
    }
}

TimeZone Zone(const char* text) {
    TimeZone zone;
    EXPECT_EQ(ParseTimeZone(text, zone), TimeZoneStatus::Ok) << text;
    return zone;
}

uint32_t Seconds(LogDateTime dt) {
    uint32_t s = 0;
    EXPECT_TRUE(DateTimeToSeconds(dt, s));
    return s;
}

TEST(TimeZone, LocalTimesAcrossChanges) {
    // Known changes: Berlin 01:00 UTC on the last Sundays of March and October, New York at 2:00
    // local on the second Sunday of March and the first of November, Sydney in April and October;
    // 2041 lies past the last change the zone files list.
    struct Row {
        const char* zone;
        LogDateTime local;
        LogDateTime utc;
    };
    const Row rows[] = {
        {"Europe/Berlin", {2024, 3, 31, 1, 59, 59}, {2024, 3, 31, 0, 59, 59}},
        {"Europe/Berlin", {2024, 3, 31, 2, 30, 0}, {2024, 3, 31, 1, 0, 0}},     // skipped
        {"Europe/Berlin", {2024, 10, 27, 2, 30, 0}, {2024, 10, 27, 0, 30, 0}},  // twice: earlier
        {"Europe/Berlin", {2024, 10, 27, 3, 0, 0}, {2024, 10, 27, 2, 0, 0}},
        {"Europe/Berlin", {2041, 7, 1, 12, 0, 0}, {2041, 7, 1, 10, 0, 0}},
        {"America/New_York", {2024, 3, 10, 2, 30, 0}, {2024, 3, 10, 7, 0, 0}},   // skipped
        {"America/New_York", {2024, 11, 3, 1, 30, 0}, {2024, 11, 3, 5, 30, 0}},  // twice
        {"America/New_York", {2024, 11, 3, 2, 0, 0}, {2024, 11, 3, 7, 0, 0}},
        {"America/New_York", {2041, 12, 24, 18, 0, 0}, {2041, 12, 24, 23, 0, 0}},
        {"Australia/Sydney", {2041, 1, 1, 12, 0, 0}, {2041, 1, 1, 1, 0, 0}},
        {"Australia/Sydney", {2041, 7, 1, 12, 0, 0}, {2041, 7, 1, 2, 0, 0}},
    };
    for (const Row& r : rows) {
        const TimeZone zone = Zone(r.zone);
        const uint32_t utc = Seconds(r.utc);
        EXPECT_EQ(zone.LocalToRecordTime(Seconds(r.local)), utc) << r.zone << " " << utc;
    }
}

TEST(TimeZone, ScaleEndsAndFixedOffsets) {
    const TimeZone berlin = Zone("Europe/Berlin");
    const TimeZone plus8 = TimeZone::Fixed(28800);
    const TimeZone minus1 = TimeZone::Fixed(-3600);
    struct Row {
        const TimeZone* zone;
        ZoneSeconds local;
        uint32_t record;
    };
    const Row rows[] = {
        {&berlin, 3600, 0},  // 2000-01-01 01:00 CET is the first second
        {&berlin, 1800, 0},  // half an hour before it
        {&berlin, -(ZoneSeconds{1} << 40), 0},
        {&berlin, 0xFFFFFFFFll + 3600, 0xFFFFFFFFu},  // the last second
        {&berlin, 0xFFFFFFFFll + 3601, 0xFFFFFFFFu},  // one past it
        {&berlin, ZoneSeconds{1} << 40, 0xFFFFFFFFu},
        {&plus8, 28800 + 5, 5},
        {&plus8, 100, 0},
        {&minus1, 0xFFFFFFFFll - 3600, 0xFFFFFFFFu},
        {&minus1, 0xFFFFFFFFll - 3599, 0xFFFFFFFFu},
    };
    for (const Row& r : rows) EXPECT_EQ(r.zone->LocalToRecordTime(r.local), r.record) << r.local;
    EXPECT_EQ(berlin.OffsetAt(0), 3600);
    EXPECT_EQ(berlin.OffsetAt(0xFFFFFFFFu), 3600);  // February 2136
    EXPECT_TRUE(plus8.IsFixed());
    EXPECT_EQ(plus8.DisplayName(), "GMT+8:00");
    EXPECT_EQ(plus8.OffsetAt(0), 28800);
    EXPECT_EQ(plus8.OffsetAt(0xFFFFFFFFu), 28800);
}

TEST(TimeZone, ParseTexts) {
    struct Row {
        const char* text;
        TimeZoneStatus status;
        const char* name;
        bool fixed;
    };
    const Row rows[] = {
        {"GMT+8:00", TimeZoneStatus::Ok, "GMT+8:00", true},
        {" UTC ", TimeZoneStatus::Ok, "GMT+0:00", true},
        {"-3:30", TimeZoneStatus::Ok, "GMT-3:30", true},
        {"Europe/Berlin", TimeZoneStatus::Ok, "Europe/Berlin", false},
        {"america/new_york", TimeZoneStatus::Ok, "America/New_York", false},
        {"Europe/Berln", TimeZoneStatus::UnknownName, "", false},
        {"GMT+15", TimeZoneStatus::UnknownName, "", false},
        {"", TimeZoneStatus::Empty, "", false},
    };
    for (const Row& r : rows) {
        TimeZone zone = TimeZone::Fixed(60);
        ASSERT_EQ(ParseTimeZone(r.text, zone), r.status) << r.text;
        EXPECT_EQ(zone.DisplayName(), r.status == TimeZoneStatus::Ok ? r.name : "GMT+0:01");
        EXPECT_EQ(zone.IsFixed(), r.status != TimeZoneStatus::Ok || r.fixed) << r.text;
    }
    TimeZone local;
    ASSERT_EQ(ParseTimeZone("local", local), TimeZoneStatus::Ok);
    EXPECT_TRUE(local.DisplayName().starts_with("local (")) << local.DisplayName();
    EXPECT_FALSE(local.IsFixed());
    EXPECT_EQ(TimeZoneStatusMessage(TimeZoneStatus::UnknownName, "Europe/Berln"),
              "Unknown time zone \"Europe/Berln\" (expected GMT+H:MM, UTC, local or a zone name "
              "such as Europe/Berlin).");
}

TEST(TimeZone, WalkCacheFollowsChanges) {
    const TimeZone berlin = Zone("Europe/Berlin");
    const uint32_t spring = Seconds({2024, 3, 31, 1, 0, 0});
    const uint32_t autumn = Seconds({2024, 10, 27, 1, 0, 0});
    ZoneOffsetCache cache(berlin);
    // Forward over both changes, then back to before the first.
    for (uint32_t t : {spring - 86400, spring - 1, spring, autumn - 1, autumn, autumn + 86400,
                       spring - 1, 0u, 0xFFFFFFFFu, spring}) {
        const int32_t expected = t >= spring && t < autumn ? 7200 : 3600;
        EXPECT_EQ(cache.OffsetAt(t), expected) << t;
    }
    ZoneOffsetCache fixed(TimeZone::Fixed(-34200));
    EXPECT_EQ(fixed.OffsetAt(spring), -34200);
}

#ifndef _WIN32
// Every change zdump lists for the zone in the years [from, to): the offsets on both sides of it
// and the local times next to it, with a skipped local time moving to the change and a repeated
// one taking the earlier instant.
void CheckAgainstZdump(const char* zone, int from, int to) {
    const std::string cmd =
        "zdump -v -c " + std::to_string(from) + "," + std::to_string(to) + " " + zone;
    FILE* pipe = popen(cmd.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    const TimeZone tz = Zone(zone);
    char line[256];
    int changes = 0;
    bool bHavePrev = false;
    uint32_t prevUtc = 0;
    int prevOffset = 0;
    while (std::fgets(line, sizeof line, pipe)) {
        char mon[4] = {};
        unsigned d = 0, h = 0, mi = 0, s = 0, y = 0;
        int isdst = 0, offset = 0;
        if (std::sscanf(line,
                        "%*s %*s %3s %u %u:%u:%u %u UT = %*s %*s %*u %*u:%*u:%*u %*u %*s "
                        "isdst=%d gmtoff=%d",
                        mon, &d, &h, &mi, &s, &y, &isdst, &offset) != 8) {
            continue;
        }
        const unsigned month =
            static_cast<unsigned>(std::strstr("JanFebMarAprMayJunJulAugSepOctNovDec", mon) -
                                  "JanFebMarAprMayJunJulAugSepOctNovDec") /
                3 +
            1;
        const uint32_t utc =
            Seconds({static_cast<uint16_t>(y), static_cast<uint8_t>(month), static_cast<uint8_t>(d),
                     static_cast<uint8_t>(h), static_cast<uint8_t>(mi), static_cast<uint8_t>(s)});
        EXPECT_EQ(tz.OffsetAt(utc), offset) << line;
        if (bHavePrev && utc == prevUtc + 1 && offset != prevOffset) {
            ++changes;
            const ZoneSeconds lastLocal = ZoneSeconds{prevUtc} + prevOffset;
            const ZoneSeconds firstLocal = ZoneSeconds{utc} + offset;
            EXPECT_EQ(tz.LocalToRecordTime(lastLocal), prevUtc) << line;
            // The second after the last local one of the old offset: in the gap, or past the
            // repeated stretch.
            EXPECT_EQ(tz.LocalToRecordTime(lastLocal + 1),
                      offset > prevOffset ? utc : utc + (prevOffset - offset))
                << line;
            EXPECT_EQ(tz.LocalToRecordTime(firstLocal),
                      offset > prevOffset ? utc : firstLocal - prevOffset)
                << line;
        }
        bHavePrev = true;
        prevUtc = utc;
        prevOffset = offset;
    }
    pclose(pipe);
    EXPECT_EQ(changes, 2 * (to - from)) << zone;
}

TEST(TimeZone, NamedZonesAgreeWithZdump) {
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
        CheckAgainstZdump(zone, 2023, 2025);
        CheckAgainstZdump(zone, 2040, 2042);  // past the zone files' last listed change
    }
}

TEST(TimeZone, LocalFollowsTz) {
    const char* pszOld = std::getenv("TZ");
    const std::string strOld = pszOld ? pszOld : "";
    const uint32_t summer = Seconds({2024, 7, 1, 0, 0, 0});
    setenv("TZ", "America/New_York", 1);
    EXPECT_EQ(Zone("local").DisplayName(), "local (America/New_York)");
    EXPECT_EQ(Zone("Local").OffsetAt(summer), -4 * 3600);
    setenv("TZ", "<+0930>-9:30<+1030>,M10.1.0,M4.1.0/3", 1);  // Adelaide's rule as a TZ string
    EXPECT_EQ(Zone("local").OffsetAt(summer), 9 * 3600 + 1800);
    EXPECT_EQ(Zone("local").OffsetAt(Seconds({2024, 12, 1, 0, 0, 0})), 10 * 3600 + 1800);
    if (pszOld) {
        setenv("TZ", strOld.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
}
#endif

TEST(TimeZone, PosixRuleTexts) {
    for (const char* good :
         {"CET-1CEST,M3.5.0,M10.5.0/3", "<-03>3", "EST5EDT", "IST-2IDT,M3.4.4/26,M10.5.0",
          "<-02>2<-01>,M3.5.0/-1,M10.5.0/0", "EST5EDT,0/0,J365/25"}) {
        EXPECT_TRUE(ParsePosixZoneRule(good).has_value()) << good;
    }
    for (const char* bad : {"", "AB1", "CET", "CET-1CEST,M13.5.0,M10.5.0", "CET-1CEST,M3.5.0",
                            "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,M3.5.7,M10.5.0", "<>1",
                            "CET-1CEST,J0,J365", "CET-1CEST,M3.5.0,M10.5.0x", "CET-25"}) {
        EXPECT_FALSE(ParsePosixZoneRule(bad).has_value()) << bad;
    }
}

}  // namespace
