#include <chrono>
#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "LinkSession.h"
#include "protocol/CommandSentence.h"
#include "protocol/DownloadResult.h"

namespace {

struct ConfigOptions {
    CLI::App* pGet = nullptr;
    CLI::App* pSet = nullptr;
    std::string strPort;
    uint32_t nBaud = LinkSession::kDefaultBaud;
    double dTimeoutSeconds = 3.0;
    std::string strInterval;
    std::string strDistance;
    bool bGpsAlwaysOn = false;
};

int RunConfigGet(const ConfigOptions& opt) {
    LinkSession session;
    if (!session.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    session.m_bIntervalReceived = 0;
    session.m_bDistanceReceived = 0;
    if (!session.Send(ConfigQuerySentenceBody())) return kExitFailure;
    std::optional<std::string> interval;
    std::optional<std::string> distance;
    bool bComplete = false;
    const auto deadline =
        std::chrono::steady_clock::now() +
        std::chrono::milliseconds(static_cast<int64_t>(opt.dTimeoutSeconds * 1000));
    while (!bComplete && std::chrono::steady_clock::now() < deadline) {
        std::optional<WorkerEvent> event = session.Events().Pop(std::chrono::milliseconds(50));
        if (!event) continue;
        if (event->kind == WorkerEvent::Kind::Interval) interval = event->strText;
        if (event->kind == WorkerEvent::Kind::Distance) distance = event->strText;
        if (event->kind == WorkerEvent::Kind::SettingsEnabled) bComplete = true;
    }
    session.Close();
    if (interval) std::printf("interval: %s\n", AnsiToUtf8(*interval).c_str());
    if (distance) std::printf("distance: %s\n", AnsiToUtf8(*distance).c_str());
    if (bComplete) return kExitOk;
    if (!interval && !distance) {
        PrintError("No settings reply from the logger.");
    } else {
        PrintError(std::string("The logger's reply lacks the ") +
                   (interval ? "distance." : "interval."));
    }
    return kExitFailure;
}

int RunConfigSet(const ConfigOptions& opt) {
    const std::u16string body = ConfigWriteSentenceBody(
        opt.bGpsAlwaysOn, Utf8ToUtf16(opt.strInterval), Utf8ToUtf16(opt.strDistance));
    // Refuse an over-long sentence before touching the port.
    std::string strBytes;
    const SentenceStatus framed = FrameSentence(body, strBytes);
    if (framed != SentenceStatus::Ok) {
        PrintError(SentenceStatusMessage(framed));
        return kExitUsage;
    }
    LinkSession session;
    if (!session.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    if (!session.Send(body)) return kExitFailure;
    std::printf("%s\n", kSetConfigOkMessage);
    PrintLoggerReplies(session, std::chrono::milliseconds(1000));
    return kExitOk;
}

}  // namespace

CliCommand MakeConfigCommand() {
    auto opt = std::make_shared<ConfigOptions>();
    return {"config", "Read or change the logger's logging interval and distance",
            [opt](CLI::App& app) {
                app.require_subcommand(1);
                opt->pGet = app.add_subcommand("get",
                                               "Print the interval and distance as the "
                                               "logger sends them");
                opt->pSet = app.add_subcommand("set", "Write the interval and distance");
                for (CLI::App* sub : {opt->pGet, opt->pSet}) {
                    sub->add_option("--port", opt->strPort, "Serial port (ttyUSB0 or a path)")
                        ->required();
                    sub->add_option("--baud", opt->nBaud, "Speed in bit/s (default 115200)");
                }
                opt->pGet
                    ->add_option("--timeout", opt->dTimeoutSeconds,
                                 "Seconds to wait for the reply (default 3)")
                    ->check(CLI::PositiveNumber);
                opt->pSet
                    ->add_option("--interval", opt->strInterval,
                                 "Logging interval, 0~65535 s, 0 = disable (sent as typed)")
                    ->required();
                opt->pSet
                    ->add_option("--distance", opt->strDistance,
                                 "Logging distance, 0~4G m, 0 = disable (sent as typed)")
                    ->required();
                opt->pSet->add_flag("--gps-always-on", opt->bGpsAlwaysOn,
                                    "Send C0=1 (GPS always on) instead of C0=0");
            },
            [opt] {
                if (opt->pGet->parsed()) return RunConfigGet(*opt);
                return RunConfigSet(*opt);
            }};
}
