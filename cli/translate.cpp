#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "export/Translate.h"
#include "platform/Signals.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"

namespace {

struct TranslateCliOptions {
    std::string strFile;
    std::string strOut;
    std::string strZone = "local";  // the system's zone unless --tz names one
    std::string strFrom;
    std::string strTo;
    std::string strRecords;
    std::string strSegmentGap = "5m";
    std::string strKmlPoints = "none";
    std::string strSplit;
    FilterOptions filter;
    bool bAll = false;
    bool bKeepNoFix = false;
    bool bKmlTrack = false;
    bool bPlainCsv = false;
    bool bGeoJsonPoints = false;
    CLI::Option* pRecords = nullptr;
    CLI::Option* pKmlPoints = nullptr;
};

// "1 record", "2 records".
std::string Records(uint32_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

// A bound from a local time in the zone; by default the first or last record's.
bool ResolveBound(const std::string& strText, uint32_t dwDefaultTime, const TimeZone& zone,
                  const char* pszWhat, uint32_t& dwBound) {
    if (strText.empty()) {
        dwBound = dwDefaultTime;
        return true;
    }
    const std::optional<LogDateTime> parsed = ParseLogDateTime(strText);
    if (!parsed) {
        PrintError(std::string("Invalid ") + pszWhat + " time \"" + strText +
                   "\" (expected YYYY-MM-DD HH:MM:SS between 2000 and 2135).");
        return false;
    }
    dwBound = LocalBound(*parsed, zone);
    return true;
}

// "all", "none" or every N-th fix as a pushpin beside the track.
std::optional<uint32_t> ParsePointEvery(const std::string& strText) {
    if (strText == "all") return 1;
    if (strText == "none") return 0;
    const std::optional<uint32_t> n = ParseDurationSeconds(strText);
    if (!n || strText.find_first_not_of("0123456789") != std::string::npos) return std::nullopt;
    return n;
}

// One file per part, named from the output pattern; a line for each as it is written.
int TranslateSplit(const RawLogImage& image, const TranslateCliOptions& opt,
                   const RecordSelection& sel, const TimeZone& zone,
                   const TranslateOptions& options) {
    const std::optional<SplitRule> rule = ResolveSplitRule(opt.strSplit);
    if (!rule) return kExitUsage;
    SplitOutputOptions split;
    split.split = *rule;
    split.onFile = [](const TranslatedFile& file) {
        std::printf("%s written to %s\n", Records(file.nRecords).c_str(), file.strPath.c_str());
        return true;
    };
    // Ctrl-C, SIGTERM and SIGHUP end the program at once; the file being written goes with it.
    CatchStopSignals(true);
    const SplitTranslateResult result =
        TranslateToFiles(image, opt.strOut, sel, zone, options, split);
    ReleaseStopSignals();
    if (result.result.status != TranslateStatus::Ok) {
        std::fflush(stdout);
        PrintError(result.FailureMessage());
        return kExitFailure;
    }
    std::printf("Translate OK.\n%u of %s written to %zu file%s.%s\nTimes in %s.\n",
                result.result.nWritten, Records(image.RecordCount()).c_str(), result.files.size(),
                result.files.size() == 1 ? "" : "s",
                DroppedText(result.result.dropped, sel.filter, result.result.nNoPosition).c_str(),
                zone.DisplayName().c_str());
    return kExitOk;
}

int RunTranslate(const TranslateCliOptions& opt) {
    const std::optional<TimeZone> zone = ResolveTimeZone(opt.strZone);
    if (!zone) return kExitUsage;
    TranslateOptions options;
    options.bKmlTrack = opt.bKmlTrack;
    options.bPlainCsv = opt.bPlainCsv;
    const std::optional<uint32_t> gap = ParseDurationSeconds(opt.strSegmentGap);
    const std::optional<uint32_t> points = ParsePointEvery(opt.strKmlPoints);
    if (!gap || !points) {
        PrintError(!gap ? "Invalid --segment-gap \"" + opt.strSegmentGap +
                              "\" (seconds, or a number with s, m or h)."
                        : "Invalid --kml-points \"" + opt.strKmlPoints + "\" (all, none or N).");
        return kExitUsage;
    }
    options.gpx.nMaxGapSeconds = *gap;
    options.geoJson.nMaxGapSeconds = *gap;
    options.geoJson.bPoints = opt.bGeoJsonPoints;
    options.kmlTrack.nPointEvery = *points;
    // Options that would change nothing are refused rather than ignored.
    OutputFormat format = OutputFormat::Kml;
    if (opt.pKmlPoints->count() > 0 && !opt.bKmlTrack) {
        PrintError("--kml-points puts pushpins beside a KML track: add --kml-track.");
        return kExitUsage;
    }
    if (opt.bKmlTrack && OutputFormatFromPath(opt.strOut, options, format) == TranslateStatus::Ok &&
        format != OutputFormat::KmlTrack) {
        PrintError("--kml-track is for a .kml output; " + opt.strOut + " is written as " +
                   std::string(FormatRow(format).name) + ".");
        return kExitUsage;
    }
    if (opt.bPlainCsv && OutputFormatFromPath(opt.strOut, options, format) == TranslateStatus::Ok &&
        format != OutputFormat::PlainCsv) {
        PrintError("--plain-csv is for a .csv output; " + opt.strOut + " is written as " +
                   std::string(FormatRow(format).name) + ".");
        return kExitUsage;
    }

    RawLogImage image;
    if (!LoadRawLogForCommand(opt.strFile, image)) return kExitFailure;

    uint32_t dwFrom = 0;
    uint32_t dwTo = 0;
    if (!ResolveBound(opt.strFrom, image.FirstTime(), *zone, "--from", dwFrom) ||
        !ResolveBound(opt.strTo, image.LastTime(), *zone, "--to", dwTo)) {
        return kExitUsage;
    }
    const RecordSelection sel = MakeSelection(
        opt.bAll ? kSelectAll : (opt.pRecords->count() > 0 ? kSelectBySize : kSelectByTime), dwFrom,
        dwTo, opt.strRecords, !opt.bKeepNoFix, opt.filter.Filter());
    if (!opt.strSplit.empty()) return TranslateSplit(image, opt, sel, *zone, options);

    // Ctrl-C, SIGTERM and SIGHUP end the program at once; the temporary file goes with it.
    CatchStopSignals(true);
    const TranslateResult result = TranslateToFile(image, opt.strOut, sel, *zone, options);
    ReleaseStopSignals();
    if (result.status == TranslateStatus::NothingSelected) {
        PrintError(NothingSelectedMessage(image, sel, *zone, result.dropped));
        return kExitFailure;
    }
    if (result.status != TranslateStatus::Ok) {
        PrintError(result.FailureMessage(opt.strOut));
        return kExitFailure;
    }
    const TranslateSummaryText summary = TranslateSummary(result, image, sel, *zone, opt.strOut);
    std::printf("%s\n%s\nTimes in %s.\n", summary.strHeadline.c_str(), summary.strDetails.c_str(),
                zone->DisplayName().c_str());
    return kExitOk;
}

}  // namespace

CliCommand MakeTranslateCommand() {
    auto opt = std::make_shared<TranslateCliOptions>();
    return {"translate", "Translate a raw log (.dlg) file into " + FormatNamesText(),
            [opt](CLI::App& app) {
                app.add_option("FILE", opt->strFile, "Raw log file")->required();
                app.add_option("-o,--output", opt->strOut,
                               "Output file; its extension picks the format")
                    ->required();
                app.add_option("--tz", opt->strZone,
                               "Time zone: local (the default), a zone name such as "
                               "Europe/Berlin, UTC, or an offset such as GMT+8:00");
                app.add_flag("--all", opt->bAll, "Write every record");
                app.add_option("--from", opt->strFrom,
                               "Start, local time \"YYYY-MM-DD HH:MM:SS\" (default: first record)");
                app.add_option("--to", opt->strTo,
                               "End, local time \"YYYY-MM-DD HH:MM:SS\" (default: last record)");
                opt->pRecords =
                    app.add_option("--records", opt->strRecords,
                                   "Write at most N records from --from on (0 or empty: no limit)");
                app.add_flag("--keep-nofix", opt->bKeepNoFix,
                             "Keep records without a fix (a map format leaves them out all the "
                             "same)");
                app.add_flag("--kml-track", opt->bKmlTrack,
                             "A .kml output holds the track, a folder per local day, rather than "
                             "a pushpin per fix");
                app.add_flag("--plain-csv", opt->bPlainCsv,
                             "A .csv output holds plain numbers and ISO 8601 times under a header "
                             "with units, for scripts and GIS, rather than the spreadsheet table");
                opt->pKmlPoints = app.add_option(
                    "--kml-points", opt->strKmlPoints,
                    "Pushpins beside a KML track (with --kml-track): none (default), all, or "
                    "every N-th");
                app.add_option("--segment-gap", opt->strSegmentGap,
                               "A GPX or GeoJSON track segment ends at a gap longer than this "
                               "(default 5m)");
                app.add_flag("--geojson-points", opt->bGeoJsonPoints,
                             "A .geojson output also holds a point per fix with its time and "
                             "speed");
                app.add_option("--split", opt->strSplit,
                               "One file per local day (day) or per stretch between gaps longer "
                               "than a time (gap=30m); -o is then a name pattern: %Y, %m, %d the "
                               "part's date, %n its number");
                AddFilterOptions(app, opt->filter);
            },
            [opt] { return RunTranslate(*opt); }};
}
