#include <chrono>
#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "CliLink.h"
#include "platform/Signals.h"

namespace {

struct DownloadOptions {
    std::string strPort;
    uint32_t nBaud = CliLink::kDefaultBaud;
    std::string strOutput;
    double dTimeoutSeconds = 10.0;
    bool bVerbose = false;
    bool bForce = false;
};

// Waits for the download's result, showing progress; nothing when a stop signal came first.
std::optional<uint32_t> AwaitResult(CliLink& link, const DownloadOptions& opt,
                                    ProgressReport& progress) {
    const auto line = [&](const std::string& strText) {
        progress.EndLine();
        std::fprintf(stderr, "logger: %s\n", LoggerLineForTerminal(strText).c_str());
    };
    return AwaitDownloadEnd(
               link.events, [] { return StopSignal() != 0; },
               opt.bVerbose ? std::function<void(const std::string&)>(line) : nullptr,
               [&](uint32_t nReceived, uint32_t nAnnounced) {
                   progress.Update(nReceived, nAnnounced);
               })
        .result;
}

int RunDownload(const DownloadOptions& opt) {
    // Never replace a file by surprise: the window asks, the command line wants --force.
    if (!opt.bForce && PathExists(opt.strOutput)) {
        PrintError(opt.strOutput +
                   " exists already; choose another name or give --force to replace "
                   "it once the download is complete.");
        return kExitUsage;
    }
    const auto nTimeoutMs = static_cast<uint32_t>(opt.dTimeoutSeconds * 1000.0);
    CliLink link(nTimeoutMs);
    if (!link.Open(opt.strPort, opt.nBaud)) return kExitFailure;

    // Ctrl-C, SIGTERM and SIGHUP cancel: the records that arrived are kept whole.
    CatchStopSignals(false);
    link.session.BeginDownload(opt.strOutput);
    if (!link.Send(DownloadSentenceBody())) {
        link.session.CancelDownload();
        ReleaseStopSignals();
        return kExitFailure;
    }
    ProgressReport progress;
    const std::optional<uint32_t> result = AwaitResult(link, opt, progress);
    if (!result) link.session.CancelDownload();  // stopping the worker closes the file
    link.Close();
    const DownloadOutcome outcome = link.session.LastDownload();
    if (result == DR_OK) {
        const auto nRecords = static_cast<uint32_t>(outcome.nRecords);
        progress.Update(nRecords, nRecords);
    }
    progress.EndLine();
    if (!result) {
        PrintError(DownloadResultMessage(DR_ABORTED, outcome));
        EndLikeStopSignal();
    }
    ReleaseStopSignals();
    if (*result == DR_OK) {
        std::printf("%s\n", DownloadResultText(DR_OK));
        std::printf("%llu records in %s\n", static_cast<unsigned long long>(outcome.nRecords),
                    outcome.strFile.c_str());
        return kExitOk;
    }
    PrintError(DownloadResultMessage(*result, outcome));
    return kExitFailure;
}

}  // namespace

CliCommand MakeDownloadCommand() {
    auto opt = std::make_shared<DownloadOptions>();
    return {
        "download", "Download the logger's track memory into a raw log (.dlg) file",
        [opt](CLI::App& app) {
            app.add_option("--port", opt->strPort, "Serial port (ttyUSB0 or a path)")->required();
            app.add_option("--baud", opt->nBaud, "Speed in bit/s (default 115200)");
            app.add_option("-o,--output", opt->strOutput, "Raw log file to write")->required();
            app.add_flag("--force", opt->bForce,
                         "Replace an existing file (only once the download is complete)");
            app.add_option("--timeout", opt->dTimeoutSeconds,
                           "Seconds without progress after which the download gives up "
                           "(default 10)")
                ->check(CLI::PositiveNumber);
            app.add_flag("-v,--verbose", opt->bVerbose, "Show the lines the logger sends");
        },
        [opt] { return RunDownload(*opt); }};
}
