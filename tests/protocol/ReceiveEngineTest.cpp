#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "EngineTestSupport.h"

namespace {

using Effects = std::vector<std::string>;

struct Case {
    const char* legend;
    bool bDownload;
    std::vector<std::string> reads;  // one entry per read that returns data
    Effects expected;
    std::string strHeld;  // bytes left in the buffer
};

void RunCases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        EngineRig rig(c.bDownload);
        for (const std::string& read : c.reads) rig.engine.Feed(read);
        EXPECT_EQ(rig.effects.effects, c.expected) << c.legend;
        EXPECT_EQ(std::string(rig.engine.Held()), c.strHeld) << c.legend;
    }
}

TEST(ReceiveEngine, LineMode) {
    RunCases({
        {"complete lines go to the list, an unfinished one waits",
         false,
         {"hello\r\nwor"},
         {"line:hello\r\n"},
         "wor"},
        {"a line split over reads is output once complete",
         false,
         {"hel", "lo\r", "\n"},
         {"line:hello\r\n"},
         ""},
        {"a line with a zero byte is binary: counted, not listed, and not holding up the rest",
         false,
         {std::string("ab\0cd\r\nVXs,O2=5,OH=7*00!\r\n", 26)},
         {"interval:5", "distance:7", "enable", "line:[7 binary bytes skipped]",
          "line:VXs,O2=5,OH=7*00!\r\n"},
         ""},
        {"control bytes make a line binary; tabs and Latin-1 letters are text",
         false,
         {"a\x1b[0m\r\n\r\n\x7f\r\nT\tcaf\xe9\r\n\r\n"},
         {"line:[12 binary bytes skipped]", "line:T\tcaf\xe9\r\n", "line:\r\n"},
         ""},
        {"settings reply with both values, kept as sent",
         false,
         {"VXs,C0=0,O2=0005,OH=10*3A!\r\n"},
         {"interval:0005", "distance:10", "enable", "line:VXs,C0=0,O2=0005,OH=10*3A!\r\n"},
         ""},
        {"settings reply with O2 only enables nothing",
         false,
         {"VXs,C0=1,O2=5*00!\r\n"},
         {"interval:5", "line:VXs,C0=1,O2=5*00!\r\n"},
         ""},
        {"without its tail the last item is not examined",
         false,
         {"VXs,O2=5,OH=7\r\n"},
         {"interval:5", "line:VXs,O2=5,OH=7\r\n"},
         ""},
        {"an empty value is taken as empty",
         false,
         {"VXs,O2=,OH=3*11!\r\n"},
         {"interval:", "distance:3", "enable", "line:VXs,O2=,OH=3*11!\r\n"},
         ""},
        {"a count line outside a download is only a line",
         false,
         {"dataCount=5\r\n"},
         {"line:dataCount=5\r\n"},
         ""},
    });
}

TEST(ReceiveEngine, CountLine) {
    RunCases({
        {"count 0: no data, no file, the line is shown",
         true,
         {"dataCount=0\r\n"},
         {"line:dataCount=0\r\n", "done:1"},
         ""},
        {"a count line without digits counts as 0",
         true,
         {"dataCount=abc\r\n"},
         {"line:dataCount=abc\r\n", "done:1"},
         ""},
        {"without its CR LF the count waits; earlier lines are shown",
         true,
         {"hello\r\ndataCount=12"},
         {"line:hello\r\n"},
         "dataCount=12"},
        {"a count split over reads is acted on when its CR LF arrives",
         true,
         {"dataCo", "unt= 24", "\r", "\n"},
         {"line:dataCount= 24\r\n", "create", "progress:0/24"},
         ""},
        {"text between count line and marker never reaches the list",
         true,
         {"dataCount=3\r\nnoise\r\n"},
         {"line:dataCount=3\r\n", "create", "progress:0/3"},
         "noise\r\n"},
    });
}

TEST(ReceiveEngine, CountLineWhenFileCannotBeCreated) {
    EngineRig rig(true);
    rig.effects.bFailCreate = true;
    rig.engine.Feed("dataCount=5\r\nhello\r\n");
    EXPECT_EQ(rig.effects.effects,
              (Effects{"line:dataCount=5\r\n", "create", "done:2", "line:hello\r\n"}));
    EXPECT_EQ(rig.m_bDownloadMode, 0);
}

