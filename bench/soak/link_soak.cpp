// Opens the simulated logger's port, downloads, cancels a download half-way, reads and writes the
// settings, and closes the port again, many times in one process. Resident memory and open
// descriptors after the last cycle must be what they were after the first.
// Usage: link_soak [cycles] [records]; exits 1 on growth or on a cycle that went wrong.

#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "TrackGenerator.h"
#include "protocol/CommandSentence.h"
#include "protocol/ReceiveWorker.h"
#include "serial/SerialPort.h"
#include "sim/SimRunner.h"

namespace {

class SoakEvents final : public WorkerEvents {
  public:
    void LineReceived(std::string_view) override {
        Note([this] { ++m_nLines; });
    }
    void IntervalReceived(std::string_view value) override {
        Note([&] { m_strInterval = std::string(value); });
    }
    void DistanceReceived(std::string_view value) override {
        Note([&] { m_strDistance = std::string(value); });
    }
    void SettingsReceived() override {
        Note([this] { m_bEnabled = true; });
    }
    void DownloadProgress(uint32_t, uint32_t) override {
        Note([this] { ++m_nProgress; });
    }
    void PortGone() override {}
    void DownloadEnded(DownloadResult result) override {
        Note([&] { m_results.push_back(static_cast<int>(result)); });
    }

    bool WaitUntil(const std::function<bool()>& pred) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), pred);
    }
    void Reset() {
        std::lock_guard lock(m_mutex);
        m_nLines = 0;
        m_nProgress = 0;
        m_strInterval.clear();
        m_strDistance.clear();
        m_bEnabled = false;
        m_results.clear();
    }

    size_t m_nLines = 0;
    size_t m_nProgress = 0;
    std::string m_strInterval;
    std::string m_strDistance;
    bool m_bEnabled = false;
    std::vector<int> m_results;

  private:
    void Note(const std::function<void()>& change) {
        std::lock_guard lock(m_mutex);
        change();
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

size_t ResidentKiB() {
    std::ifstream statm("/proc/self/statm");
    size_t nPages = 0, nResident = 0;
    statm >> nPages >> nResident;
    return nResident * static_cast<size_t>(::sysconf(_SC_PAGESIZE)) / 1024;
}

size_t OpenDescriptors() {
    size_t n = 0;
    DIR* pDir = ::opendir("/proc/self/fd");
    if (pDir == nullptr) return 0;
    while (const dirent* pEntry = ::readdir(pDir)) n += pEntry->d_name[0] != '.';
    ::closedir(pDir);
    return n - 1;  // the listing's own descriptor
}

std::string ReadBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The worker on its own thread, stopped with the handshake the window uses.
class WorkerThread {
  public:
    ~WorkerThread() { static_cast<void>(Stop()); }
    [[nodiscard]] bool Start(ReceiveWorker& worker, PortRead read) {
        m_pWorker = &worker;
        m_thread = std::thread([&worker, read = std::move(read)] { worker.Run(read); });
        return true;
    }
    bool Stop() {
        if (!m_thread.joinable()) return true;
        std::atomic<int32_t>& stop = m_pWorker->Flags().m_bStopWorker;
        stop.store(1);
        for (int i = 0; i < 200 && stop.load() != 0; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        const bool bAnswered = stop.load() == 0;
        m_thread.join();
        return bAnswered;
    }

  private:
    ReceiveWorker* m_pWorker = nullptr;
    std::thread m_thread;
};

bool Send(SerialPort& port, std::u16string_view body) {
    std::string bytes;
    return FrameSentence(body, bytes) == SentenceStatus::Ok &&
           port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 500) ==
               SerialStatus::Ok;
}

// One open-use-close of the port. Returns an empty text, or what went wrong.
std::string Cycle(const std::vector<uint8_t>& memory, const std::filesystem::path& rawPath,
                  int nCycle) {
    LinkFlags flags;
    std::atomic<int32_t>& bDownloadMode = flags.m_bDownloadMode;
    SimLogger logger(memory);
    SimRunner runner(logger, 230400, false);
    SerialPort port;
    SoakEvents events;
    ReceiveWorker worker(flags.Refs(), events, 2000);
    WorkerThread thread;
    std::atomic<size_t> nBytesSeen{0};
    std::atomic<size_t> nCancelAfter{SIZE_MAX};

    std::string strError;
    if (!runner.Open(strError)) return "simulator: " + strError;
    if (!runner.Start()) return "simulator did not start";
    if (port.Open(runner.PortPath(), 230400) != SerialStatus::Ok) return "port did not open";
    const bool bStarted = thread.Start(worker, [&](uint8_t* p, size_t n, uint32_t nTimeoutMs) {
        size_t nRead = 0;
        const SerialStatus status = port.Read(p, n, nTimeoutMs, nRead);
        // The cancel, as the window's thread would do it between two reads.
        if (nBytesSeen.fetch_add(nRead) + nRead > nCancelAfter.load()) {
            bDownloadMode.store(0);
            nCancelAfter.store(SIZE_MAX);
        }
        return PortReadResult{status == SerialStatus::Ok       ? PortReadResult::Outcome::Ok
                              : status == SerialStatus::HungUp ? PortReadResult::Outcome::DeviceGone
                                                               : PortReadResult::Outcome::Failed,
                              nRead};
    });
    if (!bStarted) return "worker did not start";

    // A whole download.
    worker.BeginDownload(rawPath.string());
    if (!Send(port, DownloadSentenceBody())) return "download sentence not sent";
    if (!events.WaitUntil([&] { return !events.m_results.empty(); })) return "no download result";
    if (events.m_results.front() != DR_OK)
        return "download result " + std::to_string(events.m_results.front());
    if (ReadBytes(rawPath) != std::string(memory.begin(), memory.end())) return "raw file differs";

    // A download cancelled half-way; the rest of the stream then passes in line mode.
    events.Reset();
    nBytesSeen.store(0);
    nCancelAfter.store(memory.size() / 2 + static_cast<size_t>(nCycle % 97));
    worker.BeginDownload(rawPath.string());
    if (!Send(port, DownloadSentenceBody())) return "download sentence not sent";
    if (!events.WaitUntil([&] { return !events.m_results.empty(); })) return "no cancel result";
    if (events.m_results.front() != DR_ABORTED)
        return "cancel result " + std::to_string(events.m_results.front());
    const std::string partial = ReadBytes(rawPath);
    if (partial.size() % 20 != 0 || partial.size() >= memory.size() ||
        std::string(memory.begin(), memory.begin() + static_cast<ptrdiff_t>(partial.size())) !=
            partial) {
        return "cancelled file is not a whole-record prefix";
    }

    // Settings: read, write, read back.
    events.Reset();
    flags.m_bIntervalReceived.store(0);
    flags.m_bDistanceReceived.store(0);
    const std::u16string interval = u"1" + Utf8ToUtf16(std::to_string(nCycle % 50));
    if (!Send(port, ConfigWriteSentenceBody(nCycle % 2 == 0, interval, u"25")))
        return "write not sent";
    if (!events.WaitUntil(
            [&] { return runner.WithLogger([](SimLogger& l) { return l.Distance(); }) == "25"; })) {
        return "settings not written";
    }
    if (!Send(port, ConfigQuerySentenceBody())) return "query not sent";
    if (!events.WaitUntil([&] { return events.m_bEnabled; })) return "no settings reply";
    if (events.m_strInterval != Utf16ToUtf8(interval))
        return "interval reads back as " + events.m_strInterval;

    if (!thread.Stop()) return "worker did not stop in time";
    port.Close();
    runner.Stop();
    return {};
}

}  // namespace

