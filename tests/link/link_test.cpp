// Downloads over a real serial port (a pseudo-terminal) from the simulated logger, through every
// fault it can put into the stream: the result the user is shown, and the raw file left, byte for
// byte exactly the records of the blocks that were accepted.

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "tests/common/LinkRig.h"

namespace {

constexpr size_t kBlockRecords = 12;
constexpr size_t kBlockBytes = kBlockRecords * 20 + 8;

// The memory as the accepted blocks carry it: every block but the lost ones, up to (not
// including) block nEnd.
std::string Accepted(const std::string& memory, const std::set<size_t>& lost,
                     size_t nEnd = SIZE_MAX) {
    std::string accepted;
    for (size_t n = 0; n * 240 < memory.size() && n < nEnd; ++n) {
        if (lost.count(n) == 0) accepted += memory.substr(n * 240, 240);
    }
    return accepted;
}

// A row's fault: statements on the simulator's SimFaults f.
#define FAULT(...) [](SimFaults& f) { __VA_ARGS__; }

TEST(Download, EveryFaultLeavesExactlyTheAcceptedRecords) {
    constexpr size_t kAll = SIZE_MAX;
    const struct {
        const char* legend;
        uint32_t nRecords;
        std::function<void(SimFaults&)> fault;
        DownloadResult result;
        std::set<size_t> lost;  // blocks missing from the file
        size_t nEnd;            // blocks from this one on never arrive
        const char* mismatch;   // the entry the list gets, or nullptr
    } cases[] = {
        // clang-format off
        {"corrupted block", 120, FAULT(f.nCorruptBlock = 3), DR_DATA_LOST, {3}, kAll, "36 0104 <> 0105"},
        {"dropped block", 120, FAULT(f.nDropBlock = 3), DR_DATA_LOST, {3}, kAll, "36 0104 <> 0105"},
        {"last block dropped", 120, FAULT(f.nDropBlock = 9), DR_DATA_LOST, {9}, kAll, nullptr},
        {"sequence repeated, new records", 120, FAULT(f.nRepeatSequence = 3), DR_OK, {}, kAll, "36 0104 <> 0103"},
        {"sequence number skipped", 120, FAULT(f.nSkipSequence = 3), DR_OK, {}, kAll, "36 0104 <> 0105"},
        {"block sent twice", 120, FAULT(f.nResendBlock = 3), DR_OK, {}, kAll, "48 0105 <> 0104"},
        {"garbage, byte by byte, corrupted", 120, FAULT(f.bGarbage = true, f.nSplitSize = 1, f.nCorruptBlock = 5), DR_DATA_LOST, {5}, kAll, "60 0106 <> 0107"},
        {"stall past the data-lost time", 120, FAULT(f.nStallBlock = 2, f.nStallMs = 3000), DR_DATA_LOST, {}, 2, nullptr},
        {"chatter after a lost block", 120, FAULT(f.nDropBlock = 5, f.nChatterMs = 100), DR_DATA_LOST, {5}, kAll, "60 0106 <> 0107"},
        {"chatter, no answer", 120, FAULT(f.bIgnoreDownload = true, f.nChatterMs = 100), DR_NO_ANSWER, {}, 0, nullptr},
        {"hang-up mid-download", 120, FAULT(f.nHangUpBlock = 4), DR_PORT_LOST, {}, 4, nullptr},
        // The count line runs on into the marker's line end and takes the marker with it.
        {"count line without its line end", 120, FAULT(f.bCountWithoutLineEnd = true), DR_DATA_LOST, {}, 0, nullptr},
        {"false start before a short last", 125, FAULT(f.bFalseStartBeforeLast = true), DR_OK, {}, kAll, nullptr},
        // clang-format on
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.legend);
        SimFaults faults;
        c.fault(faults);
        // The data-lost time runs from the last accepted block: long enough for a stream sent
        // byte by byte on a busy machine, and longer still where the download must not end by it.
        const bool bEndsByItself = c.result == DR_OK || c.result == DR_PORT_LOST;
        LinkRig rig(GeneratedMemory(c.nRecords), faults, bEndsByItself ? 5000 : 1500);
        EXPECT_EQ(rig.Download(), c.result);
        EXPECT_EQ(rig.m_bDownloadMode, 0);
        if (c.result == DR_NO_ANSWER) {
            EXPECT_FALSE(fs::exists(rig.rawPath));
        } else {
            EXPECT_EQ(ReadFile(rig.rawPath), Accepted(rig.Memory(), c.lost, c.nEnd));
        }
        if (c.mismatch != nullptr) {
            EXPECT_TRUE(rig.events.HasLine(c.mismatch)) << c.mismatch;
        }
        // One result a download: nothing more arrives once it has been posted.
        EXPECT_EQ(rig.events.Read(rig.events.results).size(), 1u);
    }
}

