// The receive engine as scripted rows (reads, silences and the user's cancel, each with the
// effects they must have), every split of a stream, and the command sentences' bytes.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <numeric>
#include <string>
#include <vector>

#include "protocol/CommandSentence.h"
#include "protocol/ReceiveEngine.h"

namespace {

using Effects = std::vector<std::string>;

// Every effect of the engine as one readable string, and the raw file's bytes.
class Recorder : public ReceiveEffects {
  public:
    Effects effects;
    std::string strFile;
    bool bFailCreate = false, bFailAppend = false, bFailClose = false;

    void LineReceived(std::string_view t) override { effects.push_back("line:" + std::string(t)); }
    void IntervalReceived(std::string_view v) override { Add("interval:", v); }
    void DistanceReceived(std::string_view v) override { Add("distance:", v); }
    void SettingsReceived() override { effects.push_back("enable"); }
    void DownloadProgress(uint32_t nN, uint32_t nAt) override {
        effects.push_back("progress:" + std::to_string(nAt) + "/" + std::to_string(nN));
    }
    void DownloadEnded(DownloadResult r) override { Add("done:", std::to_string(r)); }
    void PortGone() override { effects.push_back("port lost"); }
    bool CreateRawFile() override { return effects.push_back("create"), !bFailCreate; }
    bool AppendRawFile(std::span<const uint8_t> records) override {
        Add("append:", std::to_string(records.size()));
        strFile.append(records.begin(), records.end());
        return !bFailAppend;
    }
    bool CloseRawFile(bool bComplete) override {
        return Add("close:", bComplete ? "whole" : "part"), !bFailClose;
    }
    void Add(const char* w, std::string_view v) { effects.push_back(w + std::string(v)); }
};

struct Rig {
    LinkFlags flags;
    std::atomic<int32_t>& m_bDownloadMode = flags.m_bDownloadMode;
    Recorder effects;
    ReceiveEngine engine{effects, flags.Refs(), 500};
};

// A framed block: 0x02 '$' L type seq(hi, lo) payload xor '!', its records filled from nFill.
std::string Block(uint16_t nSeq, size_t nRecords, uint8_t nType = 0xA1, uint8_t nFill = 0x30) {
    std::string b{'\x02', '$', char(8 + 20 * nRecords), char(nType), char(nSeq >> 8), char(nSeq)};
    for (size_t i = 0; i < 20 * nRecords; ++i) b += static_cast<char>(nFill + i % 64);
    return b + std::accumulate(b.begin() + 2, b.end(), '\0', std::bit_xor<>()) + '!';
}

// One step of a script: bytes read at a time, a read that returned nothing ("idle"), the user's
// cancel ("cancel") or a download asked for ("download").
struct Step {
    std::string strBytes;
    uint64_t nMs = 0;
    const char* pszEvent = nullptr;
};
const auto Idle = [](uint64_t nMs) { return Step{{}, nMs, "idle"}; };
const auto At = [](std::string s, uint64_t nMs) { return Step{std::move(s), nMs, nullptr}; };
const Step kCancel{{}, 0, "cancel"};
// A read that returns nothing once the line has been quiet long after every earlier step.
const Step kQuiet{{}, 100000, "idle"};
const Step kDownload{{}, 0, "download"};

struct Case {
    const char* legend;
    std::vector<Step> steps;
    Effects expected;
    std::string strHeld = "";  // bytes left in the buffer
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        Rig rig;
        for (const Step& s : c.steps) {
            const std::string event = s.pszEvent ? s.pszEvent : "";
            if (event == "idle") {
                rig.engine.Idle(s.nMs);
            } else if (event == "cancel") {
                rig.m_bDownloadMode = 0;
            } else if (event == "download") {
                rig.engine.RequestDownload();
                rig.m_bDownloadMode = 1;
            } else {
                rig.engine.Feed(s.strBytes, s.nMs);
            }
        }
        EXPECT_EQ(rig.effects.effects, c.expected) << c.legend;
        EXPECT_EQ(std::string(rig.engine.Held()), c.strHeld) << c.legend;
    }
}

