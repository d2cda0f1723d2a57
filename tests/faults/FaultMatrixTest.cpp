// Every fault the simulated logger can put into a download, each with the result the user is
// shown and the raw file that is left: exactly the records of the blocks that were accepted, in
// order, nothing else. Runs the real worker on a real serial port (a pseudo-terminal).

#include <gtest/gtest.h>

#include <optional>
#include <set>

#include "FaultRig.h"

namespace {

constexpr size_t kRecordSize = 20;
constexpr size_t kRecordsPerBlock = 12;
constexpr size_t kBlockBytes = kRecordsPerBlock * kRecordSize + 8;

// The logger's memory as the accepted blocks carry it: every block but the lost ones, up to
// (not including) block nEnd.
std::string AcceptedRecords(const std::string& memory, const std::set<size_t>& lost,
                            size_t nEnd = SIZE_MAX) {
    std::string accepted;
    const size_t nBlockSize = kRecordsPerBlock * kRecordSize;
    for (size_t nBlock = 0; nBlock * nBlockSize < memory.size() && nBlock < nEnd; ++nBlock) {
        if (lost.count(nBlock) == 0) accepted += memory.substr(nBlock * nBlockSize, nBlockSize);
    }
    return accepted;
}

struct FaultCase {
    const char* legend;
    uint32_t nRecords;
    std::function<void(SimFaults&)> set;
    DownloadResult result;
    const char* pMessage;   // what the window shows for the result
    std::set<size_t> lost;  // blocks whose records are missing from the file
    size_t nEnd;            // blocks after this one never arrive
    const char* pMismatch;  // sequence mismatch entry in the list, or nullptr
};

// Outcomes the link tests do not pin down byte for byte: each file is compared whole.
TEST(FaultMatrix, FileHoldsExactlyTheAcceptedRecords) {
    const FaultCase cases[] = {
        {"corrupted block",
         120,
         [](SimFaults& f) { f.nCorruptBlock = 3; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {3},
         SIZE_MAX,
         "36 0104 <> 0105"},
        {"dropped block",
         120,
         [](SimFaults& f) { f.nDropBlock = 3; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {3},
         SIZE_MAX,
         "36 0104 <> 0105"},
        {"first block corrupted",
         120,
         [](SimFaults& f) { f.nCorruptBlock = 0; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {0},
         SIZE_MAX,
         "0 0101 <> 0102"},
        {"last block dropped",
         120,
         [](SimFaults& f) { f.nDropBlock = 9; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {9},
         SIZE_MAX,
         nullptr},
        {"duplicate sequence number",
         120,
         [](SimFaults& f) { f.nRepeatSequence = 3; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         "36 0104 <> 0103"},
        {"skipped sequence number",
         120,
         [](SimFaults& f) { f.nSkipSequence = 3; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         "36 0104 <> 0105"},
        {"garbage between blocks",
         120,
         [](SimFaults& f) { f.bGarbage = true; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         nullptr},
        {"every byte written alone",
         120,
         [](SimFaults& f) { f.nSplitSize = 1; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         nullptr},
        {"garbage, single bytes and a corrupted block",
         120,
         [](SimFaults& f) { f.bGarbage = true, f.nSplitSize = 1, f.nCorruptBlock = 5; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {5},
         SIZE_MAX,
         "60 0106 <> 0107"},
        {"stall beyond the data-lost time",
         120,
         [](SimFaults& f) { f.nStallBlock = 2, f.nStallMs = 2000; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {},
         2,
         nullptr},
        {"hang-up mid-download",
         120,
         [](SimFaults& f) { f.nHangUpBlock = 4; },
         DR_PORT_LOST,
         "The logger went away during the download (unplugged or switched off).",
         {},
         4,
         nullptr},
        {"hang-up before the first block",
         120,
         [](SimFaults& f) { f.nHangUpBlock = 0; },
         DR_PORT_LOST,
         "The logger went away during the download (unplugged or switched off).",
         {},
         0,
         nullptr},
        // The count line runs on to the start marker's line end and takes the marker with it, so
        // the blocks that follow are never looked for: all records lost, and said so.
        {"count line without its line end",
         120,
         [](SimFaults& f) { f.bCountWithoutLineEnd = true; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {},
         0,
         nullptr},
        // The same block twice: the second copy is listed, not written.
        {"retransmitted block",
         120,
         [](SimFaults& f) { f.nResendBlock = 3; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         "48 0105 <> 0104"},
        {"chatter after a lost block",
         120,
         [](SimFaults& f) { f.nDropBlock = 5, f.nChatterMs = 100; },
         DR_DATA_LOST,
         "Data lost in download process.",
         {5},
         SIZE_MAX,
         "60 0106 <> 0107"},
        {"chatter instead of an answer",
         120,
         [](SimFaults& f) { f.bIgnoreDownload = true, f.nChatterMs = 100; },
         DR_NO_ANSWER,
         "No answer from the logger.",
         {},
         0,
         nullptr},
        {"false block start before the last block",
         125,
         [](SimFaults& f) { f.bFalseStartBeforeLast = true; },
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         nullptr},
        {"a short final block",
         125,
         [](SimFaults&) {},
         DR_OK,
         "Download OK.",
         {},
         SIZE_MAX,
         nullptr},
    };
    for (const FaultCase& c : cases) {
        SCOPED_TRACE(c.legend);
        SimFaults faults;
        c.set(faults);
        // The data-lost time runs from the last accepted block: long enough for a stream sent
        // byte by byte on a busy machine.
        FaultRig rig(GeneratedMemory(c.nRecords), faults, 1500);
        const int nResult = rig.Download();
        EXPECT_EQ(nResult, c.result);
        EXPECT_STREQ(DownloadResultText(static_cast<uint32_t>(nResult)), c.pMessage);
        EXPECT_EQ(rig.m_bDownloadMode, 0);
        const std::string memory = rig.Memory();
        ASSERT_EQ(memory.size(), c.nRecords * kRecordSize);
        if (c.result == DR_NO_ANSWER) {
            EXPECT_FALSE(std::filesystem::exists(rig.rawPath));
        } else {
            ASSERT_TRUE(std::filesystem::exists(rig.rawPath));
            EXPECT_EQ(ReadFileBytes(rig.rawPath), AcceptedRecords(memory, c.lost, c.nEnd));
        }
        if (c.pMismatch != nullptr) {
            EXPECT_TRUE(rig.HasLine(c.pMismatch)) << c.pMismatch;
        }
        // One result per download: nothing more arrives once it has been posted.
        EXPECT_EQ(rig.events.Read(rig.events.results).size(), 1u);
    }
}

TEST(FaultMatrix, ZeroRecordsLeavesAnExistingFileUntouched) {
    SimFaults faults;
    faults.bZeroRecords = true;
    FaultRig rig(GeneratedMemory(10), faults, 400);
    {
        std::ofstream out(rig.rawPath, std::ios::binary);
        out << "an earlier download";
    }
    const int nResult = rig.Download();
    EXPECT_EQ(nResult, DR_NO_DATA);
    EXPECT_STREQ(DownloadResultText(static_cast<uint32_t>(nResult)), "No data in device.");
    EXPECT_EQ(ReadFileBytes(rig.rawPath), "an earlier download");
    EXPECT_TRUE(rig.HasLine("dataCount=0\r\n"));
}

// The cancel lands between two reads while part of a block is held: the file keeps the whole
// blocks before it and not one byte of the partial block.
TEST(FaultMatrix, CancelMidBlockKeepsTheWholeBlocksBeforeIt) {
    std::string seen;
    std::optional<size_t> nBlockBytesBeforeCancel;
    auto cancelMidBlock = [&](std::string_view bytes, std::atomic<int32_t>& bDownloadMode) {
        const size_t nMarker = seen.find("===\r\n");
        if (!nBlockBytesBeforeCancel && nMarker != std::string::npos) {
            const size_t nAfter = seen.size() - nMarker - 5;
            if (nAfter > 3 * kBlockBytes && nAfter % kBlockBytes != 0) {
                nBlockBytesBeforeCancel = nAfter;
                bDownloadMode = 0;  // what Cancel does
            }
        }
        seen += bytes;
    };
    FaultRig rig(GeneratedMemory(600), {}, 5000, {}, cancelMidBlock);
    const int nResult = rig.Download();
    EXPECT_EQ(nResult, DR_ABORTED);
    EXPECT_STREQ(DownloadResultText(static_cast<uint32_t>(nResult)), "Abort download process.");
    ASSERT_TRUE(nBlockBytesBeforeCancel.has_value());
    const size_t nWholeBlocks = *nBlockBytesBeforeCancel / kBlockBytes;
    EXPECT_EQ(ReadFileBytes(rig.rawPath), AcceptedRecords(rig.Memory(), {}, nWholeBlocks));
}

// Another program, even one run as root, opens the port during a download: it is refused without
// touching the port, and the download goes on undisturbed.
TEST(FaultMatrix, ASecondOpenerIsRefusedAndDisturbsNothing) {
    std::optional<SerialStatus> second;
    std::string strPort;
    auto openAgain = [&](std::string_view, std::atomic<int32_t>&) {
        if (second || strPort.empty()) return;
        SerialPort intruder;
        second = intruder.Open(strPort, 9600);
    };
    FaultRig rig(GeneratedMemory(600), {}, 5000, {}, openAgain);
    strPort = rig.runner.PortPath();
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(second, SerialStatus::Busy);
    EXPECT_EQ(ReadFileBytes(rig.rawPath), rig.Memory());
}

TEST(FaultMatrix, TenThousandRecordsAtFullSpeed) {
    FaultRig rig(GeneratedMemory(10000), {}, 2000);
    const int nResult = rig.Download();
    EXPECT_EQ(nResult, DR_OK);
    EXPECT_EQ(ReadFileBytes(rig.rawPath), rig.Memory());
    const std::vector<uint32_t> progress = rig.events.Read(rig.events.progress);
    // One post at the start and one for every block but the last (834 blocks).
    ASSERT_EQ(progress.size(), 834u);
    for (size_t i = 1; i < progress.size(); ++i) {
        EXPECT_EQ(progress[i], progress[i - 1] + kRecordsPerBlock) << i;
    }
    EXPECT_EQ(rig.events.Read(rig.events.nLastAnnounced), 10000u);
}

// What is left of a cancelled download's stream passes through line mode, zero bytes and all;
// a settings reply and the next download's count line behind those bytes must still be seen.
TEST(FaultMatrix, ACancelledStreamDoesNotDeafenTheLink) {
    size_t nSeen = 0;
    bool bCancel = true;
    auto cancelEarly = [&](std::string_view bytes, std::atomic<int32_t>& bDownloadMode) {
        nSeen += bytes.size();
        if (nSeen > 2000 && bCancel) {
            bCancel = false;
            bDownloadMode = 0;
        }
    };
    FaultRig rig(GeneratedMemory(600), {}, 5000, {}, cancelEarly);
    EXPECT_EQ(rig.Download(), DR_ABORTED);
    // Wait until the logger has sent the rest of the stream.
    for (int i = 0; i < 200 && rig.runner.WithLogger([](SimLogger& l) { return l.HasOutput(); });
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(300));

    std::string bytes;
    ASSERT_EQ(FrameSentence(ConfigQuerySentenceBody(), bytes), SentenceStatus::Ok);
    ASSERT_EQ(rig.port.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), 100),
              SerialStatus::Ok);
    EXPECT_TRUE(rig.events.WaitUntil([&] { return rig.events.bEnabled; }));

    rig.events.WaitUntil([&] {
        rig.events.results.clear();
        return true;
    });
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(ReadFileBytes(rig.rawPath), rig.Memory());
}

}  // namespace
