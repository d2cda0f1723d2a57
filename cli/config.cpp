#include <chrono>
#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "CliLink.h"
#include "platform/Clock.h"

namespace {

struct ConfigOptions {
    CLI::App* pGet = nullptr;
    CLI::App* pSet = nullptr;
    std::string strPort;
    uint32_t nBaud = CliLink::kDefaultBaud;
    double dTimeoutSeconds = 3.0;
    uint32_t nInterval = 0;
    uint32_t nDistance = 0;
    bool bGpsAlwaysOn = false;
};

int RunConfigGet(const ConfigOptions& opt) {
    CliLink link;
    if (!link.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    link.session.Flags().m_bIntervalReceived = 0;
    link.session.Flags().m_bDistanceReceived = 0;
    if (!link.Send(ConfigQuerySentenceBody())) return kExitFailure;
    std::optional<std::string> interval;
    std::optional<std::string> distance;
    bool bComplete = false;
    bool bGone = false;
    const Deadline deadline(static_cast<uint32_t>(opt.dTimeoutSeconds * 1000));
    while (!bComplete && !bGone && !deadline.Passed()) {
        std::optional<WorkerEvent> event = link.events.Pop(std::chrono::milliseconds(50));
        if (!event) continue;
        if (event->kind == WorkerEvent::Kind::Interval) interval = event->strText;
        if (event->kind == WorkerEvent::Kind::Distance) distance = event->strText;
        if (event->kind == WorkerEvent::Kind::SettingsEnabled) bComplete = true;
        if (event->kind == WorkerEvent::Kind::PortLost) bGone = true;
    }
    link.Close();
    if (interval) std::printf("interval: %s\n", AnsiToUtf8(*interval).c_str());
    if (distance) std::printf("distance: %s\n", AnsiToUtf8(*distance).c_str());
    if (bComplete) return kExitOk;
    if (bGone) {
        PrintError(PortLostMessage(opt.strPort));
    } else if (!interval && !distance) {
        PrintError("No settings reply from the logger.");
    } else {
        PrintError(std::string("The logger's reply lacks the ") +
                   (interval ? "distance." : "interval."));
    }
    return kExitFailure;
}

int RunConfigSet(const ConfigOptions& opt) {
    const std::u16string body =
        ConfigWriteSentenceBody(opt.bGpsAlwaysOn, Utf8ToUtf16(std::to_string(opt.nInterval)),
                                Utf8ToUtf16(std::to_string(opt.nDistance)));
    CliLink link;
    if (!link.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    if (!link.Send(body)) return kExitFailure;
    std::printf("%s\n", kSetConfigOkMessage);
    return PrintLoggerReplies(link, std::chrono::milliseconds(1000)) ? kExitOk : kExitFailure;
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
                    ->add_option("--interval", opt->nInterval,
                                 "Logging interval in seconds, 0-65535, 0 = disable")
                    ->required()
                    ->check(CLI::Range(0u, 65535u));
                opt->pSet
                    ->add_option("--distance", opt->nDistance,
                                 "Logging distance in metres, 0-4294967295, 0 = disable")
                    ->required()
                    ->check(CLI::Range(0u, 4294967295u));
                opt->pSet->add_flag("--gps-always-on", opt->bGpsAlwaysOn,
                                    "Send C0=1 (GPS always on) instead of C0=0");
            },
            [opt] {
                if (opt->pGet->parsed()) return RunConfigGet(*opt);
                return RunConfigSet(*opt);
            }};
}