const std::string b1 = Block(0x0101, 12), b2 = Block(0x0102, 12);
const std::string kHead = "dataCount=24\r\n#===\r\n";
const Effects kStart = {"line:dataCount=24\r\n", "create", "progress:0/24"};
Effects After(const Effects& head, Effects rest) {
    rest.insert(rest.begin(), head.begin(), head.end());
    return rest;
}
const Effects kBoth =
    After(kStart, {"append:240", "progress:12/24", "append:240", "close:whole", "done:0"});

TEST(ReceiveEngine, TextLinesAndTheSettingsReply) {
    RunCases({
        {"complete lines go to the list, an unfinished one waits",
         {At("hello\r\nwor", 0)},
         {"line:hello\r\n"},
         "wor"},
        {"a line with a zero byte is binary: counted, not listed, not holding up the rest",
         {At(std::string("ab\0cd\r\nVXs,O2=5,OH=7*00!\r\n", 26), 0)},
         {"interval:5", "distance:7", "enable", "line:[7 binary bytes skipped]",
          "line:VXs,O2=5,OH=7*00!\r\n"}},
        {"control bytes make a line binary; tabs and Latin-1 letters are text",
         {At("a\x1b[0m\r\n\r\n\x7f\r\nT\tcaf\xe9\r\n\r\n", 0)},
         {"line:[12 binary bytes skipped]", "line:T\tcaf\xe9\r\n", "line:\r\n"}},
        {"a cancelled download's blocks still coming: one count when the line goes quiet",
         {At(b1 + b2 + "\x01\r\n\x02", 0), Idle(50), Idle(100), At("VXs,OH=7*00!\r\n", 100)},
         {"line:[" + std::to_string(b1.size() + b2.size() + 4) + " binary bytes skipped]",
          "distance:7", "line:VXs,OH=7*00!\r\n"}},
        {"both values, kept as sent",
         {At("VXs,C0=0,O2=0005,OH=10*3A!\r\n", 0)},
         {"interval:0005", "distance:10", "enable", "line:VXs,C0=0,O2=0005,OH=10*3A!\r\n"}},
        {"O2 only enables nothing",
         {At("VXs,C0=1,O2=5*00!\r\n", 0)},
         {"interval:5", "line:VXs,C0=1,O2=5*00!\r\n"}},
        {"without its tail the last item is not examined",
         {At("VXs,O2=5,OH=7\r\n", 0)},
         {"interval:5", "line:VXs,O2=5,OH=7\r\n"}},
        {"the flags last across replies",
         {At("VXs,O2=5*00!\r\n", 0), At("VXs,OH=9*00!\r\n", 0)},
         {"interval:5", "line:VXs,O2=5*00!\r\n", "distance:9", "enable", "line:VXs,OH=9*00!\r\n"}},
        {"256 bytes without a line end: an empty read drops the oldest 16, counted",
         {At(std::string(256, 'x'), 0), Idle(0), Idle(0), At("\r\n", 0)},
         {"line:[16 binary bytes skipped]", "line:" + std::string(240, 'x') + "\r\n"}},
    });
}

TEST(ReceiveEngine, CountLineAndMarker) {
    RunCases({
        {"a count line outside a download is only a line",
         {At("dataCount=5\r\n", 0)},
         {"line:dataCount=5\r\n"}},
        {"without its CR LF the count waits",
         {kDownload, At("hello\r\ndataCount=12", 0)},
         {"line:hello\r\n"},
         "dataCount=12"},
        {"text before the marker never reaches the list",
         {kDownload, At("dataCount=3\r\nnoise\r\n", 0)},
         {"line:dataCount=3\r\n", "create", "progress:0/3"},
         "noise\r\n"},
        {"a settings reply during a download is not parsed; count 0: no data, no file",
         {kDownload, At("VXs,O2=5,OH=6*00!\r\ndataCount=0\r\n", 0)},
         {"line:VXs,O2=5,OH=6*00!\r\n", "line:dataCount=0\r\n", "done:1"}},
        {"garbage before the marker goes by the overflow rule",
         {kDownload,
          At("dataCount=1\r\n" + std::string(300, 'g') + "===\r\n" + Block(0x0101, 1), 0), kQuiet},
         {"line:dataCount=1\r\n", "create", "progress:0/1", "append:20", "close:whole", "done:0"}},
    });
}

