#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/ReceiveEngine.h"

// Records every effect of the engine as one readable string, and the raw file's bytes.
class RecordingEffects : public ReceiveEffects {
  public:
    std::vector<std::string> effects;
    std::string strFile;
    bool bFileOpen = false;
    bool bFailCreate = false;
    bool bFailAppend = false;
    bool bFailClose = false;

    void AddLogEntry(std::string_view text) override {
        effects.push_back("line:" + std::string(text));
    }
    void SetIntervalText(std::string_view value) override {
        effects.push_back("interval:" + std::string(value));
    }
    void SetDistanceText(std::string_view value) override {
        effects.push_back("distance:" + std::string(value));
    }
    void EnableSettings() override { effects.push_back("enable"); }
    void PostProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        effects.push_back("progress:" + std::to_string(nReceived) + "/" +
                          std::to_string(nAnnounced));
    }
    void PostDone(DownloadResult result) override {
        effects.push_back("done:" + std::to_string(static_cast<int>(result)));
    }
    bool CreateRawFile() override {
        effects.push_back("create");
        if (bFailCreate) return false;
        bFileOpen = true;
        strFile.clear();
        return true;
    }
    bool AppendRawFile(std::span<const uint8_t> records) override {
        effects.push_back("append:" + std::to_string(records.size()));
        if (bFailAppend) return false;
        strFile.append(reinterpret_cast<const char*>(records.data()), records.size());
        return true;
    }
    void PostPortLost() override { effects.push_back("port lost"); }
    bool CloseRawFile(bool /*bComplete*/) override {
        effects.push_back("close");
        bFileOpen = false;
        return !bFailClose;
    }
};

struct EngineRig {
    std::atomic<int32_t> m_bStopWorker{0};
    std::atomic<int32_t> m_bDownloadMode{0};
    std::atomic<int32_t> m_bIntervalReceived{0};
    std::atomic<int32_t> m_bDistanceReceived{0};
    RecordingEffects effects;
    ReceiveEngine engine;

    explicit EngineRig(bool bDownload = false, uint32_t nDataLostMs = 1000)
        : engine(
              effects,
              WorkerFlags{m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived},
              nDataLostMs) {
        m_bDownloadMode = bDownload ? 1 : 0;
    }
};

// A framed block: 0x02 '$' L type seq(hi, lo) payload xor '!'. Record bytes follow from nFill.
inline std::string MakeBlock(uint16_t nSequence, size_t nRecords, uint8_t nType = 0xA1,
                             uint8_t nFill = 0x30) {
    const size_t nLength = 8 + 20 * nRecords;
    std::string block;
    block += '\x02';
    block += '$';
    block += static_cast<char>(nLength);
    block += static_cast<char>(nType);
    block += static_cast<char>(nSequence >> 8);
    block += static_cast<char>(nSequence & 0xFF);
    for (size_t i = 0; i < 20 * nRecords; ++i) block += static_cast<char>(nFill + i % 64);
    uint8_t nSum = 0;
    for (size_t i = 2; i < block.size(); ++i) nSum ^= static_cast<uint8_t>(block[i]);
    block += static_cast<char>(nSum);
    block += '!';
    return block;
}

inline std::string PayloadOf(const std::string& block) {
    return block.substr(6, block.size() - 8);
}