TEST(ReceiveEngine, Blocks) {
    const std::string b1 = MakeBlock(0x0101, 12);
    const std::string b2 = MakeBlock(0x0102, 12);
    const std::string head = "dataCount=24\r\n#===\r\n";
    const Effects start = {"line:dataCount=24\r\n", "create", "progress:0/24"};
    auto with = [&](Effects rest) {
        Effects all = start;
        all.insert(all.end(), rest.begin(), rest.end());
        return all;
    };
    std::string corrupt = b1;
    corrupt[20] ^= 0x01;
    std::string badEnd = b1;
    badEnd.back() = '?';
    RunCases({
        {"count, marker and blocks in one read need no further read",
         true,
         {head + b1 + b2},
         with({"append:240", "progress:12/24", "append:240", "close", "done:0"}),
         ""},
        {"bytes before the first block and between blocks are dropped",
         true,
         {head + "xx\x02z" + b1 + "\x01\x02\x02" + b2},
         with({"append:240", "progress:12/24", "append:240", "close", "done:0"}),
         ""},
        {"a block start with a length below 8 is skipped",
         true,
         {head + std::string("\x02$\x03\xa1\x01\x01\x00\x00", 8) + b1 + b2},
         with({"append:240", "progress:12/24", "append:240", "close", "done:0"}),
         ""},
        {"a block in pieces is held from its 0x02 on",
         true,
         {head + b1.substr(0, 100), b1.substr(100), b2},
         with({"append:240", "progress:12/24", "append:240", "close", "done:0"}),
         ""},
        {"a bad checksum loses the block; the next one is a sequence mismatch",
         true,
         {head + corrupt + b2},
         with({"line:0 0101 <> 0102", "append:240", "progress:12/24"}),
         ""},
        {"a bad end byte loses the block",
         true,
         {head + badEnd + b2},
         with({"line:0 0101 <> 0102", "append:240", "progress:12/24"}),
         ""},
        {"an empty record block is accepted and repeats the count",
         true,
         {head + MakeBlock(0x0101, 0) + b2.substr(0, 6)},
         with({"append:0", "progress:0/24"}),
         b2.substr(0, 6)},
        {"other block types are skipped without advancing the sequence",
         true,
         {head + MakeBlock(0x0101, 1, 0x55) + MakeBlock(0x0101, 1)},
         with({"append:20", "progress:1/24"}),
         ""},
        {"a final block with more records than missing is written whole",
         true,
         {"dataCount=5\r\n===\r\n" + b1},
         {"line:dataCount=5\r\n", "create", "progress:0/5", "append:240", "close", "done:0"},
         ""},
        {"bytes after the last block are handled as lines",
         true,
         {"dataCount=5\r\n===\r\n" + b1 + "bye\r\nrest"},
         {"line:dataCount=5\r\n", "create", "progress:0/5", "append:240", "close", "done:0",
          "line:bye\r\n"},
         "rest"},
        {"the marker split over reads",
         true,
         {"dataCount=5\r\n==", "=\r", "\n" + b1},
         {"line:dataCount=5\r\n", "create", "progress:0/5", "append:240", "close", "done:0"},
         ""},
        {"a settings reply during a download is not parsed",
         true,
         {"VXs,O2=5,OH=6*00!\r\ndataCount=0\r\n"},
         {"line:VXs,O2=5,OH=6*00!\r\n", "line:dataCount=0\r\n", "done:1"},
         ""},
    });
}

TEST(ReceiveEngine, SequenceMismatchEntryAndResync) {
    EngineRig rig(true);
    rig.engine.Feed("dataCount=100\r\n===\r\n");
    rig.engine.Feed(MakeBlock(0x0101, 12) + MakeBlock(0x0102, 12));
    rig.engine.Feed(MakeBlock(0x0101, 12));  // repeated: 24 0103 <> 0101
    rig.engine.Feed(MakeBlock(0x0102, 4));   // 40 records, expecting 0x0103
    ASSERT_EQ(rig.engine.ReceivedCount(), 40u);
    ASSERT_EQ(rig.engine.ExpectedSequence(), 0x0103);
    rig.effects.effects.clear();
    rig.engine.Feed(MakeBlock(0x0105, 1));
    EXPECT_EQ(rig.effects.effects,
              (Effects{"line:40 0103 <> 0105", "append:20", "progress:41/100"}));
    EXPECT_EQ(rig.engine.ExpectedSequence(), 0x0106);

    rig.effects.effects.clear();
    rig.engine.Feed(MakeBlock(0x017F, 1) + MakeBlock(0x0180, 1));
    EXPECT_EQ(rig.effects.effects, (Effects{"line:41 0106 <> 017f", "append:20", "progress:42/100",
                                            "append:20", "progress:43/100"}));
}