TEST(ReceiveEngine, Blocks) {
    std::string corrupt = b1, badEnd = b1;
    corrupt[20] ^= 0x01, badEnd.back() = '?';
    // Records that hold what would be a whole block of length 5 (02 '$' 05, checksum 05, '!').
    std::string hiding = std::string(b1).replace(10, 5, "\x02$\x05\x05!");
    hiding[hiding.size() - 2] =
        std::accumulate(hiding.begin() + 2, hiding.end() - 2, '\0', std::bit_xor<>());
    RunCases({
        {"count, marker and blocks in one read, the bytes before and between them dropped",
         {kDownload, At(kHead + "xx\x02z" + b1 + "\x01\x02\x02" + b2, 0), kQuiet},
         kBoth},
        {"a length below 8 is no block, not even the proof of a false start",
         {kDownload, At(kHead + hiding.substr(0, 100), 0), Idle(100),
          At(hiding.substr(100) + b2, 200), kQuiet},
         kBoth},
        {"a bad checksum loses the block",
         {kDownload, At(kHead + corrupt + b2, 0)},
         After(kStart, {"line:0 0101 <> 0102", "append:240", "progress:12/24"})},
        {"a bad end byte loses the block",
         {kDownload, At(kHead + badEnd + b2, 0)},
         After(kStart, {"line:0 0101 <> 0102", "append:240", "progress:12/24"})},
        {"an empty block advances the sequence",
         {kDownload, At(kHead + Block(0x0101, 0) + b2, 0)},
         After(kStart, {"append:0", "progress:0/24", "append:240", "progress:12/24"})},
        {"other types are skipped without advancing",
         {kDownload, At(kHead + Block(0x0101, 1, 0x55) + Block(0x0101, 1), 0)},
         After(kStart, {"append:20", "progress:1/24"})},
        {"the same block twice is listed, not written",
         {kDownload, At(kHead + b1 + b1 + b2, 0), kQuiet},
         After(kStart, {"append:240", "progress:12/24", "line:12 0102 <> 0101", "append:240",
                        "close:whole", "done:0"})},
        {"a final block with more records than missing, and the text after it",
         {kDownload, At("dataCount=5\r\n===\r\n" + b1 + "bye\r\nrest", 0), kQuiet},
         {"line:dataCount=5\r\n", "create", "progress:0/5", "append:240", "close:whole", "done:0",
          "line:bye\r\n"},
         "rest"},
        {"a false start before the last block: once the line is quiet, the block behind is taken",
         {kDownload, At("dataCount=17\r\n===\r\n" + b1 + "\x02$\xfa" + Block(0x0102, 5), 0),
          Idle(100), kQuiet},
         {"line:dataCount=17\r\n", "create", "progress:0/17", "append:240", "progress:12/17",
          "append:100", "close:whole", "done:0"}},
    });
}

// A count line is only believed once the line has been quiet after it: record blocks that still
// come prove it wrong, and every record is kept in a file that does not pass for whole.
TEST(ReceiveEngine, RecordsBeyondTheAnnouncedCount) {
    const std::string twelve = "dataCount=12\r\n===\r\n";
    const Effects kTwelve = {"line:dataCount=12\r\n", "create", "progress:0/12", "append:240"};
    RunCases({
        {"blocks right behind the count: all kept, the file partial",
         {kDownload, At(twelve + b1 + b2 + Block(0x0103, 3), 0), kQuiet},
         After(kTwelve, {"append:240", "append:60", "close:part", "done:7"})},
        {"a block after a pause shorter than the quiet time, bytes before it",
         {kDownload, At(twelve + b1, 0), Idle(499), At("\x01\x00" + b2, 499), Idle(998), Idle(999)},
         After(kTwelve, {"append:240", "close:part", "done:7"})},
        {"the last block sent again proves nothing",
         {kDownload, At(twelve + b1 + b1, 0), kQuiet},
         After(kTwelve, {"line:12 0102 <> 0101", "close:whole", "done:0"})},
        {"text after the count waits for the quiet, then is a line",
         {kDownload, At(twelve + b1 + "bye\r\n", 0), Idle(499), At("VXs", 499), Idle(500)},
         After(kTwelve, {"close:whole", "done:0", "line:bye\r\n"}),
         "VXs"},
        {"a buffer filled without a block ends the wait",
         {kDownload, At(twelve + b1 + std::string(257, 'n'), 0)},
         After(kTwelve, {"close:whole", "done:0"}),
         std::string(241, 'n')},
    });
}

