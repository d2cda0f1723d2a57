#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "export/OutputFile.h"
#include "export/TrackWriters.h"
#include "platform/Signals.h"
#include "track/RawLog.h"
#include "track/RecordSelection.h"

namespace {

struct TranslateOptions {
    std::string strFile;
    std::string strOut;
    std::string strZone;
    std::string strFrom;
    std::string strTo;
    std::string strRecords;
    bool bAll = false;
    bool bKeepNoFix = false;
    CLI::Option* pRecords = nullptr;
};

// A bound as the window computes it from its pickers: local time minus the offset, modulo 2^32.
bool ResolveBound(const std::string& strText, uint32_t dwDefaultTime, int32_t nOffset,
                  const char* pszWhat, uint32_t& dwBound) {
    LogDateTime local = SecondsToDateTime(dwDefaultTime, nOffset);
    if (!strText.empty()) {
        const std::optional<LogDateTime> parsed = ParseLogDateTime(strText);
        if (!parsed) {
            PrintError(std::string("Invalid ") + pszWhat + " time \"" + strText +
                       "\" (expected YYYY-MM-DD HH:MM:SS between 2000 and 2135).");
            return false;
        }
        local = *parsed;
    }
    // Before the record scale's first second is that second, past its last the last: no wrap.
    dwBound = LocalToRecordTime(local, nOffset);
    return true;
}

int RunTranslate(const TranslateOptions& opt) {
    const std::optional<int32_t> offset = ResolveTimeZone(opt.strZone);
    if (!offset) return kExitUsage;

    RawLogImage image;
    if (!LoadRawLogForCommand(opt.strFile, image)) return kExitFailure;

    RecordSelection sel;
    sel.nSelectMode =
        opt.bAll ? kSelectAll : (opt.pRecords->count() > 0 ? kSelectBySize : kSelectByTime);
    if (!ResolveBound(opt.strFrom, image.FirstTime(), *offset, "--from", sel.dwFromTime) ||
        !ResolveBound(opt.strTo, image.LastTime(), *offset, "--to", sel.dwToTime)) {
        return kExitUsage;
    }
    if (sel.nSelectMode == kSelectByTime && sel.dwFromTime > sel.dwToTime) {
        std::swap(sel.dwFromTime, sel.dwToTime);
    }

    OutputFormat format{};
    const OutputFormatStatus formatStatus = OutputFormatFromPath(opt.strOut, format);
    if (formatStatus != OutputFormatStatus::Ok) {
        PrintError(OutputFormatStatusMessage(formatStatus));
        return kExitFailure;
    }

    // Ctrl-C, SIGTERM and SIGHUP end the program at once; the temporary file goes with it.
    CatchStopSignals(true);
    OutputFile out;
    if (!out.Create(opt.strOut)) {
        PrintError(OutputFileMessage(opt.strOut, out.Error()));
        return kExitFailure;
    }
    sel.nLimit = ParseRecordLimit(opt.strRecords);
    sel.bDropNoFix = !opt.bKeepNoFix;
    const TimeZone zone = TimeZone::Fixed(*offset);
    const uint32_t nWritten = format == OutputFormat::Kml ? WriteKml(out, image, sel, zone)
                                                          : WriteCsv(out, image, sel, zone);
    if (!out.Finish()) {
        PrintError(OutputFileMessage(opt.strOut, out.Error()));
        return kExitFailure;
    }
    ReleaseStopSignals();
    std::printf("Translate OK. %u of %u records written to %s\n", nWritten, image.RecordCount(),
                opt.strOut.c_str());
    return kExitOk;
}

}  // namespace

CliCommand MakeTranslateCommand() {
    auto opt = std::make_shared<TranslateOptions>();
    return {"translate", "Translate a raw log (.dlg) file into KML (.kml) or CSV (.csv, .txt)",
            [opt](CLI::App& app) {
                app.add_option("FILE", opt->strFile, "Raw log file")->required();
                app.add_option("-o,--output", opt->strOut,
                               "Output file; its extension picks the format")
                    ->required();
                app.add_option("--tz", opt->strZone, "Time zone (default GMT+8:00)");
                app.add_flag("--all", opt->bAll, "Write every record");
                app.add_option("--from", opt->strFrom,
                               "Start, local time \"YYYY-MM-DD HH:MM:SS\" (default: first record)");
                app.add_option("--to", opt->strTo,
                               "End, local time \"YYYY-MM-DD HH:MM:SS\" (default: last record)");
                opt->pRecords =
                    app.add_option("--records", opt->strRecords,
                                   "Write at most N records from --from on (0 or empty: no limit)");
                app.add_flag("--keep-nofix", opt->bKeepNoFix, "Keep records without a fix");
            },
            [opt] { return RunTranslate(*opt); }};
}