TEST(ReceiveEngine, SequenceWrapsFromFFFFToZero) {
    EngineRig rig(true);
    rig.engine.Feed("dataCount=100\r\n===\r\n" + MakeBlock(0xFFFF, 1));
    EXPECT_EQ(rig.engine.ExpectedSequence(), 0x0000);
    rig.effects.effects.clear();
    rig.engine.Feed(MakeBlock(0x0000, 1) + MakeBlock(0x0001, 1));
    EXPECT_EQ(rig.effects.effects,
              (Effects{"append:20", "progress:2/100", "append:20", "progress:3/100"}));
}

TEST(ReceiveEngine, EveryByteSplitGivesTheSameFileAndEffects) {
    std::string stream = "hello\r\ndataCount=30\r\nskip me===\r\n";
    std::string file;
    for (uint16_t n = 0; n < 3; ++n) {
        const std::string block = MakeBlock(static_cast<uint16_t>(0x0101 + n), n == 2 ? 6 : 12,
                                            0xA1, static_cast<uint8_t>(n * 7));
        stream += "\x01" + block;
        file += PayloadOf(block);
    }
    stream += "after\r\n";
    EngineRig whole(true);
    whole.engine.Feed(stream);
    ASSERT_EQ(whole.effects.strFile, file);
    ASSERT_EQ(whole.effects.effects.back(), "line:after\r\n");
    for (size_t nSplit = 1; nSplit < stream.size(); ++nSplit) {
        EngineRig rig(true);
        rig.engine.Feed(stream.substr(0, nSplit));
        rig.engine.Feed(stream.substr(nSplit));
        EXPECT_EQ(rig.effects.strFile, file) << "split at " << nSplit;
        EXPECT_EQ(rig.effects.effects, whole.effects.effects) << "split at " << nSplit;
    }
    EngineRig bytewise(true);
    for (char c : stream) bytewise.engine.Feed(std::string(1, c));
    EXPECT_EQ(bytewise.effects.strFile, file);
    EXPECT_EQ(bytewise.effects.effects, whole.effects.effects);
}

TEST(ReceiveEngine, OverflowDropsOldestSixteenOnAnEmptyRead) {
    EngineRig rig(false);
    rig.engine.Feed(std::string(256, 'x'));
    ASSERT_EQ(rig.engine.Length(), 256u);
    EXPECT_TRUE(rig.engine.ReadSpace().empty());
    rig.engine.Idle(0);
    EXPECT_EQ(rig.engine.Length(), 240u);
    rig.engine.Idle(0);  // 240 is not above the mark
    EXPECT_EQ(rig.engine.Length(), 240u);
    // Reads are at most 64 bytes and never beyond the buffer.
    EXPECT_EQ(rig.engine.ReadSpace().size(), 16u);
    EngineRig fresh(false);
    EXPECT_EQ(fresh.engine.ReadSpace().size(), 64u);
}

// A logger still sending a cancelled download's blocks: no entry per stray CR LF, one count when
// the line goes quiet, and the next reply listed clean.
TEST(ReceiveEngine, BinaryAfterACancelIsCountedOnOneEntry) {
    EngineRig rig(false);
    std::string blocks;
    for (uint16_t n = 0; n < 8; ++n) blocks += MakeBlock(static_cast<uint16_t>(0x0101 + n), 12);
    blocks += "\x01\r\n\x02";  // a stray line end, and a tail without one
    rig.engine.Feed(blocks);
    EXPECT_EQ(rig.effects.effects, Effects{});
    rig.engine.Idle(50);
    rig.engine.Idle(100);
    rig.engine.Feed("VXs,O2=5,OH=7*00!\r\n");
    EXPECT_EQ(rig.effects.effects,
              (Effects{"line:[" + std::to_string(blocks.size()) + " binary bytes skipped]",
                       "interval:5", "distance:7", "enable", "line:VXs,O2=5,OH=7*00!\r\n"}));
}

TEST(ReceiveEngine, MarkerSearchDropsGarbageThroughOverflow) {
    EngineRig rig(true);
    rig.engine.Feed("dataCount=1\r\n" + std::string(300, 'g') + "===\r\n" + MakeBlock(0x0101, 1));
    EXPECT_EQ(rig.effects.effects.back(), "done:0");
}

TEST(ReceiveEngine, StallInsideABlockKeepsItsBytes) {
    EngineRig rig(true);
    const std::string block = MakeBlock(0x0101, 12);
    rig.engine.Feed("dataCount=12\r\n===\r\n" + block.substr(0, 245));
    rig.engine.Idle(10);
    rig.engine.Idle(20);
    rig.engine.Feed(block.substr(245), 30);
    EXPECT_EQ(rig.effects.effects.back(), "done:0");
    EXPECT_EQ(rig.effects.strFile, PayloadOf(block));
}

