#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "track/Calendar.h"
#include "track/TimeZone.h"
#include "track/ZoneRules.h"
#ifndef _WIN32
#include "tests/common/Programs.h"
#endif

namespace {

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

TEST(TimeZone, LocalTimesToRecordTimes) {
    // Berlin changes at 01:00 UTC on the last Sundays of March and October, New York at 2:00 local
    // on the second Sunday of March and the first of November, Sydney in April and October; 2041
    // lies past the last change the zone files list.
    struct Row {
        const char* zone;
        ZoneSeconds local;
        uint32_t record;
    };
    const Row rows[] = {
        {"Europe/Berlin", Seconds({2024, 3, 31, 2, 30, 0}), Seconds({2024, 3, 31, 1, 0, 0})},
        {"Europe/Berlin", Seconds({2024, 10, 27, 2, 30, 0}), Seconds({2024, 10, 27, 0, 30, 0})},
        {"Europe/Berlin", Seconds({2041, 7, 1, 12, 0, 0}), Seconds({2041, 7, 1, 10, 0, 0})},
        {"America/New_York", Seconds({2024, 3, 10, 2, 30, 0}), Seconds({2024, 3, 10, 7, 0, 0})},
        {"America/New_York", Seconds({2024, 11, 3, 1, 30, 0}), Seconds({2024, 11, 3, 5, 30, 0})},
        {"Australia/Sydney", Seconds({2041, 1, 1, 12, 0, 0}), Seconds({2041, 1, 1, 1, 0, 0})},
        {"Australia/Sydney", Seconds({2041, 7, 1, 12, 0, 0}), Seconds({2041, 7, 1, 2, 0, 0})},
        // The ends of the record scale: 2000-01-01 01:00 CET is its first second.
        {"Europe/Berlin", 1800, 0},
        {"Europe/Berlin", 0xFFFFFFFFll + 3601, 0xFFFFFFFFu},
        {"GMT+8:00", 28805, 5},
        {"GMT+8:00", 100, 0},
        {"GMT-1:00", 0xFFFFFFFFll - 3599, 0xFFFFFFFFu},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(Zone(r.zone).LocalToRecordTime(r.local), r.record) << r.zone << " " << r.local;
    }
}

TEST(TimeZone, ParseTexts) {
    const uint32_t summer = Seconds({2024, 7, 1, 0, 0, 0});
    struct Row {
        const char* text;
        const char* name;
        int32_t summer;  // offset in force on 2024-07-01
        int32_t end;     // and at the last second of the record scale, in February 2136
    };
    const Row rows[] = {
        {"GMT+5:45", "GMT+5:45", 20700, 20700},
        {"GMT-3:30", "GMT-3:30", -12600, -12600},
        {"GMT-0:30", "GMT-0:30", -1800, -1800},
        {"GMT+13:00", "GMT+13:00", 46800, 46800},
        {" UTC ", "GMT+0:00", 0, 0},
        {"+8", "GMT+8:00", 28800, 28800},
        {" UTC+1 ", "GMT+1:00", 3600, 3600},
        {"Europe/Berlin", "Europe/Berlin", 7200, 3600},
        {"america/new_york", "America/New_York", -14400, -18000},
    };
    for (const Row& r : rows) {
        TimeZone zone;
        ASSERT_EQ(ParseTimeZone(r.text, zone), TimeZoneStatus::Ok) << r.text;
        EXPECT_EQ(zone.DisplayName(), r.name);
        EXPECT_EQ(zone.OffsetAt(summer), r.summer) << r.text;
        EXPECT_EQ(zone.OffsetAt(0xFFFFFFFFu), r.end) << r.text;
    }
    for (const char* bad : {"", "8", "GMT+", "GMT+8:5", "GMT+8:60", "+15", "GMT+8:00x", "Berlin",
                            "GMT*8", "+123", "Europe/Berln"}) {
        TimeZone zone = TimeZone::Fixed(60);
        EXPECT_EQ(ParseTimeZone(bad, zone),
                  *bad ? TimeZoneStatus::UnknownName : TimeZoneStatus::Empty)
            << bad;
        EXPECT_EQ(zone.DisplayName(), "GMT+0:01");  // left as it was
    }
    const std::vector<std::string> names = AvailableTimeZoneNames();
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "Europe/Berlin"));
    EXPECT_FALSE(std::binary_search(names.begin(), names.end(), "Etc/GMT+5"));
    TimeZone local;
    ASSERT_EQ(ParseTimeZone("local", local), TimeZoneStatus::Ok);
    EXPECT_TRUE(local.DisplayName().starts_with("local (")) << local.DisplayName();
}

