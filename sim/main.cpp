#include <unistd.h>
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "QuorvelVersion.h"
#include "TrackGenerator.h"
#include "platform/File.h"
#include "sim/SimRunner.h"

namespace {

volatile std::sig_atomic_t g_bStopRequested = 0;

void OnStopSignal(int) {
    g_bStopRequested = 1;
}

bool LoadMemory(const std::string& strPath, std::vector<uint8_t>& memory) {
    std::ifstream in(strPath, std::ios::binary);
    if (!in) return false;
    memory.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

struct SimOptions {
    std::string strFile;
    uint32_t nRecords = 600;
    uint32_t nSeed = 1;
    uint32_t nBaud = 115200;
    bool bNoPace = false;
    std::string strLink;
    std::string strC0 = "0", strO2 = "5", strOH = "0";
    SimFaults faults;
};

void AddOptions(CLI::App& app, SimOptions& opt) {
    SimFaults& faults = opt.faults;
    app.add_option("--file", opt.strFile, "Track memory from a raw log (.dlg) file");
    app.add_option("--records", opt.nRecords,
                   "Generate a track of this many records (default 600)");
    app.add_option("--seed", opt.nSeed, "Seed of the generated track");
    app.add_option("--baud", opt.nBaud, "Speed at which output is paced, bit/s (default 115200)");
    app.add_flag("--no-pace", opt.bNoPace, "Send as fast as the pseudo-terminal takes it");
    app.add_option("--link", opt.strLink, "Also make this path a symbolic link to the port");
    app.add_option("--c0", opt.strC0, "Setting C0 (GPS always on)");
    app.add_option("--interval", opt.strO2, "Setting O2 (logging interval)");
    app.add_option("--distance", opt.strOH, "Setting OH (logging distance)");
    app.add_option("--corrupt-block", faults.nCorruptBlock,
                   "Break the checksum of block N (from 0)");
    app.add_option("--drop-block", faults.nDropBlock, "Leave out block N");
    app.add_option("--repeat-seq", faults.nRepeatSequence, "Block N repeats the previous number");
    app.add_option("--skip-seq", faults.nSkipSequence, "Sequence numbers skip one at block N");
    app.add_flag("--garbage", faults.bGarbage, "Stray bytes between blocks");
    app.add_option("--split", faults.nSplitSize, "Write output in pieces of this many bytes");
    app.add_option("--stall-at", faults.nStallBlock, "Pause before block N...");
    app.add_option("--stall-ms", faults.nStallMs, "...for this many milliseconds");
    app.add_option("--hangup-at", faults.nHangUpBlock, "Hang up before block N");
    app.add_flag("--zero-records", faults.bZeroRecords, "Announce no records");
    app.add_option("--announce", faults.nAnnounce, "Announce N records, yet send them all");
    app.add_flag("--count-no-eol", faults.bCountWithoutLineEnd, "Count line without its CR LF");
    app.add_option("--resend-block", faults.nResendBlock, "Send block N twice, the same bytes");
    app.add_flag("--false-start", faults.bFalseStartBeforeLast,
                 "An unfinished block start just before the last block");
    app.add_flag("--ignore-download", faults.bIgnoreDownload, "Never answer a download request");
    app.add_option("--chatter-ms", faults.nChatterMs,
                   "After the download, a text line every this many milliseconds");
    app.add_flag("--fault-once", faults.bFirstDownloadOnly,
                 "The download faults spoil the first download only");
}

// The track memory: a raw log's bytes, or a generated track.
bool MakeMemory(const SimOptions& opt, std::vector<uint8_t>& memory) {
    if (!opt.strFile.empty()) {
        if (LoadMemory(opt.strFile, memory)) return true;
        std::fprintf(stderr, "quorvel-sim: cannot read %s\n", opt.strFile.c_str());
        return false;
    }
    TrackGeneratorOptions options;
    options.nRecords = opt.nRecords;
    options.nSeed = opt.nSeed;
    memory = GenerateTrack(options);
    return true;
}

bool LinkPort(const std::string& strLink, const std::string& strPort) {
    if (strLink.empty()) return true;
    std::error_code error;
    std::filesystem::remove(strLink, error);
    std::filesystem::create_symlink(strPort, strLink, error);
    if (!error) return true;
    std::fprintf(stderr, "quorvel-sim: cannot link %s: %s\n", strLink.c_str(),
                 error.message().c_str());
    return false;
}

// Serves until SIGINT or SIGTERM, or until a hang-up fault ends the line.
int Serve(SimLogger& logger, SimRunner& runner, const SimOptions& opt) {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);

    std::printf("%s\n", runner.PortPath().c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "quorvel-sim: logger with %zu records on %s (%s), Ctrl-C to stop\n",
                 logger.Memory().size() / SimLogger::kRecordSize, runner.PortPath().c_str(),
                 opt.bNoPace ? "unpaced" : (std::to_string(opt.nBaud) + " bit/s").c_str());
    if (!runner.Start()) {
        std::fprintf(stderr, "quorvel-sim: cannot start\n");
        return 1;
    }
    while (g_bStopRequested == 0 && !runner.HungUp()) ::usleep(50000);
    runner.Stop();
    if (runner.HungUp()) std::fprintf(stderr, "quorvel-sim: hung up as asked\n");
    runner.WithLogger([](const SimLogger& served) {
        std::fprintf(stderr, "quorvel-sim: downloads: %d, erasures: %d\n", served.Downloads(),
                     served.Erasures());
    });
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    OpenClosedStandardStreams();
    CLI::App app{"quorvel-sim: a simulated GPS track logger on a pseudo-terminal"};
    app.name("quorvel-sim");
    app.set_version_flag("--version", std::string("quorvel-sim ") + kQuorvelVersion);
    SimOptions opt;
    AddOptions(app, opt);
    CLI11_PARSE(app, argc, argv);

    std::vector<uint8_t> memory;
    if (!MakeMemory(opt, memory)) return 1;
    SimLogger logger(std::move(memory), opt.faults);
    logger.SetSettings(opt.strC0, opt.strO2, opt.strOH);
    SimRunner runner(logger, opt.nBaud, !opt.bNoPace);
    std::string strError;
    if (!runner.Open(strError)) {
        std::fprintf(stderr, "quorvel-sim: %s\n", strError.c_str());
        return 1;
    }
    if (!LinkPort(opt.strLink, runner.PortPath())) return 1;
    const int nExit = Serve(logger, runner, opt);
    if (!opt.strLink.empty()) {
        std::error_code error;
        std::filesystem::remove(opt.strLink, error);
    }
    return nExit;
}