// No data leaves an existing file as it was; a second opener of the port is refused; the progress
// counts blocks.
TEST(Download, NoDataASecondOpenerAndTheProgress) {
    SimFaults zero;
    zero.bZeroRecords = true;
    LinkRig empty(GeneratedMemory(10), zero);
    WriteFile(empty.rawPath, "an earlier download");
    EXPECT_EQ(empty.Download(), DR_NO_DATA);
    EXPECT_EQ(ReadFile(empty.rawPath), "an earlier download");
    EXPECT_TRUE(empty.events.HasLine("dataCount=0\r\n"));

    // Another program, even one run as root, opens the port during the download: it is refused
    // without touching the port, and the download goes on undisturbed.
    std::optional<SerialStatus> second;
    std::string strPort;
    auto openAgain = [&](std::string_view, std::atomic<int32_t>&) {
        if (!second && !strPort.empty()) second = SerialPort().Open(strPort, 9600);
    };
    LinkRig rig(GeneratedMemory(10000), {}, 1500, openAgain);
    strPort = rig.runner.PortPath();
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(second, SerialStatus::Busy);
    EXPECT_EQ(ReadFile(rig.rawPath), rig.Memory());
    // One post at the start and one for every block but the last (834 blocks).
    const std::vector<uint32_t> progress = rig.events.Read(rig.events.progress);
    ASSERT_EQ(progress.size(), 834u);
    for (size_t i = 1; i < progress.size(); ++i) ASSERT_EQ(progress[i], i * kBlockRecords);
    EXPECT_EQ(rig.events.Read(rig.events.nLastAnnounced), 10000u);
}

// The cancel lands between two reads while part of a block is held: the file keeps the whole
// blocks before it and not one byte of the partial block. What is left of the stream passes
// through line mode, and a settings reply and the next download behind it are still seen.
TEST(Download, CancelMidBlockKeepsWholeBlocksAndTheLinkHearsOn) {
    std::string seen;
    std::optional<size_t> nBytesBeforeCancel;
    auto cancelMidBlock = [&](std::string_view bytes, std::atomic<int32_t>& bDownloadMode) {
        const size_t nMarker = seen.find("===\r\n");
        if (!nBytesBeforeCancel && nMarker != std::string::npos) {
            const size_t nAfter = seen.size() - nMarker - 5;
            if (nAfter > 3 * kBlockBytes && nAfter % kBlockBytes != 0) {
                nBytesBeforeCancel = nAfter;
                bDownloadMode = 0;  // what Cancel does
            }
        }
        seen += bytes;
    };
    LinkRig rig(GeneratedMemory(600), {}, 5000, cancelMidBlock);
    EXPECT_EQ(rig.Download(), DR_ABORTED);
    ASSERT_TRUE(nBytesBeforeCancel.has_value());
    EXPECT_EQ(ReadFile(rig.rawPath), Accepted(rig.Memory(), {}, *nBytesBeforeCancel / kBlockBytes));

    for (int i = 0; i < 200 && rig.runner.WithLogger([](SimLogger& l) { return l.HasOutput(); });
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_TRUE(rig.Send(ConfigQuerySentenceBody()));
    EXPECT_TRUE(rig.events.WaitUntil([&] { return rig.events.bEnabled; }));
    rig.events.WaitUntil([&] { return rig.events.results.clear(), true; });
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(ReadFile(rig.rawPath), rig.Memory());
}

// A port that fails every read at once, or answers nothing at once (Wine's port whose device went
// away), must not make the worker spin: each read waits out its time-out.
TEST(Download, AFailingPortDoesNotSpin) {
    for (const auto outcome : {PortReadResult::Outcome::Failed, PortReadResult::Outcome::Ok}) {
        LinkFlags flags;
        EventRecorder events;
        ReceiveWorker worker(flags.Refs(), events);
        std::atomic<int> nReads{0};
        std::thread thread([&] {
            worker.Run([&](uint8_t*, size_t, uint32_t) {
                ++nReads;
                return PortReadResult{outcome, 0};
            });
        });
        std::this_thread::sleep_for(std::chrono::milliseconds(500));
        flags.m_bStopWorker = 1;
        thread.join();
        EXPECT_LE(nReads.load(), 10);
        EXPECT_GE(nReads.load(), 1);
    }
}

}  // namespace
