#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "LinkSession.h"
#include "protocol/CommandSentence.h"
#include "protocol/DownloadResult.h"

namespace {

struct DownloadOptions {
    std::string strPort;
    uint32_t nBaud = LinkSession::kDefaultBaud;
    std::string strOutput;
    double dTimeoutSeconds = 10.0;
    bool bVerbose = false;
};

volatile std::sig_atomic_t g_bInterrupted = 0;

void OnInterrupt(int) {
    g_bInterrupted = 1;
}

// Ctrl+C ends the download cleanly; the previous handler is put back afterwards.
#ifdef _WIN32
using InterruptHandler = void (*)(int);
InterruptHandler CatchInterrupt() {
    return std::signal(SIGINT, OnInterrupt);
}
void RestoreInterrupt(InterruptHandler previous) {
    std::signal(SIGINT, previous);
}
#else
using InterruptHandler = struct sigaction;
InterruptHandler CatchInterrupt() {
    struct sigaction action {};
    struct sigaction previous {};
    action.sa_handler = OnInterrupt;
    sigaction(SIGINT, &action, &previous);
    return previous;
}
void RestoreInterrupt(const InterruptHandler& previous) {
    sigaction(SIGINT, &previous, nullptr);
}
#endif

// Progress on standard error: a bar redrawn in place on a terminal, else a line every tenth.
class ProgressReport {
  public:
    ProgressReport() : m_bTerminal(::isatty(STDERR_FILENO) != 0) {}

    void Update(uint32_t nReceived, uint32_t nAnnounced) {
        if (nAnnounced == 0) return;
        const uint32_t nPercent =
            static_cast<uint32_t>(std::min<uint64_t>(100, uint64_t{nReceived} * 100 / nAnnounced));
        if (m_bTerminal) {
            constexpr uint32_t kWidth = 30;
            char bar[kWidth + 1];
            const uint32_t nFilled = nPercent * kWidth / 100;
            for (uint32_t i = 0; i < kWidth; ++i) bar[i] = i < nFilled ? '#' : '.';
            bar[kWidth] = 0;
            std::fprintf(stderr, "\r[%s] %3u%%  %u / %u", bar, nPercent, nReceived, nAnnounced);
            m_bOpenLine = true;
        } else if (nReceived == 0 || nPercent / 10 > m_nLastTenth) {
            m_nLastTenth = nPercent / 10;
            std::fprintf(stderr, "%u / %u\n", nReceived, nAnnounced);
        }
        std::fflush(stderr);
    }
    void EndLine() {
        if (m_bOpenLine) std::fputc('\n', stderr);
        m_bOpenLine = false;
    }

  private:
    bool m_bTerminal;
    bool m_bOpenLine = false;
    uint32_t m_nLastTenth = 0;
};

int RunDownload(const DownloadOptions& opt) {
    const auto nTimeoutMs = static_cast<uint32_t>(opt.dTimeoutSeconds * 1000.0);
    LinkSession session;
    if (!session.Open(opt.strPort, opt.nBaud, nTimeoutMs)) return kExitFailure;

    g_bInterrupted = 0;
    const InterruptHandler previous = CatchInterrupt();

    session.Worker().BeginDownload(opt.strOutput);
    if (!session.Send(DownloadSentenceBody())) {
        RestoreInterrupt(previous);
        return kExitFailure;
    }
    ProgressReport progress;
    std::optional<uint32_t> result;
    uint32_t nReceived = 0;
    bool bStarted = false;
    auto lastEvent = std::chrono::steady_clock::now();
    while (!result && g_bInterrupted == 0) {
        std::optional<WorkerEvent> event = session.Events().Pop(std::chrono::milliseconds(100));
        if (!event) {
            // Before the count line no byte is watched by the engine: a logger that never
            // answers is caught here.
            if (!bStarted && std::chrono::steady_clock::now() - lastEvent >
                                 std::chrono::milliseconds(nTimeoutMs)) {
                break;
            }
            continue;
        }
        lastEvent = std::chrono::steady_clock::now();
        switch (event->kind) {
            case WorkerEvent::Kind::LogEntry:
                if (opt.bVerbose) {
                    progress.EndLine();
                    std::fprintf(stderr, "logger: %s\n",
                                 LoggerLineForTerminal(event->strText).c_str());
                }
                break;
            case WorkerEvent::Kind::Progress:
                bStarted = true;
                nReceived = event->nSecond;
                progress.Update(event->nSecond, event->nFirst);
                break;
            case WorkerEvent::Kind::Done:
                result = event->nFirst;
                break;
            default:
                break;
        }
    }
    if (!result) {
        // Cancelled, or no answer: leave download mode; stopping the worker closes the file.
        session.m_bDownloadMode = 0;
        session.Close();
        progress.EndLine();
        RestoreInterrupt(previous);
        if (g_bInterrupted != 0) {
            PrintError(DownloadResultText(DR_ABORTED));
            return 130;
        }
        PrintError("No answer from the logger. " + std::string(DownloadResultText(DR_ABORTED)));
        return kExitFailure;
    }
    session.Close();
    RestoreInterrupt(previous);
    const char* pText = DownloadResultText(*result);
    if (*result == DR_OK) {
        std::error_code error;
        const uintmax_t nBytes = std::filesystem::file_size(opt.strOutput, error);
        const auto nRecords = static_cast<uint32_t>(error ? nReceived : nBytes / 20);
        progress.Update(nRecords, nRecords);
        progress.EndLine();
        std::printf("%s\n", pText);
        if (!error) std::printf("%ju records in %s\n", nBytes / 20, opt.strOutput.c_str());
        return kExitOk;
    }
    progress.EndLine();
    PrintError(pText != nullptr ? pText : "Download failed.");
    if (*result == DR_DATA_LOST) {
        PrintError("The records received so far are in " + opt.strOutput + ".");
    }
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
            app.add_option("--timeout", opt->dTimeoutSeconds,
                           "Seconds of silence after which the download gives up (default 10)")
                ->check(CLI::PositiveNumber);
            app.add_flag("-v,--verbose", opt->bVerbose, "Show the lines the logger sends");
        },
        [opt] { return RunDownload(*opt); }};
}
