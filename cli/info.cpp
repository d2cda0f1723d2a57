#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "track/DayStats.h"
#include "track/RawLog.h"

namespace {

struct InfoOptions {
    std::string strFile;
    std::string strZone = "local";  // the system's zone unless --tz names one
    bool bDays = false;
    bool bJson = false;
    FilterOptions filter;
};

std::string DateText(const LogDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%04u-%02u-%02u", unsigned{t.wYear}, unsigned{t.bMonth},
                  unsigned{t.bDay});
    return text;
}

std::string TimeText(const LogDateTime& t) {
    char text[16];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", unsigned{t.bHour}, unsigned{t.bMinute},
                  unsigned{t.bSecond});
    return text;
}

std::string JsonString(const std::string& strText) {
    std::string strQuoted = "\"";
    for (const char c : strText) {
        if (c == '"' || c == '\\') strQuoted += '\\';
        if (static_cast<unsigned char>(c) < 0x20) continue;
        strQuoted += c;
    }
    return strQuoted + "\"";
}

// One line per local day, or one JSON document.
void PrintDays(const std::vector<DayStats>& days, const TimeZone& zone, const FilterCounts& dropped,
               const RecordFilter& filter, bool bJson) {
    ZoneOffsetCache offsets(zone);
    if (!bJson) {
        std::printf(
            "Day         First     Last      Records  No fix  Gaps  Distance    Max speed\n");
    } else {
        std::printf("{\"zone\": %s, \"gapSeconds\": %u, \"days\": [",
                    JsonString(zone.DisplayName()).c_str(), kDayGapSeconds);
    }
    for (size_t i = 0; i < days.size(); ++i) {
        const DayStats& d = days[i];
        const LogDateTime first = SecondsToDateTime(d.dwFirstTime, offsets.OffsetAt(d.dwFirstTime));
        const LogDateTime last = SecondsToDateTime(d.dwLastTime, offsets.OffsetAt(d.dwLastTime));
        const std::string strDate = DateText(SecondsToDateTime(d.nLocalDay * 86400u, 0));
        const double dMaxSpeed = d.wMaxSpeed / 100.0;
        if (!bJson) {
            std::printf("%s  %s  %s  %7u  %6u  %4u  %6.1f km  %5.1f km/h\n", strDate.c_str(),
                        TimeText(first).c_str(), TimeText(last).c_str(), d.nRecords, d.nNoFix,
                        d.nGaps, d.dDistanceKm, dMaxSpeed);
            continue;
        }
        std::printf(
            "%s\n  {\"date\": \"%s\", \"first\": \"%s %s\", \"last\": \"%s %s\", "
            "\"records\": %u, \"noFix\": %u, \"gaps\": %u, \"distanceKm\": %.1f, "
            "\"maxSpeedKmh\": %.2f}",
            i == 0 ? "" : ",", strDate.c_str(), DateText(first).c_str(), TimeText(first).c_str(),
            DateText(last).c_str(), TimeText(last).c_str(), d.nRecords, d.nNoFix, d.nGaps,
            d.dDistanceKm, dMaxSpeed);
    }
    if (bJson) {
        std::printf(
            "\n], \"leftOut\": {\"coordinates\": %u, \"satellites\": %u, \"hdop\": %u, "
            "\"speed\": %u}}\n",
            dropped.n[kDroppedCoordinates], dropped.n[kDroppedSatellites], dropped.n[kDroppedHdop],
            dropped.n[kDroppedSpeed]);
        return;
    }
    const std::string strDropped = FilterCountsText(dropped, filter);
    if (!strDropped.empty())
        std::printf("Left out of distance and speed: %s.\n", strDropped.c_str());
    std::printf("Times in %s; gaps are more than %u minutes without a record.\n",
                zone.DisplayName().c_str(), kDayGapSeconds / 60);
}

int RunInfo(const InfoOptions& opt) {
    const std::optional<TimeZone> zone = ResolveTimeZone(opt.strZone);
    if (!zone) return kExitUsage;
    RawLogImage image;
    if (!LoadRawLogForCommand(opt.strFile, image)) return kExitFailure;
    if (opt.bDays) {
        FilterCounts dropped;
        const RecordFilter filter = opt.filter.Filter();
        PrintDays(ComputeDayStats(image, *zone, filter, dropped), *zone, dropped, filter,
                  opt.bJson);
        return kExitOk;
    }
    std::printf("%s\n%s\nTimes in %s.\n",
                FormatTimeSpanLabel(image.FirstTime(), image.LastTime(), *zone).c_str(),
                FormatSizeLabel(image.RecordCount()).c_str(), zone->DisplayName().c_str());
    return kExitOk;
}

}  // namespace

CliCommand MakeInfoCommand() {
    auto opt = std::make_shared<InfoOptions>();
    return {"info", "Show the time span and record count of a raw log (.dlg) file, or its days",
            [opt](CLI::App& app) {
                app.add_option("FILE", opt->strFile, "Raw log file")->required();
                app.add_option("--tz", opt->strZone,
                               "Time zone of the shown times: local (the default), a zone name "
                               "such as Europe/Berlin, UTC, or an offset such as GMT+8:00");
                app.add_flag("--days", opt->bDays,
                             "One line per local day: first and last time, records, records "
                             "without a fix, gaps over 5 minutes, distance, highest speed");
                app.add_flag("--json", opt->bJson, "With --days: one JSON document for scripts")
                    ->needs("--days");
                AddFilterOptions(app, opt->filter);
            },
            [opt] { return RunInfo(*opt); }};
}
