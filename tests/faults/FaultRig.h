#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "../link/LinkRig.h"

// The worker on a real port to the simulated logger, with a hook that sees every read before the
// worker does (to act at a chosen point of the stream, as the user would between two reads).
struct FaultRig {
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
    std::function<void(std::string_view, std::atomic<int32_t>& bDownloadMode)> onRead;

    // onReadHook, when given, sees every read on the worker's thread (and may cancel, as the
    // window would between two reads); what it captures must outlive the rig.
    FaultRig(std::vector<uint8_t> memory, SimFaults faults, uint32_t nDataLostMs,
             std::filesystem::path path = {},
             std::function<void(std::string_view, std::atomic<int32_t>&)> onReadHook = {})
        : logger(std::move(memory), faults),
          runner(logger, 230400, false),
          worker(
              WorkerFlags{m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived},
              events, nDataLostMs),
          onRead(std::move(onReadHook)) {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        rawPath =
            !path.empty()
                ? path
                : std::filesystem::temp_directory_path() /
                      ("quorvel_fault_" + std::to_string(::getpid()) + "_" + info->name() + ".dlg");
        std::error_code error;
        std::filesystem::remove(rawPath, error);
        std::string strError;
        EXPECT_TRUE(runner.Open(strError)) << strError;
        EXPECT_TRUE(runner.Start());
        EXPECT_EQ(port.Open(runner.PortPath(), 230400), SerialStatus::Ok);
        EXPECT_TRUE(thread.Start(worker, [this](uint8_t* p, size_t n, uint32_t nTimeoutMs) {
            size_t nRead = 0;
            const SerialStatus status = port.Read(p, n, nTimeoutMs, nRead);
            if (onRead && nRead > 0)
                onRead({reinterpret_cast<const char*>(p), nRead}, m_bDownloadMode);
            return PortReadResult{status == SerialStatus::Ok ? PortReadResult::Outcome::Ok
                                  : status == SerialStatus::HungUp
                                      ? PortReadResult::Outcome::DeviceGone
                                      : PortReadResult::Outcome::Failed,
                                  nRead};
        }));
    }
    ~FaultRig() {
        thread.Stop();
        port.Close();
        runner.Stop();
        std::error_code error;
        std::filesystem::remove(rawPath, error);
    }

    int Download() {
        worker.BeginDownload(rawPath.string());
        std::string bytes;
        EXPECT_EQ(FrameSentence(DownloadSentenceBody(), bytes), SentenceStatus::Ok);
        EXPECT_EQ(port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100),
                  SerialStatus::Ok);
        EXPECT_TRUE(events.WaitUntil([this] { return !events.results.empty(); }));
        const std::vector<int> results = events.Read(events.results);
        return results.empty() ? -1 : results.front();
    }
    std::string Memory() {
        return runner.WithLogger(
            [](SimLogger& l) { return std::string(l.Memory().begin(), l.Memory().end()); });
    }
    bool HasLine(const std::string& text) {
        for (const std::string& line : events.Read(events.lines)) {
            if (line.find(text) != std::string::npos) return true;
        }
        return false;
    }
};
