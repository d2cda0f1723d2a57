#include <gtest/gtest.h>

#include <thread>

#include "LinkRig.h"

namespace {

bool HasLineContaining(LinkRig& rig, const std::string& text) {
    for (const std::string& line : rig.events.Read(rig.events.lines)) {
        if (line.find(text) != std::string::npos) return true;
    }
    return false;
}

TEST(Link, FullDownloadEqualsTheLoggerMemory) {
    LinkRig rig(GeneratedMemory(1000));
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(ReadFileBytes(rig.rawPath), rig.Memory());
    EXPECT_EQ(rig.m_bDownloadMode, 0);
    const std::vector<uint32_t> progress = rig.events.Read(rig.events.progress);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0u);
    EXPECT_EQ(rig.events.Read(rig.events.nLastAnnounced), 1000u);
    EXPECT_TRUE(HasLineContaining(rig, "dataCount=1000"));
}

TEST(Link, TwoDownloadsInARowOnOnePort) {
    LinkRig rig(GeneratedMemory(50));
    EXPECT_EQ(rig.Download(), DR_OK);
    EXPECT_EQ(rig.Download(), DR_OK);  // the first result is still the first one
    EXPECT_TRUE(rig.events.WaitUntil([&] { return rig.events.results.size() == 2; }));
    EXPECT_EQ(ReadFileBytes(rig.rawPath), rig.Memory());
}

TEST(Link, CancelKeepsWhatArrivedAndReportsAbort) {
    LinkRig rig(GeneratedMemory(3000), {}, 5000, /*bPaced=*/true, 230400);
    rig.worker.BeginDownload(rig.rawPath.string());
    ASSERT_EQ(rig.Send(DownloadSentenceBody()), SerialStatus::Ok);
    ASSERT_TRUE(rig.events.WaitUntil([&] { return rig.events.progress.size() >= 3; }));
    rig.m_bDownloadMode = 0;  // what the window's Cancel does
    ASSERT_TRUE(rig.events.WaitUntil([&] { return !rig.events.results.empty(); }));
    EXPECT_EQ(rig.events.Read(rig.events.results).front(), DR_ABORTED);
    const std::string file = ReadFileBytes(rig.rawPath);
    EXPECT_GT(file.size(), 0u);
    EXPECT_LT(file.size(), rig.Memory().size());
    EXPECT_EQ(file.size() % 20, 0u);
    EXPECT_EQ(file, rig.Memory().substr(0, file.size()));
}

TEST(Link, StoppingTheWorkerMidDownloadClosesTheFile) {
    LinkRig rig(GeneratedMemory(3000), {}, 5000, /*bPaced=*/true, 230400);
    rig.worker.BeginDownload(rig.rawPath.string());
    ASSERT_EQ(rig.Send(DownloadSentenceBody()), SerialStatus::Ok);
    ASSERT_TRUE(rig.events.WaitUntil([&] { return rig.events.progress.size() >= 3; }));
    EXPECT_TRUE(rig.thread.Stop());
    EXPECT_EQ(rig.events.Read(rig.events.results), std::vector<int>{DR_ABORTED});
    const std::string file = ReadFileBytes(rig.rawPath);
    EXPECT_GE(file.size(), 2u * 12u * 20u);
    EXPECT_EQ(file, rig.Memory().substr(0, file.size()));
}

struct FaultCase {
    const char* legend;
    std::function<void(SimFaults&)> set;
    int nResult;
    bool bComplete;             // the file equals the memory
    const char* pMismatchLine;  // a sequence mismatch entry expected, or nullptr
};

TEST(Link, Faults) {
    const FaultCase cases[] = {
        {"corrupt block", [](SimFaults& f) { f.nCorruptBlock = 3; }, DR_DATA_LOST, false,
         "36 0104 <> 0105"},
        {"dropped block", [](SimFaults& f) { f.nDropBlock = 3; }, DR_DATA_LOST, false,
         "36 0104 <> 0105"},
        {"repeated number", [](SimFaults& f) { f.nRepeatSequence = 3; }, DR_OK, true,
         "36 0104 <> 0103"},
        {"skipped number", [](SimFaults& f) { f.nSkipSequence = 3; }, DR_OK, true,
         "36 0104 <> 0105"},
        {"garbage between blocks", [](SimFaults& f) { f.bGarbage = true; }, DR_OK, true, nullptr},
        {"small writes", [](SimFaults& f) { f.nSplitSize = 7; }, DR_OK, true, nullptr},
        {"short stall", [](SimFaults& f) { f.nStallBlock = 2, f.nStallMs = 100; }, DR_OK, true,
         nullptr},
        {"long stall", [](SimFaults& f) { f.nStallBlock = 2, f.nStallMs = 3000; }, DR_DATA_LOST,
         false, nullptr},
        {"hang-up", [](SimFaults& f) { f.nHangUpBlock = 4; }, DR_PORT_LOST, false, nullptr},
        {"count line without line end", [](SimFaults& f) { f.bCountWithoutLineEnd = true; },
         DR_DATA_LOST, false, nullptr},
    };
    for (const FaultCase& c : cases) {
        SimFaults faults;
        c.set(faults);
        // The short stall must stay well inside the data-lost time; the others exceed it.
        const uint32_t nDataLostMs = faults.nStallMs == 100 ? 2000 : 400;
        LinkRig rig(GeneratedMemory(120), faults, nDataLostMs);
        EXPECT_EQ(rig.Download(), c.nResult) << c.legend;
        const std::string file = ReadFileBytes(rig.rawPath);
        const std::string memory = rig.Memory();
        if (c.bComplete) {
            EXPECT_EQ(file, memory) << c.legend;
        } else {
            EXPECT_LT(file.size(), memory.size()) << c.legend;
        }
        if (c.pMismatchLine != nullptr) {
            EXPECT_TRUE(HasLineContaining(rig, c.pMismatchLine)) << c.legend;
        }
    }
}