TEST(ReceiveEngine, TimersCancelAndStop) {
    const std::string open = "dataCount=24\r\n===\r\n" + b1;
    RunCases({
        {"no progress for the data-lost time: data lost, what arrived kept",
         {kDownload, At(open, 1000), Idle(1499), At("$PVXT,chatter\r\n", 1499), Idle(1500)},
         After(kStart, {"append:240", "progress:12/24", "close:part", "done:3"})},
        {"no count line within the data-lost time: no answer, chatter or not",
         {kDownload, Idle(0), At("$GPTXT,still here\r\ndataCou", 300), Idle(499), Idle(500)},
         {"line:$GPTXT,still here\r\n", "done:5"},
         "dataCou"},
        {"a cancel closes the file when the next bytes arrive",
         {kDownload, At(open, 0), kCancel, At("ok\r\n", 10)},
         After(kStart, {"append:240", "progress:12/24", "close:part", "done:4", "line:ok\r\n"})},
        {"after a cancel, silence closes the file without a second result",
         {kDownload, At(open, 1000), kCancel, Idle(1500), At("later\r\n", 2000)},
         After(kStart, {"append:240", "progress:12/24", "close:part", "line:later\r\n"})},
        {"a new download closes a cancelled one's file and starts afresh",
         {kDownload, At(open, 0), kCancel, kDownload, At("dataCount=0\r\n", 10)},
         After(kStart,
               {"append:240", "progress:12/24", "close:part", "line:dataCount=0\r\n", "done:1"})},
    });
}

// The raw file that cannot be created, written or finished, the device that goes away, and the
// worker that stops: each ends the download once, with its result.
TEST(ReceiveEngine, FileFailuresHangUpAndStop) {
    const struct {
        std::string strFails;  // the file step that fails: create, append or close
        size_t nBlockBytes;    // of the block that arrives
        std::string strEnd;    // "port" or "stop", else nothing
        Effects tail;
    } cases[] = {
        // Back in line mode, the bytes after the count line are text again.
        {"create", 0, "", {"create", "done:2", "line:===\r\n"}},
        {"append", 248, "", {"create", "append:240", "close:part", "done:2"}},
        {"close", 248, "", {"create", "append:240", "close:whole", "done:2"}},
        {"", 100, "port", {"create", "close:part", "done:6"}},
        {"", 100, "stop", {"create", "close:part", "done:4"}},
    };
    for (const auto& c : cases) {
        const std::string legend = c.strFails + c.strEnd;
        Rig rig;
        rig.effects.bFailCreate = c.strFails == "create";
        rig.effects.bFailAppend = c.strFails == "append";
        rig.effects.bFailClose = c.strFails == "close";
        rig.engine.RequestDownload();
        rig.m_bDownloadMode = 1;
        rig.engine.Feed("dataCount=12\r\n===\r\n" + Block(0x0101, 12).substr(0, c.nBlockBytes));
        // A whole block completes the count; the quiet after it ends the download.
        if (c.nBlockBytes == 248) rig.engine.Idle(ReceiveEngine::kTrailingQuietMs);
        if (c.strEnd == "port") rig.engine.PortLost();
        if (c.strEnd == "stop") rig.engine.Stop();
        Effects& e = rig.effects.effects;
        const size_t nCreate = std::find(e.begin(), e.end(), "create") - e.begin();
        Effects tail(e.begin() + static_cast<long>(nCreate), e.end());
        tail.erase(std::remove(tail.begin(), tail.end(), "progress:0/12"), tail.end());
        EXPECT_EQ(tail, c.tail) << legend;
        EXPECT_EQ(rig.m_bDownloadMode, 0) << legend;
        e.clear();
        rig.engine.Stop();  // nothing is left to end
        EXPECT_TRUE(e.empty()) << legend;
    }
}

