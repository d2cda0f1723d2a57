#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "TrackGenerator.h"
#include "protocol/CommandSentence.h"
#include "protocol/ReceiveWorker.h"
#include "serial/SerialPort.h"
#include "sim/SimRunner.h"
#include "tests/common/WorkerThread.h"

// What the worker reported, waited on from the test's thread.
class LinkEvents : public WorkerEvents {
  public:
    void AddLogEntry(std::string_view text) override { Push(lines, std::string(text)); }
    void SetIntervalText(std::string_view value) override { Set(strInterval, value); }
    void SetDistanceText(std::string_view value) override { Set(strDistance, value); }
    void EnableSettings() override {
        std::lock_guard lock(m_mutex);
        bEnabled = true;
        m_changed.notify_all();
    }
    void PostProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        std::lock_guard lock(m_mutex);
        progress.push_back(nReceived);
        nLastAnnounced = nAnnounced;
        m_changed.notify_all();
    }
    void PostPortLost() override {}
    void PostDone(DownloadResult result) override {
        std::lock_guard lock(m_mutex);
        results.push_back(static_cast<int>(result));
        m_changed.notify_all();
    }

    // Waits (at most 20 s) until pred holds; pred runs under the lock.
    bool WaitUntil(const std::function<bool()>& pred) {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(20), pred);
    }
    template <class T>
    T Read(const T& field) {
        std::lock_guard lock(m_mutex);
        return field;
    }

    std::vector<std::string> lines;
    std::string strInterval;
    std::string strDistance;
    bool bEnabled = false;
    std::vector<uint32_t> progress;
    uint32_t nLastAnnounced = 0;
    std::vector<int> results;

  private:
    void Push(std::vector<std::string>& list, std::string value) {
        std::lock_guard lock(m_mutex);
        list.push_back(std::move(value));
        m_changed.notify_all();
    }
    void Set(std::string& field, std::string_view value) {
        std::lock_guard lock(m_mutex);
        field = value;
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

inline std::vector<uint8_t> GeneratedMemory(uint32_t nRecords) {
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    options.nSeed = 7;
    return GenerateTrack(options);
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The real serial port on a pseudo-terminal with the simulated logger on the other end, and the
// receive worker reading it on its own thread.
struct LinkRig {
    std::atomic<int32_t> m_bStopWorker{0};
    std::atomic<int32_t> m_bDownloadMode{0};
    std::atomic<int32_t> m_bIntervalReceived{0};
    std::atomic<int32_t> m_bDistanceReceived{0};
    SimLogger logger;
    SimRunner runner;
    SerialPort port;
    LinkEvents events;
    ReceiveWorker worker;
    WorkerThread thread;
    std::filesystem::path rawPath;

    explicit LinkRig(std::vector<uint8_t> memory, SimFaults faults = {}, uint32_t nDataLostMs = 400,
                     bool bPaced = false, uint32_t nBaud = 230400)
        : logger(std::move(memory), faults),
          runner(logger, nBaud, bPaced),
          worker(
              WorkerFlags{m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived},
              events, nDataLostMs) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        rawPath = std::filesystem::temp_directory_path() /
                  ("quorvel_link_" + std::to_string(::getpid()) + "_" + info->name() + ".dlg");
        std::filesystem::remove(rawPath);
        std::string strError;
        EXPECT_TRUE(runner.Open(strError)) << strError;
        EXPECT_TRUE(runner.Start());
        EXPECT_EQ(port.Open(runner.PortPath(), nBaud), SerialStatus::Ok);
        EXPECT_TRUE(thread.Start(worker, [this](uint8_t* p, size_t n, uint32_t nTimeoutMs) {
            size_t nRead = 0;
            const SerialStatus status = port.Read(p, n, nTimeoutMs, nRead);
            return PortReadResult{status == SerialStatus::Ok ? PortReadResult::Outcome::Ok
                                  : status == SerialStatus::HungUp
                                      ? PortReadResult::Outcome::DeviceGone
                                      : PortReadResult::Outcome::Failed,
                                  nRead};
        }));
    }
    ~LinkRig() {
        thread.Stop();
        port.Close();
        runner.Stop();
        std::filesystem::remove(rawPath);
    }

    [[nodiscard]] SerialStatus Send(std::u16string_view body) {
        std::string bytes;
        EXPECT_EQ(FrameSentence(body, bytes), SentenceStatus::Ok);
        return port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100);
    }
    // Starts a download and waits for its first result.
    int Download() {
        worker.BeginDownload(rawPath.string());
        EXPECT_EQ(Send(DownloadSentenceBody()), SerialStatus::Ok);
        EXPECT_TRUE(events.WaitUntil([this] { return !events.results.empty(); }));
        return events.Read(events.results).empty() ? -1 : events.Read(events.results).front();
    }
    std::string Memory() {
        return runner.WithLogger(
            [](SimLogger& l) { return std::string(l.Memory().begin(), l.Memory().end()); });
    }
};
