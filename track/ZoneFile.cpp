#include "ZoneFile.h"

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <vector>

namespace {

constexpr ZoneSeconds kUnixTimeOf2000 = 946684800;
// The open ends of the first and last spans: beyond any time asked about, yet far enough from the
// integer's limits that adding an offset or a few years cannot overflow.
constexpr ZoneSeconds kFar = ZoneSeconds{1} << 61;
constexpr size_t kHeaderSize = 44;
// The largest real zone files are a few kilobytes; this leaves room and bounds what is read.
constexpr uintmax_t kMaxFileSize = 1 << 20;

struct Header {
    uint32_t nIsUt;
    uint32_t nIsStd;
    uint32_t nLeap;
    uint32_t nTime;
    uint32_t nType;
    uint32_t nChar;
};

uint32_t Be32(const unsigned char* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

int64_t Be64(const unsigned char* p) {
    return static_cast<int64_t>((uint64_t{Be32(p)} << 32) | Be32(p + 4));
}

// The header at nAt, when it is whole.
bool ReadHeader(std::string_view b, size_t nAt, Header& h) {
    if (nAt > b.size() || b.size() - nAt < kHeaderSize || b.substr(nAt, 4) != "TZif") return false;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + nAt + 20);
    h = {Be32(p), Be32(p + 4), Be32(p + 8), Be32(p + 12), Be32(p + 16), Be32(p + 20)};
    return true;
}

// Counts this reader can use: a type index is one byte; the two indicator lists are empty or one
// entry per type.
bool Usable(const Header& h) {
    return h.nType >= 1 && h.nType <= 256 && (h.nIsUt == 0 || h.nIsUt == h.nType) &&
           (h.nIsStd == 0 || h.nIsStd == h.nType);
}

// The size of the data block after a header, with times of nTimeSize bytes; wide enough that no
// count can overflow it.
uint64_t BlockSize(const Header& h, uint64_t nTimeSize) {
    return uint64_t{h.nTime} * (nTimeSize + 1) + uint64_t{h.nType} * 6 + h.nChar +
           uint64_t{h.nLeap} * (nTimeSize + 4) + h.nIsStd + h.nIsUt;
}

struct Change {
    ZoneSeconds nTime;
    int32_t nOffset;
};

class FileZoneRules final : public ZoneRules {
  public:
    FileZoneRules(int32_t nFirstOffset, std::vector<Change> changes,
                  std::optional<AnnualZoneRule> closing)
        : m_nFirstOffset(nFirstOffset), m_vecChanges(std::move(changes)), m_closing(closing) {}

    ZoneSpan SpanAt(ZoneSeconds t) const override {
        const auto next =
            std::upper_bound(m_vecChanges.begin(), m_vecChanges.end(), t,
                             [](ZoneSeconds v, const Change& c) { return v < c.nTime; });
        if (next == m_vecChanges.begin()) {
            // A file without changes states its rule for all time.
            if (m_vecChanges.empty() && m_closing) return ByRule(t, -kFar);
            return {-kFar, next == m_vecChanges.end() ? kFar : next->nTime, m_nFirstOffset};
        }
        const Change& last = *(next - 1);
        if (next != m_vecChanges.end()) return {last.nTime, next->nTime, last.nOffset};
        if (m_closing) return ByRule(t, last.nTime);
        return {last.nTime, kFar, last.nOffset};
    }

  private:
    ZoneSpan ByRule(ZoneSeconds t, ZoneSeconds nFrom) const {
        if (!m_closing->bDst) return {nFrom, kFar, m_closing->nStdOffset};
        ZoneSpan span = SpanFromAnnualRules(t, [this](int64_t) { return *m_closing; });
        span.nBegin = std::max(span.nBegin, nFrom);
        return span;
    }

    int32_t m_nFirstOffset;            // before the first change
    std::vector<Change> m_vecChanges;  // ascending, each to a new offset
    std::optional<AnnualZoneRule> m_closing;
};

}  // namespace

std::shared_ptr<const ZoneRules> ParseZoneFile(std::string_view b) {
    Header h{};
    if (!ReadHeader(b, 0, h)) return nullptr;
    const bool bV1 = b[4] == '\0';
    size_t nAt = kHeaderSize;
    if (!bV1) {
        // Version 2 and later repeat the data with 64-bit times after the 32-bit block, which is
        // only skipped (it may be a minimal one).
        const uint64_t nSkip = BlockSize(h, 4);
        if (nSkip > b.size() - nAt || !ReadHeader(b, nAt + nSkip, h)) return nullptr;
        nAt += nSkip + kHeaderSize;
    }
    const size_t nTimeSize = bV1 ? 4 : 8;
    if (!Usable(h) || BlockSize(h, nTimeSize) > b.size() - nAt) return nullptr;
    const auto* p = reinterpret_cast<const unsigned char*>(b.data() + nAt);
    const unsigned char* pIndexes = p + size_t{h.nTime} * nTimeSize;
    const unsigned char* pTypes = pIndexes + h.nTime;

    std::vector<int32_t> offsets(h.nType);
    for (size_t i = 0; i < h.nType; ++i) {
        offsets[i] = static_cast<int32_t>(Be32(pTypes + 6 * i));
        // The range RFC 8536 allows: under a day, so that local times stay near UTC.
        if (offsets[i] < -89999 || offsets[i] > 93599) return nullptr;
    }
    std::vector<Change> changes;
    int64_t nPrevRaw = INT64_MIN;
    for (size_t i = 0; i < h.nTime; ++i) {
        const int64_t nRaw = bV1 ? static_cast<int32_t>(Be32(p + 4 * i)) : Be64(p + 8 * i);
        if (i > 0 && nRaw <= nPrevRaw) return nullptr;  // the times must ascend
        nPrevRaw = nRaw;
        if (pIndexes[i] >= h.nType) return nullptr;
        const ZoneSeconds t = std::clamp<int64_t>(nRaw, -kFar, kFar) - kUnixTimeOf2000;
        const int32_t nOffset = offsets[pIndexes[i]];
        // Times beyond the ends collapse onto one instant: the later change there wins.
        if (!changes.empty() && t <= changes.back().nTime) changes.pop_back();
        // A change of name or of daylight flag alone keeps the offset: no span ends there.
        const int32_t nBefore = changes.empty() ? offsets[0] : changes.back().nOffset;
        if (nOffset != nBefore) changes.push_back({t, nOffset});
    }

    std::optional<AnnualZoneRule> closing;
    const size_t nFooter = nAt + static_cast<size_t>(BlockSize(h, nTimeSize));
    if (!bV1 && nFooter < b.size() && b[nFooter] == '\n') {
        // An unreadable rule is passed over, as the C library does: the last offset stays.
        const size_t nEnd = b.find('\n', nFooter + 1);
        if (nEnd != std::string_view::npos && nEnd > nFooter + 1) {
            closing = ParsePosixZoneRule(b.substr(nFooter + 1, nEnd - nFooter - 1));
        }
    }
    return std::make_shared<FileZoneRules>(offsets[0], std::move(changes), closing);
}

std::optional<std::string> ReadZoneFileBytes(const std::filesystem::path& path) {
    std::error_code ec;
    const uintmax_t nSize = std::filesystem::file_size(path, ec);
    if (ec || nSize > kMaxFileSize) return std::nullopt;
    std::ifstream file(path, std::ios::binary);
    std::string bytes(static_cast<size_t>(nSize), '\0');
    if (!file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) return std::nullopt;
    return bytes;
}