#ifndef _WIN32
// Every change zdump lists for the zone in the years [from, to): the offsets on both sides of it
// and the local times next to it, with a skipped local time moving to the change and a repeated
// one taking the earlier instant.
void CheckAgainstZdump(const std::string& zone, const TimeZone& tz, int from, int to) {
    FILE* pipe =
        popen(("zdump -v -c " + std::to_string(from) + "," + std::to_string(to) + " '" + zone + "'")
                  .c_str(),
              "r");
    ASSERT_NE(pipe, nullptr);
    char line[256];
    int lines = 0;
    uint32_t prevUtc = 0;
    int prevOffset = 0;
    // zdump lists each change as the last second before it and the first after it.
    while (std::fgets(line, sizeof line, pipe)) {
        char mon[4] = {};
        LogDateTime dt{};
        int offset = 0;
        if (std::sscanf(line, "%*s %*s %3s %hhu %hhu:%hhu:%hhu %hu UT = %*[^=]=%*d gmtoff=%d", mon,
                        &dt.bDay, &dt.bHour, &dt.bMinute, &dt.bSecond, &dt.wYear, &offset) != 7) {
            continue;
        }
        dt.bMonth = static_cast<uint8_t>(
            std::string_view("JanFebMarAprMayJunJulAugSepOctNovDec").find(mon) / 3 + 1);
        const uint32_t utc = Seconds(dt);
        EXPECT_EQ(tz.OffsetAt(utc), offset) << line;
        if (++lines % 2 == 0) {
            ASSERT_EQ(utc, prevUtc + 1) << line;
            const ZoneSeconds lastLocal = ZoneSeconds{prevUtc} + prevOffset;
            EXPECT_EQ(tz.LocalToRecordTime(lastLocal), prevUtc) << line;
            // The second after it: in the gap, or past the repeated stretch.
            EXPECT_EQ(tz.LocalToRecordTime(lastLocal + 1),
                      offset > prevOffset ? utc : utc + (prevOffset - offset))
                << line;
            // The first local time after the change is repeated when the clock went back.
            EXPECT_EQ(tz.LocalToRecordTime(ZoneSeconds{utc} + offset),
                      offset > prevOffset ? utc : utc + offset - prevOffset)
                << line;
        }
        prevUtc = utc;
        prevOffset = offset;
    }
    pclose(pipe);
    EXPECT_EQ(lines, 4 * (to - from)) << zone;
}

TEST(TimeZone, NamedZonesAgreeWithZdump) {
    for (const char* zone : {"Europe/Berlin", "America/New_York", "Australia/Sydney"}) {
        CheckAgainstZdump(zone, Zone(zone), 2023, 2025);
        CheckAgainstZdump(zone, Zone(zone), 2040, 2042);  // past the zone files' last listed change
    }
}

TEST(TimeZone, LocalFollowsTz) {
    const char* pszOld = std::getenv("TZ");
    const std::string strOld = pszOld ? pszOld : "";  // restored at the end
    setenv("TZ", "America/New_York", 1);
    EXPECT_EQ(Zone("Local").DisplayName(), "local (America/New_York)");
    setenv("TZ", "<+0930>-9:30<+1030>,M10.1.0,M4.1.0/3", 1);  // Adelaide's rule as a TZ string
    const TimeZone adelaide = Zone("local");
    EXPECT_EQ(adelaide.OffsetAt(Seconds({2024, 7, 1, 0, 0, 0})), 9 * 3600 + 1800);
    EXPECT_EQ(adelaide.OffsetAt(Seconds({2024, 12, 1, 0, 0, 0})), 10 * 3600 + 1800);
    (void)(pszOld ? setenv("TZ", strOld.c_str(), 1) : unsetenv("TZ"));
}

