#include <cstdio>
#include <memory>

#include "CliCommand.h"
#include "serial/PortDiagnosis.h"
#include "serial/PortEnumeration.h"

namespace {

struct DoctorOptions {
    std::string strPort;
    double dWatchSeconds = 5.0;
    SystemRoots roots;
};

void PrintProblems(const std::vector<PortProblem>& problems, const char* pIndent) {
    for (const PortProblem& p : problems) {
        std::printf("%sproblem: %s\n%s    fix: %s\n", pIndent, p.strWhat.c_str(), pIndent,
                    p.strFix.c_str());
    }
}

void PrintCheck(const PortCheck& check) {
    const PortFacts& f = check.facts;
    std::printf("%s\n", f.strNode.c_str());
    if (!f.strStableName.empty()) std::printf("  stable name: %s\n", f.strStableName.c_str());
    if (!f.strDriver.empty()) std::printf("  driver: %s\n", f.strDriver.c_str());
    if (!f.strVendorId.empty()) {
        std::printf("  USB: %s:%s", f.strVendorId.c_str(), f.strProductId.c_str());
        for (const std::string& part : {f.strManufacturer, f.strProduct}) {
            if (!part.empty()) std::printf(" %s", part.c_str());
        }
        std::printf("\n");
    }
    if (check.openStatus == SerialStatus::Ok) {
        std::printf("  opens: yes\n");
    } else if (!check.bOpenTried && check.openStatus == SerialStatus::Busy) {
        std::printf("  opens: not tried, another program has it open\n");
    } else {
        std::printf("  opens: no (%s)\n", SerialStatusMessage(check.openStatus));
    }
    PrintProblems(check.problems, "  ");
}

int RunDoctor(const DoctorOptions& opt) {
    const PortDoctor doctor(opt.roots);
    std::vector<PortCheck> checks;
    std::vector<PortProblem> watched;
    if (!opt.strPort.empty()) {
        checks.push_back(doctor.Check(opt.strPort));
        // Only Linux can watch a device come and go here.
#ifndef _WIN32
        const auto nWatch =
            std::chrono::milliseconds(static_cast<int64_t>(opt.dWatchSeconds * 1000));
        if (!checks.front().facts.bPresent && nWatch.count() > 0) {
            std::fprintf(stderr,
                         "%s is not there. Plug the logger in (again) now: watching for %g s...\n",
                         checks.front().facts.strNode.c_str(), opt.dWatchSeconds);
            watched = doctor.WatchForPort(opt.strPort, nWatch);
            checks.front() = doctor.Check(opt.strPort);
        }
#endif
    } else {
        checks = doctor.CheckAll();
    }
    bool bOpens = false;
    bool bUsbPort = false;
    size_t nProblems = watched.size();
    for (const PortCheck& check : checks) {
        PrintCheck(check);
        bOpens = bOpens || check.openStatus == SerialStatus::Ok;
        bUsbPort = bUsbPort || !check.facts.strVendorId.empty();
        nProblems += check.problems.size();
    }
    PrintProblems(watched, "");
    // "Nothing plugged in" only when the named port is missing and no USB serial port is there.
    if (!opt.strPort.empty() && checks.front().facts.bPresent) bUsbPort = true;
    if (!bUsbPort && !opt.strPort.empty()) {
        for (const SerialPortInfo& port : EnumerateSerialPorts()) {
            bUsbPort = bUsbPort || !doctor.Facts(port.strName).strVendorId.empty();
        }
    }
    // A named path that is no port at all: that is the whole diagnosis.
    const bool bNotAPort =
        !opt.strPort.empty() && checks.front().openStatus == SerialStatus::NotAPort;
    const std::vector<PortProblem> problems =
        bNotAPort ? std::vector<PortProblem>() : doctor.SystemProblems(bUsbPort);
    PrintProblems(problems, "");
    nProblems += problems.size();
    if (checks.empty() && nProblems == 0) {
        std::printf("No serial port found.\n");
    } else if (nProblems == 0) {
        std::printf(bOpens ? "No problem found.\n" : "No cause found beyond the error above.\n");
    }
    return bOpens ? kExitOk : kExitFailure;
}

}  // namespace

CliCommand MakeDoctorCommand() {
    auto opt = std::make_shared<DoctorOptions>();
    return {"doctor", "Tell why a serial port will not open, and what fixes it",
            [opt](CLI::App& app) {
                app.add_option("--port", opt->strPort,
                               "The port to check (ttyUSB0 or a path); all if none");
                app.add_option("--watch", opt->dWatchSeconds,
                               "Seconds to watch for a missing port to come and go (default 5)");
                // Where the system is read from: tests point these at fixtures (the last one
                // counts).
                const std::pair<const char*, std::string*> roots[] = {
                    {"--proc-root", &opt->roots.strProc},
                    {"--sys-root", &opt->roots.strSys},
                    {"--dev-root", &opt->roots.strDev},
                    {"--group-file", &opt->roots.strGroupFile},
                    {"--udev-run", &opt->roots.strUdevRun}};
                for (const auto& [pName, pValue] : roots) {
                    app.add_option(pName, *pValue)
                        ->group("")
                        ->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
                }
                app.add_option("--rules-dir", opt->roots.ruleDirs)->group("");
            },
            [opt] { return RunDoctor(*opt); }};
}
