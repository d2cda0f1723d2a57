#pragma once

// The receive worker on a real serial port (a pseudo-terminal), the simulated logger on the other
// end, and what the worker reported.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "Testing.h"
#include "protocol/CommandSentence.h"
#include "protocol/ReceiveWorker.h"
#include "serial/SerialPort.h"
#include "sim/SimRunner.h"

// What the worker reported, waited on from the test's thread.
class EventRecorder : public WorkerEvents {
  public:
    void LineReceived(std::string_view text) override {
        Change([&] { lines.emplace_back(text); });
    }
    void IntervalReceived(std::string_view) override {}
    void DistanceReceived(std::string_view) override {}
    void SettingsReceived() override {
        Change([&] { bEnabled = true; });
    }
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        Change([&] { progress.push_back(nReceived), nLastAnnounced = nAnnounced; });
    }
    void DownloadEnded(DownloadResult result) override {
        Change([&] { results.push_back(result); });
    }
    void PortGone() override {}

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
    bool HasLine(const std::string& strText) {
        std::lock_guard lock(m_mutex);
        for (const std::string& line : lines) {
            if (line.find(strText) != std::string::npos) return true;
        }
        return false;
    }

    std::vector<std::string> lines;
    bool bEnabled = false;
    std::vector<uint32_t> progress;
    uint32_t nLastAnnounced = 0;
    std::vector<int> results;

  private:
    template <class F>
    void Change(F f) {
        std::lock_guard lock(m_mutex);
        f();
        m_changed.notify_all();
    }
    std::mutex m_mutex;
    std::condition_variable m_changed;
};

// onRead, when given, sees every read on the worker's thread before the worker does (to act at a
// chosen point of the stream, as a user would between two reads); what it captures must outlive
// the rig.
struct LinkRig {
    using ReadHook = std::function<void(std::string_view, std::atomic<int32_t>& bDownloadMode)>;

    LinkFlags flags;
    std::atomic<int32_t>& m_bStopWorker = flags.m_bStopWorker;
    std::atomic<int32_t>& m_bDownloadMode = flags.m_bDownloadMode;
    SimLogger logger;
    SimRunner runner;
    SerialPort port;
    EventRecorder events;
    ReceiveWorker worker;
    std::thread thread;
    TempDir dir;
    std::string rawPath = dir / "raw.dlg";
    ReadHook onRead;

    LinkRig(const std::string& memory, SimFaults faults = {}, uint32_t nDataLostMs = 1500,
            ReadHook hook = {})
        : logger(Bytes(memory), faults),
          runner(logger, 230400, false),
          worker(flags.Refs(), events, nDataLostMs),
          onRead(std::move(hook)) {
        std::string strError;
        EXPECT_TRUE(runner.Open(strError)) << strError;
        EXPECT_TRUE(runner.Start());
        EXPECT_EQ(port.Open(runner.PortPath(), 230400), SerialStatus::Ok);
        thread = std::thread([this] {
            // Timed by the line, so that a busy machine does not lose data the logger sent.
            worker.Run([this](auto... args) { return Read(args...); },
                       [this] { return runner.LineMs(); });
        });
    }
    ~LinkRig() {
        m_bStopWorker = 1;
        thread.join();
        port.Close();
        runner.Stop();
    }
    bool Send(std::u16string_view body) {
        std::string bytes;
        return FrameSentence(body, bytes) == SentenceStatus::Ok &&
               port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100) ==
                   SerialStatus::Ok;
    }
    // Starts a download and waits for its first result.
    int Download() {
        worker.BeginDownload(rawPath);
        EXPECT_TRUE(Send(DownloadSentenceBody()));
        EXPECT_TRUE(events.WaitUntil([this] { return !events.results.empty(); }));
        const std::vector<int> results = events.Read(events.results);
        return results.empty() ? -1 : results.front();
    }
    std::string Memory() {
        return runner.WithLogger(
            [](SimLogger& l) { return std::string(l.Memory().begin(), l.Memory().end()); });
    }

  private:
    PortReadResult Read(uint8_t* p, size_t n, uint32_t nTimeoutMs) {
        size_t nRead = 0;
        const SerialStatus status = port.Read(p, n, nTimeoutMs, nRead);
        if (onRead && nRead > 0) onRead({reinterpret_cast<const char*>(p), nRead}, m_bDownloadMode);
        if (status == SerialStatus::HungUp) return {PortReadResult::Outcome::DeviceGone, 0};
        return {status == SerialStatus::Ok ? PortReadResult::Outcome::Ok
                                           : PortReadResult::Outcome::Failed,
                nRead};
    }
};
