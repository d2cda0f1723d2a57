#include <cstdio>
#include <filesystem>
#include <memory>

#include "CliCommand.h"
#include "CliCommon.h"
#include "export/RawMerge.h"
#include "platform/Signals.h"

namespace {

struct MergeOptions {
    std::vector<std::string> inputs;
    std::string strOut;
    bool bForce = false;
};

std::filesystem::path PathOf(const std::string& strUtf8) {
    return std::filesystem::path(std::u8string(strUtf8.begin(), strUtf8.end()));
}

// Whether the output names one of the inputs: merging into the archive's own merged file is how
// it grows, so it needs no --force.
bool IsAnInput(const MergeOptions& opt) {
    for (const std::string& strInput : opt.inputs) {
        std::error_code error;
        if (std::filesystem::equivalent(PathOf(strInput), PathOf(opt.strOut), error)) return true;
    }
    return false;
}

int RunMerge(const MergeOptions& opt) {
    if (!opt.bForce && PathExists(opt.strOut) && !IsAnInput(opt)) {
        PrintError(opt.strOut +
                   " exists already and is none of the inputs; choose another name, name it as "
                   "an input too, or give --force to replace it.");
        return kExitUsage;
    }
    // Ctrl-C, SIGTERM and SIGHUP end the program at once; the output stays as it was.
    CatchStopSignals(true);
    const MergeResult result = MergeToFile(opt.inputs, opt.strOut);
    ReleaseStopSignals();
    const std::string strFailure = MergeFailureMessage(result, opt.inputs, opt.strOut);
    if (!strFailure.empty()) {
        PrintError(strFailure);
        return kExitFailure;
    }
    uint64_t nRead = 0;
    for (uint32_t n : result.inputCounts) nRead += n;
    std::printf("%u records written to %s from %llu in %zu files; %u exact copies left out",
                result.counts.nWritten, opt.strOut.c_str(), static_cast<unsigned long long>(nRead),
                opt.inputs.size(), result.counts.nDuplicates);
    if (result.counts.nSameTime > 0) {
        std::printf("; %u records share their time with a different record (all kept)",
                    result.counts.nSameTime);
    }
    std::printf(".\n");
    return kExitOk;
}

}  // namespace

CliCommand MakeMergeCommand() {
    auto opt = std::make_shared<MergeOptions>();
    return {"merge", "Merge raw logs (.dlg) into one in time order, each repeated record once",
            [opt](CLI::App& app) {
                app.add_option("FILES", opt->inputs, "Raw log files, in the order equal times keep")
                    ->required();
                app.add_option("-o,--output", opt->strOut, "Merged raw log file")->required();
                app.add_flag("--force", opt->bForce,
                             "Replace an existing output that is none of the inputs");
            },
            [opt] { return RunMerge(*opt); }};
}
