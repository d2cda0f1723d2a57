#include <array>
#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "CliLink.h"
#include "archive/Sync.h"
#include "export/Formats.h"
#include "platform/Signals.h"

namespace {

struct SyncCliOptions {
    std::string strPort;
    uint32_t nBaud = CliLink::kDefaultBaud;
    std::string strArchive;
    std::string strZone = "local";  // the system's zone unless --tz names one
    std::string strSplit;
    std::array<bool, kOutputFormatCount> asked{};  // by format
    bool bErase = false;
    bool bVerbose = false;
    double dTimeoutSeconds = 10.0;
    FilterOptions filter;
};

// Progress and a line for each file, as the sync goes.
class SyncPrinter : public SyncObserver {
  public:
    explicit SyncPrinter(bool bVerbose) : m_bVerbose(bVerbose) {}

    void OnProgress(uint32_t nReceived, uint32_t nAnnounced) override {
        m_progress.Update(nReceived, nAnnounced);
    }
    void OnLoggerLine(std::string_view text) override {
        if (!m_bVerbose) return;
        m_progress.EndLine();
        std::fprintf(stderr, "logger: %s\n", LoggerLineForTerminal(std::string(text)).c_str());
    }
    void OnStored(const StoreResult& stored) override {
        m_progress.EndLine();
        if (stored.status == StoreStatus::AlreadyStored) {
            std::printf("%u records already in %s (the same bytes): nothing new stored\n",
                        stored.nRecords, stored.strPath.c_str());
        } else {
            std::printf("%u records stored in %s\n", stored.nRecords, stored.strPath.c_str());
        }
        std::fflush(stdout);
    }
    void OnOutput(OutputFormat, const TranslatedFile& file) override {
        if (file.bKept) {
            std::printf("%s is there already: kept as it is\n", file.strPath.c_str());
        } else {
            std::printf("%u records written to %s\n", file.nRecords, file.strPath.c_str());
        }
        std::fflush(stdout);
    }
    bool StopRequested() override { return StopSignal() != 0; }
    void EndLine() { m_progress.EndLine(); }

  private:
    bool m_bVerbose;
    ProgressReport m_progress;
};

int RunSyncCommand(const SyncCliOptions& opt) {
    const std::optional<TimeZone> zone = ResolveTimeZone(opt.strZone);
    if (!zone) return kExitUsage;
    SyncOptions options;
    options.strArchive = opt.strArchive;
    options.zone = *zone;
    options.bErase = opt.bErase;
    options.outputs.filter = opt.filter.Filter();
    if (!opt.strSplit.empty()) {
        const std::optional<SplitRule> rule = ResolveSplitRule(opt.strSplit);
        if (!rule) return kExitUsage;
        options.outputs.split = *rule;
    }
    for (const OutputFormatRow& row : OutputFormats()) {
        if (opt.asked[static_cast<size_t>(row.format)]) {
            options.outputs.formats.push_back(row.format);
        }
    }

    CliLink link(static_cast<uint32_t>(opt.dTimeoutSeconds * 1000.0));
    if (!link.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    // Ctrl-C, SIGTERM and SIGHUP stop the sync where it is, keeping what was written and never
    // erasing.
    CatchStopSignals(false);
    SyncPrinter printer(opt.bVerbose);
    const SyncOutcome outcome = RunSync(link.session, link.events, options, printer);
    link.Close();
    printer.EndLine();
    std::fflush(stdout);
    if (outcome.bNoData) {
        std::printf("%s Nothing to store.\n", DownloadResultText(DR_NO_DATA));
        ReleaseStopSignals();
        return kExitOk;
    }
    const std::string strDropped = FilterCountsText(outcome.dropped, options.outputs.filter);
    if (!strDropped.empty()) std::printf("Left out of the output files: %s.\n", strDropped.c_str());
    if (!outcome.bOk) {
        std::fflush(stdout);
        PrintError(std::string("Sync stopped at \"") + SyncStepText(outcome.failedStep) +
                   "\": " + outcome.strMessage);
        if (outcome.failedStep != SyncStep::Confirm) {
            PrintError("The logger was not erased.");
        } else {
            PrintError("The erase was sent but not confirmed.");
        }
        if (outcome.bCancelled) EndLikeStopSignal();
        ReleaseStopSignals();
        return kExitFailure;
    }
    ReleaseStopSignals();
    if (outcome.bErased) std::printf("Logger erased: it reports no records now.\n");
    return kExitOk;
}

}  // namespace

CliCommand MakeSyncCommand() {
    auto opt = std::make_shared<SyncCliOptions>();
    return {
        "sync",
        "Download the logger into an archive folder, verify and store it, write the files asked "
        "for, and only then erase it if asked",
        [opt](CLI::App& app) {
            app.add_option("--port", opt->strPort, "Serial port (ttyUSB0 or a path)")->required();
            app.add_option("--archive", opt->strArchive,
                           "Folder of raw logs, each named by its span in UTC; made if missing")
                ->required();
            app.add_option("--tz", opt->strZone,
                           "Time zone of the output files' local times and days: local (the "
                           "default), a zone name such as Europe/Berlin, UTC, or GMT+8:00");
            for (const OutputFormatRow& row : OutputFormats()) {
                app.add_flag(std::string(row.syncFlag), opt->asked[static_cast<size_t>(row.format)],
                             std::string(row.syncHelp));
            }
            app.add_option("--split", opt->strSplit,
                           "Output files per local day (day) or per stretch between gaps longer "
                           "than a time (gap=30m)");
            AddFilterOptions(app, opt->filter);
            app.add_flag("--erase", opt->bErase,
                         "Erase the logger once everything is written and checked, then check "
                         "that it is empty");
            app.add_option("--baud", opt->nBaud, "Speed in bit/s (default 115200)");
            app.add_option("--timeout", opt->dTimeoutSeconds,
                           "Seconds without progress after which the download gives up "
                           "(default 10)")
                ->check(CLI::PositiveNumber);
            app.add_flag("-v,--verbose", opt->bVerbose, "Show the lines the logger sends");
        },
        [opt] { return RunSyncCommand(*opt); }};
}
