// The settings reply parse on any buffered text in line mode: the values handed to the window
// are exactly the items of the reply (no separator inside, text taken from the input), and the
// settings are enabled only once both values have arrived.

#include <algorithm>
#include <atomic>
#include <string>

#include "FuzzInput.h"
#include "protocol/ReceiveEngine.h"

namespace {

class ReplyEffects final : public ReceiveEffects {
  public:
    explicit ReplyEffects(std::string_view input) : m_input(input) {}
    std::atomic<int32_t>* m_pInterval = nullptr;
    std::atomic<int32_t>* m_pDistance = nullptr;

    void AddLogEntry(std::string_view text) override {
        FUZZ_CHECK(text.size() >= 2 && text.substr(text.size() - 2) == "\r\n");
        FUZZ_CHECK(text.substr(0, text.size() - 2).find('\0') == std::string_view::npos);
    }
    void SetIntervalText(std::string_view value) override { CheckValue(value); }
    void SetDistanceText(std::string_view value) override { CheckValue(value); }
    void EnableSettings() override {
        FUZZ_CHECK(m_pInterval->load() == 1 && m_pDistance->load() == 1);
    }
    void PostProgress(uint32_t, uint32_t) override { FUZZ_CHECK(false); }
    void PostDone(DownloadResult) override { FUZZ_CHECK(false); }
    bool CreateRawFile() override {
        FUZZ_CHECK(false);
        return false;
    }
    bool AppendRawFile(std::span<const uint8_t>) override {
        FUZZ_CHECK(false);
        return false;
    }
    bool CloseRawFile() override {
        FUZZ_CHECK(false);
        return false;
    }

  private:
    void CheckValue(std::string_view value) {
        FUZZ_CHECK(value.size() <= ReceiveEngine::kBufferSize);
        FUZZ_CHECK(value.find(',') == std::string_view::npos);
        FUZZ_CHECK(value.find('\0') == std::string_view::npos);
        // A value is input text, except that the tail's '*' may have become the item's end.
        FUZZ_CHECK(m_input.find(value) != std::string_view::npos);
    }
    std::string_view m_input;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string_view input(reinterpret_cast<const char*>(pData), nSize);
    std::atomic<int32_t> bStop{0}, bDownloadMode{0}, bInterval{0}, bDistance{0};
    ReplyEffects effects(input);
    effects.m_pInterval = &bInterval;
    effects.m_pDistance = &bDistance;
    ReceiveEngine engine(effects, WorkerFlags{bStop, bDownloadMode, bInterval, bDistance});
    // Read sizes taken from the first byte, so that replies cut anywhere are parsed as well.
    const size_t nPiece = nSize == 0 ? 1 : pData[0] % 64 + 1;
    size_t nDone = 0;
    while (nDone < nSize) {
        const std::span<uint8_t> space = engine.ReadSpace();
        if (space.empty()) {
            engine.Idle(0);
            FUZZ_CHECK(!engine.ReadSpace().empty());
            continue;
        }
        const size_t n = std::min({space.size(), nSize - nDone, nPiece});
        std::copy(pData + nDone, pData + nDone + n, space.begin());
        nDone += n;
        engine.Commit(n, 0);
        FUZZ_CHECK(engine.Length() <= ReceiveEngine::kBufferSize);
    }
    return 0;
}
