// Download speed and CPU cost of the receiving side, against the line's own limit: quorvel-cli
// downloads 20,000 records from a paced quorvel-sim; and the CPU an open, idle port costs.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "TrackGenerator.h"
#include "link/LinkSession.h"
#include "protocol/CommandSentence.h"
#include "serial/SerialPort.h"
#include "sim/SimLogger.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::string WaitForPort(const fs::path& simOut) {
    for (int i = 0; i < 300; ++i) {
        const std::string out = ReadFile(simOut);
        if (out.find('\n') != std::string::npos) return out.substr(0, out.find('\n'));
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return {};
}

double Seconds(const timeval& tv) {
    return static_cast<double>(tv.tv_sec) + static_cast<double>(tv.tv_usec) / 1e6;
}

// The bytes the logger puts on the line for one download of this memory.
size_t StreamBytes(const std::vector<uint8_t>& memory) {
    SimLogger logger(memory);
    std::string sentence;
    if (FrameSentence(DownloadSentenceBody(), sentence) != SentenceStatus::Ok) return 0;
    logger.Receive(sentence);
    size_t nBytes = 0;
    while (std::optional<SimChunk> chunk = logger.TakeOutput()) nBytes += chunk->strBytes.size();
    return nBytes;
}

bool RunDownload(const fs::path& dir, uint32_t nBaud, uint32_t nRecords, size_t nStreamBytes) {
    const fs::path simOut = dir / "sim.out";
    const pid_t sim = Spawn(
        {QUORVEL_SIM_PATH, "--records", std::to_string(nRecords), "--baud", std::to_string(nBaud)},
        simOut);
    const std::string port = WaitForPort(simOut);
    if (sim < 0 || port.empty()) {
        std::fprintf(stderr, "link_bench: the simulator did not start\n");
        return false;
    }
    const fs::path raw = dir / "bench.dlg";
    const Clock::time_point start = Clock::now();
    const pid_t cli = Spawn({QUORVEL_CLI_PATH, "download", "--port", port, "--baud",
                             std::to_string(nBaud), "-o", raw.string()},
                            dir / "cli.out");
    int status = 0;
    rusage usage{};
    const bool bWaited = cli > 0 && wait4(cli, &status, 0, &usage) == cli;
    const double dWall = std::chrono::duration<double>(Clock::now() - start).count();
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    const bool bOk = bWaited && WIFEXITED(status) && WEXITSTATUS(status) == 0 &&
                     fs::file_size(raw) == size_t{nRecords} * 20;
    const double dLimit = static_cast<double>(nStreamBytes) * 10.0 / nBaud;
    const double dCpu = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    const double dRate = dLimit / dWall * 100.0;
    const double dCpuShare = dCpu / dWall * 100.0;
    std::printf(
        "%6u bit/s: %u records, %zu bytes on the line; line limit %.2f s, download %.2f s = "
        "%.1f%% of line rate (target >= 97%%: %s); receiver CPU %.3f s = %.2f%% of wall "
        "(target < 10%%: %s)%s\n",
        nBaud, nRecords, nStreamBytes, dLimit, dWall, dRate, dRate >= 97.0 ? "met" : "MISSED", dCpu,
        dCpuShare, dCpuShare < 10.0 ? "met" : "MISSED", bOk ? "" : "  [DOWNLOAD FAILED]");
    return bOk;
}

bool RunIdle(const fs::path& dir, double dSeconds) {
    const fs::path simOut = dir / "idle.out";
    const pid_t sim = Spawn({QUORVEL_SIM_PATH, "--records", "10"}, simOut);
    const std::string port = WaitForPort(simOut);
    if (sim < 0 || port.empty()) return false;
    struct NoEvents : WorkerEvents {
        void LineReceived(std::string_view) override {}
        void IntervalReceived(std::string_view) override {}
        void DistanceReceived(std::string_view) override {}
        void SettingsReceived() override {}
        void DownloadProgress(uint32_t, uint32_t) override {}
        void PortGone() override {}
        void DownloadEnded(DownloadResult) override {}
    } events;
    LinkSession session(events);
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    const Clock::time_point start = Clock::now();
    const bool bOk = session.Open(port, 115200) == SerialStatus::Ok;
    std::this_thread::sleep_for(std::chrono::duration<double>(dSeconds));
    getrusage(RUSAGE_SELF, &after);
    const double dWall = std::chrono::duration<double>(Clock::now() - start).count();
    session.Close();
    kill(sim, SIGTERM);
    waitpid(sim, nullptr, 0);
    const double dCpu = Seconds(after.ru_utime) - Seconds(before.ru_utime) +
                        Seconds(after.ru_stime) - Seconds(before.ru_stime);
    const double dShare = dCpu / dWall * 100.0;
    std::printf("idle open port: worker CPU %.3f s over %.1f s = %.2f%% (target < 1%%: %s)\n", dCpu,
                dWall, dShare, dShare < 1.0 ? "met" : "MISSED");
    return bOk;
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t nRecords = 20000;
    if (argc > 1) nRecords = static_cast<uint32_t>(std::strtoul(argv[1], nullptr, 10));
    const fs::path dir =
        fs::temp_directory_path() / ("quorvel_link_bench_" + std::to_string(getpid()));
    fs::create_directories(dir);
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    const size_t nStreamBytes = StreamBytes(GenerateTrack(options));
    bool bOk = true;
    for (uint32_t nBaud : {115200u, 230400u})
        bOk = RunDownload(dir, nBaud, nRecords, nStreamBytes) && bOk;
    bOk = RunIdle(dir, 5.0) && bOk;
    fs::remove_all(dir);
    return bOk ? 0 : 1;
}