int main(int argc, char** argv) {
    const int nCycles = argc > 1 ? std::atoi(argv[1]) : 200;
    const uint32_t nRecords = argc > 2 ? static_cast<uint32_t>(std::atoi(argv[2])) : 600;
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    options.nSeed = 11;
    const std::vector<uint8_t> memory = GenerateTrack(options);
    const std::filesystem::path rawPath = std::filesystem::temp_directory_path() /
                                          ("quorvel_soak_" + std::to_string(::getpid()) + ".dlg");

    size_t nFirstKiB = 0, nFirstFds = 0;
    const auto tStart = std::chrono::steady_clock::now();
    for (int i = 0; i < nCycles; ++i) {
        const std::string strError = Cycle(memory, rawPath, i);
        if (!strError.empty()) {
            std::fprintf(stderr, "cycle %d: %s\n", i + 1, strError.c_str());
            std::filesystem::remove(rawPath);
            return 1;
        }
        if (i == 0) {
            nFirstKiB = ResidentKiB();
            nFirstFds = OpenDescriptors();
        }
    }
    std::filesystem::remove(rawPath);
    const size_t nLastKiB = ResidentKiB();
    const size_t nLastFds = OpenDescriptors();
    const double dSeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - tStart).count();
    std::printf("%d cycles of download, cancel and settings (%u records) in %.1f s\n", nCycles,
                nRecords, dSeconds);
    std::printf("resident memory after cycle 1: %zu KiB, after cycle %d: %zu KiB\n", nFirstKiB,
                nCycles, nLastKiB);
    std::printf("open descriptors after cycle 1: %zu, after cycle %d: %zu\n", nFirstFds, nCycles,
                nLastFds);
    // The allocator may keep a few pages more or fewer; a leak per cycle shows far above this.
    constexpr size_t kSlackKiB = 256;
    const bool bGrew = nLastFds > nFirstFds || nLastKiB > nFirstKiB + kSlackKiB;
    std::printf("%s\n", bGrew ? "GROWTH" : "no growth");
    return bGrew ? 1 : 0;
}
