#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "protocol/CommandSentence.h"
#include "sim/SimLogger.h"

namespace {

std::vector<uint8_t> Records(size_t nRecords) {
    std::vector<uint8_t> memory(nRecords * 20);
    for (size_t i = 0; i < memory.size(); ++i) memory[i] = static_cast<uint8_t>(i * 7 + 3);
    return memory;
}

std::string Sentence(std::u16string_view body) {
    std::string bytes;
    EXPECT_EQ(FrameSentence(body, bytes), SentenceStatus::Ok);
    return bytes;
}

std::string Drain(SimLogger& logger) {
    std::string out;
    while (std::optional<SimChunk> chunk = logger.TakeOutput()) out += chunk->strBytes;
    return out;
}

std::vector<SimChunk> Chunks(SimLogger& logger) {
    std::vector<SimChunk> chunks;
    while (std::optional<SimChunk> chunk = logger.TakeOutput()) chunks.push_back(*chunk);
    return chunks;
}

// Parses the download stream: the count, and the blocks as (sequence, payload).
struct Parsed {
    uint32_t nCount = 0;
    std::vector<std::pair<uint16_t, std::string>> blocks;
    bool bChecksumsOk = true;
};

Parsed Parse(const std::string& stream) {
    Parsed parsed;
    const size_t nCount = stream.find("dataCount=");
    if (nCount == std::string::npos) return parsed;
    parsed.nCount = static_cast<uint32_t>(std::stoul(stream.substr(nCount + 10)));
    size_t p = stream.find("===\r\n");
    if (p == std::string::npos) return parsed;
    p += 5;
    while (p + 8 <= stream.size()) {
        if (stream[p] != '\x02' || stream[p + 1] != '$') {
            ++p;
            continue;
        }
        const size_t nLength = static_cast<uint8_t>(stream[p + 2]);
        if (nLength < 8) {
            ++p;
            continue;
        }
        uint8_t nSum = 0;
        for (size_t i = p + 2; i < p + nLength - 2; ++i) nSum ^= static_cast<uint8_t>(stream[i]);
        if (nSum != static_cast<uint8_t>(stream[p + nLength - 2])) parsed.bChecksumsOk = false;
        const auto nSequence = static_cast<uint16_t>((static_cast<uint8_t>(stream[p + 4]) << 8) |
                                                     static_cast<uint8_t>(stream[p + 5]));
        parsed.blocks.emplace_back(nSequence, stream.substr(p + 6, nLength - 8));
        p += nLength;
    }
    return parsed;
}

TEST(SimLogger, DownloadStreamsTheMemoryInBlocksOfTwelve) {
    SimLogger logger(Records(30));
    logger.Receive(Sentence(DownloadSentenceBody()));
    const std::string stream = Drain(logger);
    EXPECT_EQ(stream.substr(0, stream.find("dataCount=")), "$OK,LB\r\n");
    const Parsed parsed = Parse(stream);
    EXPECT_EQ(parsed.nCount, 30u);
    ASSERT_EQ(parsed.blocks.size(), 3u);
    EXPECT_TRUE(parsed.bChecksumsOk);
    std::string all;
    for (size_t i = 0; i < parsed.blocks.size(); ++i) {
        EXPECT_EQ(parsed.blocks[i].first, 0x0101 + i);
        all += parsed.blocks[i].second;
    }
    EXPECT_EQ(parsed.blocks[2].second.size(), 6u * 20u);
    const std::vector<uint8_t> memory = Records(30);
    EXPECT_EQ(all, std::string(memory.begin(), memory.end()));
    EXPECT_EQ(logger.Downloads(), 1);
}

TEST(SimLogger, SentenceMayArriveInPieces) {
    SimLogger logger(Records(1));
    const std::string sentence = Sentence(DownloadSentenceBody());
    for (char c : sentence) logger.Receive(std::string(1, c));
    EXPECT_EQ(logger.Downloads(), 1);
}

TEST(SimLogger, BadChecksumIsRefused) {
    SimLogger logger(Records(1));
    std::string sentence = Sentence(DownloadSentenceBody());
    sentence[sentence.size() - 4] = sentence[sentence.size() - 4] == '0' ? '1' : '0';
    logger.Receive(sentence);
    EXPECT_EQ(logger.Downloads(), 0);
    EXPECT_EQ(logger.BadSentences(), 1);
    EXPECT_EQ(Drain(logger), "$ERR,CHECKSUM\r\n");
}

TEST(SimLogger, SettingsQueryAndWrite) {
    SimLogger logger;
    logger.SetSettings("0", "0005", "12");
    logger.Receive(Sentence(ConfigQuerySentenceBody()));
    EXPECT_EQ(Drain(logger), SimFrame("VXs,VendrimaxQM-518,C0=0,O2=0005,OH=12"));
    logger.Receive(Sentence(ConfigWriteSentenceBody(true, u"30", u"")));
    EXPECT_EQ(Drain(logger), "$OK,VXS\r\n");
    EXPECT_EQ(logger.GpsAlwaysOn(), "1");
    EXPECT_EQ(logger.Interval(), "30");
    EXPECT_EQ(logger.Distance(), "");
}

TEST(SimLogger, EraseEmptiesTheMemory) {
    SimLogger logger(Records(5));
    logger.Receive(Sentence(EraseSentenceBody()));
    EXPECT_TRUE(logger.Memory().empty());
    EXPECT_EQ(Drain(logger), "$OK,LC,ERASED\r\n");
    logger.Receive(Sentence(DownloadSentenceBody()));
    EXPECT_EQ(Drain(logger), "$OK,LB\r\ndataCount=0\r\n");
}

TEST(SimLogger, Faults) {
    struct Case {
        const char* legend;
        SimFaults faults;
        std::vector<uint16_t> sequences;
        bool bChecksumsOk;
    };
    SimFaults corrupt, drop, repeat, skip, garbage;
    corrupt.nCorruptBlock = 1;
    drop.nDropBlock = 1;
    repeat.nRepeatSequence = 1;
    skip.nSkipSequence = 1;
    garbage.bGarbage = true;
    const Case cases[] = {
        {"corrupt block", corrupt, {0x0101, 0x0102, 0x0103}, false},
        {"dropped block", drop, {0x0101, 0x0103}, true},
        {"repeated number", repeat, {0x0101, 0x0101, 0x0103}, true},
        {"skipped number", skip, {0x0101, 0x0103, 0x0104}, true},
        {"garbage between blocks", garbage, {0x0101, 0x0102, 0x0103}, true},
    };
    for (const Case& c : cases) {
        SimLogger logger(Records(36), c.faults);
        logger.Receive(Sentence(DownloadSentenceBody()));
        const Parsed parsed = Parse(Drain(logger));
        std::vector<uint16_t> sequences;
        for (const auto& block : parsed.blocks) sequences.push_back(block.first);
        EXPECT_EQ(sequences, c.sequences) << c.legend;
        EXPECT_EQ(parsed.bChecksumsOk, c.bChecksumsOk) << c.legend;
    }
}

TEST(SimLogger, TimingFaultsShapeTheChunks) {
    SimFaults faults;
    faults.nStallBlock = 2;
    faults.nStallMs = 700;
    faults.nHangUpBlock = 3;
    SimLogger logger(Records(60), faults);
    logger.Receive(Sentence(DownloadSentenceBody()));
    const std::vector<SimChunk> chunks = Chunks(logger);
    ASSERT_EQ(chunks.size(), 5u);  // head, blocks 0 to 2, hang-up
    EXPECT_EQ(chunks[3].nPauseMs, 700u);
    EXPECT_TRUE(chunks[4].bHangUp);

    SimFaults split;
    split.nSplitSize = 5;
    SimLogger splitter(Records(12), split);
    splitter.Receive(Sentence(DownloadSentenceBody()));
    const std::vector<SimChunk> pieces = Chunks(splitter);
    for (const SimChunk& piece : pieces) EXPECT_LE(piece.strBytes.size(), 5u);
    std::string joined;
    for (const SimChunk& piece : pieces) joined += piece.strBytes;
    EXPECT_EQ(Parse(joined).blocks.size(), 1u);
}

TEST(SimLogger, CountFaults) {
    SimFaults zero;
    zero.bZeroRecords = true;
    SimLogger empty(Records(10), zero);
    empty.Receive(Sentence(DownloadSentenceBody()));
    EXPECT_EQ(Drain(empty), "$OK,LB\r\ndataCount=0\r\n");

    SimFaults noEol;
    noEol.bCountWithoutLineEnd = true;
    SimLogger logger(Records(1), noEol);
    logger.Receive(Sentence(DownloadSentenceBody()));
    const std::string stream = Drain(logger);
    EXPECT_EQ(stream.find("dataCount=1\r\n"), std::string::npos);
    EXPECT_NE(stream.find("dataCount=1#"), std::string::npos);
}

}  // namespace
