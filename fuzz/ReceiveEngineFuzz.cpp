// Drives the receive engine with reads of any size in every state: the input is a list of
// operations (raw chunks, well-formed or damaged blocks, count lines, markers, idle reads, mode
// changes), so that the fuzzer reaches block mode without having to guess checksums.

#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "protocol/ReceiveEngine.h"

namespace {

constexpr size_t kRecordSize = 20;

class CheckingEffects final : public ReceiveEffects {
  public:
    CheckingEffects(const ReceiveEngine*& pEngine, std::atomic<int32_t>& bDownloadMode)
        : m_pEngine(pEngine), m_bDownloadMode(bDownloadMode) {}

    uint8_t m_nFailMask = 0;       // bit 0: creation fails, bit 1: closing fails
    uint32_t m_nFailAppendAt = 0;  // the n-th append of a file fails; 0 never

    bool m_bOpen = false;
    std::vector<uint8_t> m_file;
    uint64_t m_nAppends = 0;
    bool m_bAppendFailed = false;

    void LineReceived(std::string_view text) override { FUZZ_CHECK(text.size() <= 300); }
    void IntervalReceived(std::string_view value) override {
        FUZZ_CHECK(value.find(',') == std::string_view::npos);
    }
    void DistanceReceived(std::string_view value) override {
        FUZZ_CHECK(value.find(',') == std::string_view::npos);
    }
    void SettingsReceived() override {}
    void PortGone() override {}
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        FUZZ_CHECK(m_bOpen);
        FUZZ_CHECK(nAnnounced == m_pEngine->AnnouncedCount() && nAnnounced > 0);
        FUZZ_CHECK(nReceived < nAnnounced);
        FUZZ_CHECK(nReceived * kRecordSize == m_file.size() || m_bAppendFailed);
    }
    void DownloadEnded(DownloadResult result) override {
        FUZZ_CHECK(m_bDownloadMode.load() == 0);
        FUZZ_CHECK(!m_bOpen);
        if (result == DR_OK) {
            FUZZ_CHECK(m_pEngine->ReceivedCount() >= m_pEngine->AnnouncedCount());
            FUZZ_CHECK(m_file.size() == size_t{m_pEngine->ReceivedCount()} * kRecordSize);
        }
    }
    bool CreateRawFile() override {
        FUZZ_CHECK(!m_bOpen);
        if (m_nFailMask & 1) return false;
        m_bOpen = true;
        m_file.clear();
        m_nAppends = 0;
        m_bAppendFailed = false;
        return true;
    }
    bool AppendRawFile(std::span<const uint8_t> records) override {
        FUZZ_CHECK(m_bOpen);
        FUZZ_CHECK(records.size() % kRecordSize == 0);
        // Only the payload of a whole, well-formed record block is ever written: the frame sits
        // in the engine's buffer right around the span.
        const uint8_t* p = records.data();
        const size_t n = records.size();
        const auto* pHeld = reinterpret_cast<const uint8_t*>(m_pEngine->Held().data());
        FUZZ_CHECK(p >= pHeld + 6 && p + n + 2 <= pHeld + m_pEngine->Length());
        FUZZ_CHECK(p[-6] == 0x02 && p[-5] == '$' && p[-4] == n + 8 && p[-3] == 0xA1);
        uint8_t nSum = 0;
        for (const uint8_t* q = p - 4; q < p + n; ++q) nSum ^= *q;
        FUZZ_CHECK(nSum == p[n] && p[n + 1] == '!');
        ++m_nAppends;
        if (m_nFailAppendAt != 0 && m_nAppends == m_nFailAppendAt) {
            m_bAppendFailed = true;
            return false;
        }
        m_file.insert(m_file.end(), records.begin(), records.end());
        return true;
    }
    bool CloseRawFile(bool) override {
        FUZZ_CHECK(m_bOpen);
        m_bOpen = false;
        return (m_nFailMask & 2) == 0;
    }

  private:
    const ReceiveEngine*& m_pEngine;
    std::atomic<int32_t>& m_bDownloadMode;
};

