#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "CliLink.h"

namespace {

struct EraseOptions {
    std::string strPort;
    uint32_t nBaud = CliLink::kDefaultBaud;
    bool bYes = false;
};

bool Confirmed() {
    std::fprintf(stderr, "%s [y/N] ", kDeleteQuestion);
    std::fflush(stderr);
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "YES";
}

int RunErase(const EraseOptions& opt) {
    const bool bTerminal = ::isatty(STDIN_FILENO) != 0;
    if (!opt.bYes && !bTerminal) {
        PrintError(std::string(kDeleteQuestion) +
                   " Refusing to erase without --yes when input is not a terminal.");
        return kExitUsage;
    }
    CliLink link;
    if (!link.Open(opt.strPort, opt.nBaud)) return kExitFailure;
    if (!opt.bYes && !Confirmed()) {
        std::printf("Nothing deleted.\n");
        return kExitFailure;
    }
    if (!link.Send(EraseSentenceBody())) return kExitFailure;
    std::printf("Erase command sent.\n");
    return PrintLoggerReplies(link, std::chrono::milliseconds(1500)) ? kExitOk : kExitFailure;
}

}  // namespace

CliCommand MakeEraseCommand() {
    auto opt = std::make_shared<EraseOptions>();
    return {
        "erase", "Erase the logger's track memory",
        [opt](CLI::App& app) {
            app.add_option("--port", opt->strPort, "Serial port (ttyUSB0 or a path)")->required();
            app.add_option("--baud", opt->nBaud, "Speed in bit/s (default 115200)");
            app.add_flag("-y,--yes", opt->bYes, "Do not ask before erasing");
        },
        [opt] { return RunErase(*opt); }};
}
