#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

#include "EngineTestSupport.h"
#include "protocol/ReceiveWorker.h"
#include "tests/common/WorkerThread.h"

namespace {

namespace fs = std::filesystem;

class CollectingEvents : public WorkerEvents {
  public:
    void AddLogEntry(std::string_view text) override { Push("line:" + std::string(text)); }
    void SetIntervalText(std::string_view value) override {
        Push("interval:" + std::string(value));
    }
    void SetDistanceText(std::string_view value) override {
        Push("distance:" + std::string(value));
    }
    void EnableSettings() override { Push("enable"); }
    void PostProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        Push("progress:" + std::to_string(nReceived) + "/" + std::to_string(nAnnounced));
    }
    void PostPortLost() override {}
    void PostDone(DownloadResult result) override {
        Push("done:" + std::to_string(static_cast<int>(result)));
    }
    std::vector<std::string> Snapshot() {
        std::lock_guard lock(m_mutex);
        return m_events;
    }

  private:
    void Push(std::string event) {
        std::lock_guard lock(m_mutex);
        m_events.push_back(std::move(event));
    }
    std::mutex m_mutex;
    std::vector<std::string> m_events;
};

struct WorkerRig {
    std::atomic<int32_t> m_bStopWorker{0};
    std::atomic<int32_t> m_bDownloadMode{0};
    std::atomic<int32_t> m_bIntervalReceived{0};
    std::atomic<int32_t> m_bDistanceReceived{0};
    CollectingEvents events;
    ReceiveWorker worker{
        WorkerFlags{m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived},
        events, 300};
    fs::path path =
        fs::temp_directory_path() /
        ("quorvel_worker_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
         "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".dlg");
    ~WorkerRig() { fs::remove(path); }
};

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// Serves a byte string in reads of whatever size the worker asks, then nothing.
PortRead ServeBytes(std::string bytes, std::atomic<size_t>& nOffset) {
    return [bytes = std::move(bytes), &nOffset](uint8_t* p, size_t nMax, uint32_t) {
        const size_t nAt = nOffset.load();
        if (nAt >= bytes.size()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            return PortReadResult{PortReadResult::Outcome::Ok, 0};
        }
        const size_t n = std::min(nMax, bytes.size() - nAt);
        std::memcpy(p, bytes.data() + nAt, n);
        nOffset += n;
        return PortReadResult{PortReadResult::Outcome::Ok, n};
    };
}

void WaitFor(const std::function<bool()>& done) {
    for (int i = 0; i < 500 && !done(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

TEST(ReceiveWorker, DownloadsIntoTheFileItWasGiven) {
    WorkerRig rig;
    std::string stream = "dataCount=30\r\n===\r\n";
    std::string file;
    for (uint16_t n = 0; n < 3; ++n) {
        const std::string block = MakeBlock(static_cast<uint16_t>(0x0101 + n), n == 2 ? 6 : 12);
        stream += block;
        file += PayloadOf(block);
    }
    std::atomic<size_t> nOffset{0};
    rig.worker.BeginDownload(rig.path.string());
    EXPECT_EQ(rig.m_bDownloadMode, 1);
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(rig.worker, ServeBytes(stream, nOffset)));
    WaitFor([&] { return rig.m_bDownloadMode == 0; });
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(rig.m_bStopWorker, 0);
    EXPECT_EQ(rig.events.Snapshot().back(), "done:0");
    EXPECT_EQ(ReadAll(rig.path), file);
}

TEST(ReceiveWorker, StopDuringADownloadKeepsTheRecordsAndReportsAbort) {
    WorkerRig rig;
    const std::string block = MakeBlock(0x0101, 12);
    std::atomic<size_t> nOffset{0};
    rig.worker.BeginDownload(rig.path.string());
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(rig.worker, ServeBytes("dataCount=99\r\n===\r\n" + block, nOffset)));
    WaitFor([&] { return ReadAll(rig.path).size() == 240 || rig.events.Snapshot().size() >= 3; });
    EXPECT_TRUE(thread.Stop());
    EXPECT_EQ(rig.events.Snapshot().back(), "done:4");
    EXPECT_EQ(rig.m_bDownloadMode, 0);
    EXPECT_EQ(ReadAll(rig.path), PayloadOf(block));
}

TEST(ReceiveWorker, RawFileThatCannotBeCreated) {
    WorkerRig rig;
    std::atomic<size_t> nOffset{0};
    rig.worker.BeginDownload(
        (fs::temp_directory_path() / "no_such_dir_quorvel" / "x.dlg").string());
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(rig.worker, ServeBytes("dataCount=5\r\n", nOffset)));
    WaitFor([&] { return rig.m_bDownloadMode == 0; });
    thread.Stop();
    EXPECT_EQ(rig.events.Snapshot(), (std::vector<std::string>{"line:dataCount=5\r\n", "done:2"}));
}

TEST(ReceiveWorker, AFailingPortDoesNotSpin) {
    WorkerRig rig;
    std::atomic<int> nReads{0};
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(rig.worker, [&](uint8_t*, size_t, uint32_t) {
        ++nReads;
        return PortReadResult{PortReadResult::Outcome::Failed, 0};
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    thread.Stop();
    // Each failed read waits out its 148 ms time-out; a spinning loop would make millions.
    EXPECT_LE(nReads.load(), 10);
    EXPECT_GE(nReads.load(), 1);
}

TEST(ReceiveWorker, ReadsAreAtMost64BytesWithTheirTimeOut) {
    WorkerRig rig;
    std::atomic<size_t> nLargest{0};
    std::atomic<uint32_t> nTimeout{0};
    WorkerThread thread;
    ASSERT_TRUE(thread.Start(rig.worker, [&](uint8_t*, size_t nMax, uint32_t nTimeoutMs) {
        nLargest = std::max(nLargest.load(), nMax);
        nTimeout = nTimeoutMs;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return PortReadResult{PortReadResult::Outcome::Ok, 0};
    }));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    thread.Stop();
    EXPECT_EQ(nLargest.load(), 64u);
    EXPECT_EQ(nTimeout.load(), 20u + 2u * 64u);
}

}  // namespace