// Zone files read as a copied /etc/localtime is (or TZ=/path): against zdump on the same file,
// past 2037 by the file's closing rule and as version 1 (no such rule), through quorvel-cli too,
// and named.
TEST(TimeZone, ZoneFilesAgreeWithZdump) {
    const TempDir dir;
    const std::string berlin = ReadFile("/usr/share/zoneinfo/Europe/Berlin");
    const std::string copy = WriteFile(dir / "copy", berlin);
    const std::string own = WriteFile(dir / "own", berlin + "\n");  // bytes of no database zone
    fs::create_symlink("/usr/share/zoneinfo/US/Eastern", dir / "link");
    const char* pszOld = std::getenv("TZ");
    const std::string strOld = pszOld ? pszOld : "";
    for (const std::string& path :
         {copy, WriteFile(dir / "v1", berlin.substr(0, 4) + '\0' + berlin.substr(5))}) {
        setenv("TZ", path.c_str(), 1);
        CheckAgainstZdump(path, Zone("local"), 2023, 2025);
        if (path == copy) CheckAgainstZdump(path, Zone("local"), 2040, 2042);
    }
    const RunResult r = RunProgram({kCli, "info", kSample}, {"TZ=" + copy});
    EXPECT_NE(r.strOut.find("2009/05/01 17:30:00 ~ 2009/05/01 18:19:55\nSize(Record): 600\n"
                            "Times in local (Europe/Berlin)"),
              std::string::npos)
        << r.strOut << r.strErr;
    std::shared_ptr<const ZoneRules> pRules;
    for (const auto& [path, name] : {std::pair{copy, "Europe/Berlin"},
                                     {own, own.c_str()},
                                     {dir / "link", "America/New_York"}}) {
        std::string strName;
        EXPECT_EQ(LoadZoneFileRules(path, pRules, strName), TimeZoneStatus::Ok) << path;
        EXPECT_EQ(strName, name);
    }
    // Refused rather than taken as UTC: damaged files and TZ values that name no zone.
    std::vector<std::string> tzs = {"Nowhere/Zone", "CET-1CEST,M3.5.0", "/nonexistent"};
    for (const std::string& bad :
         {berlin.substr(0, berlin.size() / 2), "TZif2" + std::string(50, '\0')}) {
        tzs.push_back(":" + WriteFile(dir / std::to_string(tzs.size()), bad));
    }
    for (const std::string& tz : tzs) {
        setenv("TZ", tz.c_str(), 1);
        TimeZone zone;
        EXPECT_EQ(ParseTimeZone("local", zone), TimeZoneStatus::NoLocalZone) << tz;
    }
    setenv("TZ", "", 1);  // UTC to the C library
    EXPECT_EQ(Zone("local").DisplayName(), "local (UTC)");
    (void)(pszOld ? setenv("TZ", strOld.c_str(), 1) : unsetenv("TZ"));
}

TEST(TimeZone, CommandLineRefusesEmptyZone) {
    for (const char* blank : {"", " "}) {
        const RunResult r = RunProgram({kCli, "info", kSample, "--tz", blank});
        EXPECT_EQ(r.nStatus, 2);
        EXPECT_EQ(r.strErr, "quorvel-cli: No time zone given.\n") << blank;
    }
}
#endif

TEST(TimeZone, PosixRuleTextsOutOfRangeAreRefused) {
    for (const char* bad : {"", "AB1", "CET-1CEST,M13.5.0,M10.5.0", "CET-1CEST,M3.5.0",
                            "CET-1CEST,M3.6.0,M10.5.0", "CET-1CEST,J0,J365", "CET-25"}) {
        EXPECT_FALSE(ParsePosixZoneRule(bad).has_value()) << bad;
    }
}

}  // namespace