TEST(ReceiveEngine, SequenceNumbers) {
    Rig rig;
    rig.m_bDownloadMode = 1;
    rig.engine.Feed("dataCount=100\r\n===\r\n" + b1 + b2 + Block(0x0101, 12, 0xA1, 1));
    rig.engine.Feed(Block(0x0102, 4, 0xA1, 1));  // resynchronised: 40 records, expecting 0x0103
    rig.effects.effects.clear();
    rig.engine.Feed(Block(0x0105, 1) + Block(0x017F, 1) + Block(0x0180, 1) + Block(0xFFFF, 1) +
                    Block(0x0000, 1));
    EXPECT_EQ(rig.effects.effects,
              (Effects{"line:40 0103 <> 0105", "append:20", "progress:41/100",
                       "line:41 0106 <> 017f", "append:20", "progress:42/100", "append:20",
                       "progress:43/100", "line:43 0181 <> ffff", "append:20", "progress:44/100",
                       "append:20", "progress:45/100"}));
}

// However the reads cut the stream, the file and the effects are the same.
TEST(ReceiveEngine, EverySplitOfAStream) {
    std::string stream = "hello\r\ndataCount=30\r\nskip me===\r\n";
    std::string file;
    for (uint16_t n = 0; n < 3; ++n) {
        const std::string block = Block(static_cast<uint16_t>(0x0101 + n), n == 2 ? 6 : 12, 0xA1,
                                        static_cast<uint8_t>(n * 7));
        stream += "\x01" + block;
        file += block.substr(6, block.size() - 8);
    }
    stream += "after\r\n";
    const auto run = [&](const std::vector<std::string>& reads) {
        Rig rig;
        rig.m_bDownloadMode = 1;
        for (const std::string& r : reads) rig.engine.Feed(r);
        rig.engine.Idle(ReceiveEngine::kTrailingQuietMs);
        EXPECT_EQ(rig.effects.strFile, file);
        return rig.effects.effects;
    };
    const Effects whole = run({stream});
    ASSERT_EQ(whole.back(), "line:after\r\n");
    for (size_t n = 1; n < stream.size(); ++n)
        ASSERT_EQ(run({stream.substr(0, n), stream.substr(n)}), whole) << "split at " << n;
    std::vector<std::string> bytes;
    for (char c : stream) bytes.emplace_back(1, c);
    EXPECT_EQ(run(bytes), whole);
}

std::string Framed(std::u16string_view body) {
    std::string bytes;
    EXPECT_EQ(FrameSentence(body, bytes), SentenceStatus::Ok);
    return bytes;
}

TEST(CommandSentence, WorkedExamplesAndTheFourRequests) {
    EXPECT_EQ(Framed(u"abc"), "abc*60!\r\n");
    EXPECT_EQ(Framed(u"ZZ"), "ZZ*00!\r\n");
    EXPECT_EQ(Framed(u"J@"), "J@*0A!\r\n");  // leading zero, upper case
    EXPECT_EQ(Framed(u"\u00ff"), "\xff*FF!\r\n");
    EXPECT_EQ(Framed(DownloadSentenceBody()), "VXC,VendrimaxQM-518,LB*18!\r\n");
    EXPECT_EQ(Framed(EraseSentenceBody()), "VXC,VendrimaxQM-518,LC*19!\r\n");
    EXPECT_EQ(Framed(ConfigQuerySentenceBody()), "VXC,VendrimaxQM-518,L1(C0,O2,OH)*63!\r\n");
    EXPECT_EQ(ConfigWriteSentenceBody(true, u"5", u"0"), u"VXS,VendrimaxQM-518,3,0,C0=1,O2=5,OH=0");
    EXPECT_EQ(ConfigWriteSentenceBody(false, u"", u""), u"VXS,VendrimaxQM-518,3,0,C0=0,O2=,OH=");
}

TEST(CommandSentence, RefusesWhatMustNotOrCannotGoOnTheLine) {
    std::string bytes = "untouched";
    // DEL is a control character as CR and LF are (those and the length: the window test on a
    // port).
    EXPECT_EQ(FrameSentence(u"O2=\u007f", bytes), SentenceStatus::ControlCharacter);
    // No byte of its own in the line's code page: it would go out as another byte.
#ifndef _WIN32
    EXPECT_EQ(FrameSentence(u"O2=\u20AC", bytes), SentenceStatus::NotSendable);
#endif
    EXPECT_EQ(FrameSentence(u"O2=\U0001F600", bytes), SentenceStatus::NotSendable);
    EXPECT_EQ(bytes, "untouched");
    EXPECT_EQ(SettingsValueProblem(u"12\u00e9", "interval"), "");
}

}  // namespace