void AppendBlock(FuzzInput& in, uint16_t nExpected, std::string& stream) {
    const uint8_t nSeqDelta = in.Byte();
    const size_t nRecords = in.Byte() % 13;
    const uint8_t nDamage = in.Byte();
    const uint16_t nSequence = static_cast<uint16_t>(nExpected + (nSeqDelta < 200 ? 0 : nSeqDelta));
    std::string block;
    block += '\x02';
    block += '$';
    block += static_cast<char>(nRecords * kRecordSize + 8);
    block += static_cast<char>((nDamage & 1) ? 0xA2 : 0xA1);
    block += static_cast<char>(nSequence >> 8);
    block += static_cast<char>(nSequence & 0xFF);
    const std::span<const uint8_t> payload = in.Bytes(nRecords * kRecordSize);
    block.append(reinterpret_cast<const char*>(payload.data()), payload.size());
    block.resize(6 + nRecords * kRecordSize, '\0');
    uint8_t nSum = 0;
    for (size_t i = 2; i < block.size(); ++i) nSum ^= static_cast<uint8_t>(block[i]);
    if (nDamage & 2) nSum ^= 0x5A;
    block += static_cast<char>(nSum);
    block += (nDamage & 4) ? '?' : '!';
    stream += block;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    FuzzInput in(pData, nSize);
    LinkFlags flags;
    std::atomic<int32_t>& bDownloadMode = flags.m_bDownloadMode;
    const ReceiveEngine* pEngine = nullptr;
    CheckingEffects effects(pEngine, bDownloadMode);
    effects.m_nFailMask = in.Byte();
    effects.m_nFailAppendAt = in.Byte() % 8;
    ReceiveEngine engine(effects, flags.Refs(), 1000);
    pEngine = &engine;
    uint64_t nNowMs = 0;

    auto feedPieces = [&](std::string_view bytes) {
        const size_t nPiece = in.Byte() % 64 + 1;
        while (!bytes.empty()) {
            const std::span<uint8_t> space = engine.ReadSpace();
            FUZZ_CHECK(space.size() <= ReceiveEngine::kReadChunk);
            if (space.empty()) {
                engine.Idle(nNowMs);
                FUZZ_CHECK(engine.Length() <= ReceiveEngine::kBufferSize);
                // A full buffer must always be freed by an empty read; otherwise the worker stalls.
                FUZZ_CHECK(!engine.ReadSpace().empty());
                continue;
            }
            const size_t n = std::min({space.size(), bytes.size(), nPiece});
            std::memcpy(space.data(), bytes.data(), n);
            bytes.remove_prefix(n);
            engine.Commit(n, nNowMs);
            FUZZ_CHECK(engine.Length() <= ReceiveEngine::kBufferSize);
            FUZZ_CHECK(engine.IsRawFileOpen() == effects.m_bOpen);
        }
    };

    while (!in.Empty()) {
        const uint8_t nOp = in.Byte();
        switch (nOp % 8) {
            case 0: {
                const std::span<const uint8_t> raw = in.Bytes(in.Byte() % 65);
                feedPieces({reinterpret_cast<const char*>(raw.data()), raw.size()});
                break;
            }
            case 1:
                nNowMs += uint64_t{in.Byte()} * 16;
                engine.Idle(nNowMs);
                break;
            case 2:
                bDownloadMode.store(bDownloadMode.load() == 0 ? 1 : 0);
                break;
            case 3: {
                std::string stream;
                AppendBlock(in, engine.ExpectedSequence(), stream);
                feedPieces(stream);
                break;
            }
            case 4: {
                const uint8_t nCount = in.Byte();
                std::string line = "dataCount=" + std::to_string(nCount % 64);
                if ((nCount & 0x40) == 0) line += "\r\n";
                feedPieces(line);
                break;
            }
            case 5:
                feedPieces("===\r\n");
                break;
            case 6:
                engine.Stop();
                FUZZ_CHECK(!engine.IsRawFileOpen());
                break;
            default: {
                const std::string text = "VXs," + std::string(in.Field()) + "*00!\r\n";
                feedPieces(text);
                break;
            }
        }
        FUZZ_CHECK(engine.Length() <= ReceiveEngine::kBufferSize);
        FUZZ_CHECK(engine.IsRawFileOpen() == effects.m_bOpen);
        if (engine.IsRawFileOpen() && !effects.m_bAppendFailed) {
            FUZZ_CHECK(effects.m_file.size() == size_t{engine.ReceivedCount()} * kRecordSize);
        }
    }
    engine.Stop();
    FUZZ_CHECK(!effects.m_bOpen);
    return 0;
}