TEST(Link, ZeroRecordsCreatesNoFile) {
    SimFaults faults;
    faults.bZeroRecords = true;
    LinkRig rig(GeneratedMemory(10), faults);
    EXPECT_EQ(rig.Download(), DR_NO_DATA);
    EXPECT_FALSE(std::filesystem::exists(rig.rawPath));
}

TEST(Link, SettingsReadAndWrite) {
    LinkRig rig({});
    rig.runner.WithLogger([](SimLogger& l) { l.SetSettings("0", "0005", "100"); });
    ASSERT_EQ(rig.Send(ConfigQuerySentenceBody()), SerialStatus::Ok);
    ASSERT_TRUE(rig.events.WaitUntil([&] { return rig.events.bEnabled; }));
    EXPECT_EQ(rig.events.Read(rig.events.strInterval), "0005");
    EXPECT_EQ(rig.events.Read(rig.events.strDistance), "100");

    ASSERT_EQ(rig.Send(ConfigWriteSentenceBody(false, u"30", u"25")), SerialStatus::Ok);
    ASSERT_TRUE(rig.events.WaitUntil([&] { return rig.events.lines.size() >= 2; }));
    EXPECT_EQ(rig.runner.WithLogger([](SimLogger& l) { return l.Interval() + "/" + l.Distance(); }),
              "30/25");
}

TEST(Link, EraseEmptiesTheLogger) {
    LinkRig rig(GeneratedMemory(40));
    ASSERT_EQ(rig.Send(EraseSentenceBody()), SerialStatus::Ok);
    ASSERT_TRUE(rig.events.WaitUntil([&] { return !rig.events.lines.empty(); }));
    EXPECT_EQ(rig.events.Read(rig.events.lines).front(), "$OK,LC,ERASED\r\n");
    EXPECT_TRUE(rig.Memory().empty());
    EXPECT_EQ(rig.Download(), DR_NO_DATA);
}

TEST(SerialPortLink, OpenFailuresAreReported) {
    SerialPort port;
    EXPECT_EQ(port.Open("/dev/quorvel-no-such-port", 115200), SerialStatus::NotFound);
    EXPECT_EQ(port.Open("", 115200), SerialStatus::BadName);
    EXPECT_EQ(port.Open("/dev/null", 115200), SerialStatus::NotAPort);
    EXPECT_FALSE(port.IsOpen());
    uint8_t b = 0;
    size_t nRead = 0;
    EXPECT_EQ(port.Read(&b, 1, 10, nRead), SerialStatus::NotOpen);
    EXPECT_EQ(port.Write(&b, 1, 10), SerialStatus::NotOpen);
    EXPECT_EQ(SerialPort::DevicePath("ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(SerialPort::DevicePath("/dev/pts/3"), "/dev/pts/3");
}

TEST(SerialPortLink, ReadTimesOutWithNothingAndSeesAHangUp) {
    SimLogger logger;
    SimRunner runner(logger, 115200, false);
    std::string strError;
    ASSERT_TRUE(runner.Open(strError)) << strError;
    SerialPort port;
    ASSERT_EQ(port.Open(runner.PortPath(), 115200), SerialStatus::Ok);
    EXPECT_EQ(port.Open(runner.PortPath(), 300), SerialStatus::BadSpeed);
    ASSERT_EQ(port.Open(runner.PortPath(), 115200), SerialStatus::Ok);
    if (::geteuid() != 0) {
        // Exclusive use (the superuser is exempt).
        SerialPort second;
        EXPECT_EQ(second.Open(runner.PortPath(), 115200), SerialStatus::Busy);
    }
    uint8_t buffer[8];
    size_t nRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 30, nRead), SerialStatus::Ok);
    EXPECT_EQ(nRead, 0u);
    EXPECT_EQ(port.Purge(), SerialStatus::Ok);
    // A hang-up (the device goes away) makes reads fail rather than time out.
    SimFaults faults;
    faults.nHangUpBlock = 0;
    runner.WithLogger([&](SimLogger& l) {
        l.SetFaults(faults);
        l.SetMemory(std::vector<uint8_t>(40, 1));
    });
    ASSERT_TRUE(runner.Start());
    std::string sentence;
    ASSERT_EQ(FrameSentence(DownloadSentenceBody(), sentence), SentenceStatus::Ok);
    ASSERT_EQ(port.Write(reinterpret_cast<const uint8_t*>(sentence.data()), sentence.size(), 100),
              SerialStatus::Ok);
    // What was sent before the hang-up is read first; then reads fail.
    SerialStatus status = SerialStatus::Ok;
    for (int i = 0; i < 200 && status == SerialStatus::Ok; ++i) {
        status = port.Read(buffer, sizeof buffer, 50, nRead);
    }
    EXPECT_TRUE(runner.HungUp());
    EXPECT_EQ(status, SerialStatus::HungUp);
}

}  // namespace