TEST(ReceiveEngine, CancelClosesTheFileWhenTheNextBytesArrive) {
    EngineRig rig(true);
    rig.engine.Feed("dataCount=24\r\n===\r\n" + MakeBlock(0x0101, 12));
    rig.m_bDownloadMode = 0;
    rig.effects.effects.clear();
    rig.engine.Feed("ok\r\n");
    EXPECT_EQ(rig.effects.effects, (Effects{"close", "done:4", "line:ok\r\n"}));
    EXPECT_EQ(rig.effects.strFile.size(), 240u);
}

TEST(ReceiveEngine, SilenceWithTheFileOpenEndsAsDataLost) {
    EngineRig rig(true, 500);
    rig.engine.Feed("dataCount=24\r\n===\r\n" + MakeBlock(0x0101, 12), 1000);
    rig.engine.Idle(1499);
    EXPECT_TRUE(rig.engine.IsRawFileOpen());
    rig.effects.effects.clear();
    rig.engine.Idle(1500);
    EXPECT_EQ(rig.effects.effects, (Effects{"close", "done:3"}));
    EXPECT_EQ(rig.m_bDownloadMode, 0);
    EXPECT_EQ(rig.effects.strFile.size(), 240u);  // what arrived is kept
}

TEST(ReceiveEngine, SilenceAfterACancelClosesTheFileWithoutASecondResult) {
    EngineRig rig(true, 500);
    rig.engine.Feed("dataCount=24\r\n===\r\n" + MakeBlock(0x0101, 12), 1000);
    rig.m_bDownloadMode = 0;  // cancelled; the canceller reports it
    rig.effects.effects.clear();
    rig.engine.Idle(1500);
    EXPECT_EQ(rig.effects.effects, (Effects{"close"}));
    EXPECT_FALSE(rig.engine.IsRawFileOpen());
    rig.engine.Feed("later\r\n", 2000);
    EXPECT_EQ(rig.effects.effects, (Effects{"close", "line:later\r\n"}));
}

TEST(ReceiveEngine, NoCountLineWithinTheDataLostTimeIsNoAnswer) {
    EngineRig rig(false, 500);
    rig.m_bDownloadMode = 1;
    rig.engine.Idle(0);
    // Chatter is no answer: only the count line would be.
    rig.engine.Feed("$GPTXT,still here\r\ndataCou", 300);
    rig.engine.Idle(499);
    EXPECT_EQ(rig.effects.effects, (Effects{"line:$GPTXT,still here\r\n"}));
    rig.engine.Idle(500);
    EXPECT_EQ(rig.effects.effects.back(), "done:5");
    EXPECT_EQ(rig.m_bDownloadMode, 0);
}

TEST(ReceiveEngine, StopWithTheFileOpenClosesItAsAborted) {
    EngineRig rig(true);
    rig.engine.Feed("dataCount=24\r\n===\r\n" + MakeBlock(0x0101, 12));
    rig.effects.effects.clear();
    rig.engine.Stop();
    EXPECT_EQ(rig.effects.effects, (Effects{"close", "done:4"}));
    rig.effects.effects.clear();
    rig.engine.Stop();
    EXPECT_TRUE(rig.effects.effects.empty());
}

TEST(ReceiveEngine, FailedFileWritesEndTheDownloadAsFileError) {
    {
        EngineRig rig(true);
        rig.effects.bFailAppend = true;
        rig.engine.Feed("dataCount=24\r\n===\r\n" + MakeBlock(0x0101, 12) + MakeBlock(0x0102, 12));
        EXPECT_EQ(rig.effects.effects, (Effects{"line:dataCount=24\r\n", "create", "progress:0/24",
                                                "append:240", "close", "done:2"}));
        EXPECT_EQ(rig.m_bDownloadMode, 0);
    }
    {
        EngineRig rig(true);
        rig.effects.bFailClose = true;
        rig.engine.Feed("dataCount=12\r\n===\r\n" + MakeBlock(0x0101, 12));
        EXPECT_EQ(rig.effects.effects.back(), "done:2");
    }
}

TEST(ReceiveEngine, SettingsFlagsPersistAcrossReplies) {
    EngineRig rig(false);
    rig.engine.Feed("VXs,O2=5*00!\r\n");
    rig.engine.Feed("VXs,OH=9*00!\r\n");
    EXPECT_EQ(rig.effects.effects, (Effects{"interval:5", "line:VXs,O2=5*00!\r\n", "distance:9",
                                            "enable", "line:VXs,OH=9*00!\r\n"}));
}

}  // namespace
