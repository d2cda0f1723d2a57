#include "ReceiveEngine.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr std::string_view kCountKey = "dataCount=";
constexpr std::string_view kStartMarker = "===\r\n";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kSettingsReply = "VXs";
constexpr uint8_t kBlockStart = 0x02;
constexpr uint8_t kBlockTag = '$';
constexpr uint8_t kBlockEnd = '!';
constexpr size_t kBlockOverhead = 8;
constexpr size_t kRecordSize = 20;

// Blanks, then decimal digits up to the first other character; no digits give 0. Saturates.
uint32_t ParseCount(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    uint64_t nValue = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        nValue = std::min<uint64_t>(nValue * 10 + static_cast<uint64_t>(text[i] - '0'), UINT32_MAX);
    }
    return static_cast<uint32_t>(nValue);
}

}  // namespace

std::span<uint8_t> ReceiveEngine::ReadSpace() {
    const size_t nSpace = std::min(kReadChunk, kBufferSize - m_nLength);
    return {m_buffer + m_nLength, nSpace};
}

namespace {

// A text as a zero-terminated string shows it: up to its first zero byte.
std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

}  // namespace

void ReceiveEngine::Consume(size_t nBytes) {
    nBytes = std::min(nBytes, m_nLength);
    std::memmove(m_buffer, m_buffer + nBytes, m_nLength - nBytes);
    m_nLength -= nBytes;
    Terminate();
}

void ReceiveEngine::Commit(size_t nBytes, uint64_t nNowMs) {
    m_nLength = std::min(m_nLength + nBytes, kBufferSize);
    Terminate();
    m_nLastByteMs = nNowMs;
    // The mode is read once and holds for this whole step.
    if (m_flags.m_bDownloadMode.load() == 0) {
        LineStep();
        return;
    }
    // Each new state works at once on the bytes already held behind what the last one consumed.
    if (!m_bFileOpen) {
        AwaitCountStep();
        if (!m_bFileOpen) return;
    }
    if (!m_bMarkerSeen && !AwaitMarkerStep()) return;
    BlockStep();
    if (!m_bFileOpen && m_nLength > 0) {
        // What followed the last block is ordinary text again.
        ParseSettingsReply();
        OutputLines(m_nLength);
    }
}

void ReceiveEngine::Idle(uint64_t nNowMs) {
    // A held block start never fills the buffer (a block is at most 255 bytes and the scan keeps
    // nothing in front of it), so dropping bytes in block mode would only cut a block that is
    // still arriving.
    const bool bBlockMode = m_bFileOpen && m_bMarkerSeen;
    if (m_nLength > kOverflowMark && !bBlockMode) Consume(kOverflowDrop);
    if (m_bFileOpen && nNowMs >= m_nLastByteMs && nNowMs - m_nLastByteMs >= m_nDataLostMs) {
        if (m_flags.m_bDownloadMode.load() != 0) {
            EndDownload(DR_DATA_LOST);
        } else {
            // Cancelled, and the canceller has reported it: only the file is left to close.
            static_cast<void>(m_effects.CloseRawFile());
            m_bFileOpen = false;
        }
    }
}

void ReceiveEngine::Stop() {
    if (m_bFileOpen) EndDownload(DR_ABORTED);
}

void ReceiveEngine::Feed(std::span<const uint8_t> bytes, uint64_t nNowMs) {
    size_t nDone = 0;
    while (nDone < bytes.size()) {
        const std::span<uint8_t> space = ReadSpace();
        if (space.empty()) {
            Idle(nNowMs);
            continue;
        }
        const size_t n = std::min(space.size(), bytes.size() - nDone);
        std::memcpy(space.data(), bytes.data() + nDone, n);
        nDone += n;
        Commit(n, nNowMs);
    }
}

void ReceiveEngine::Feed(std::string_view bytes, uint64_t nNowMs) {
    Feed(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()),
         nNowMs);
}

void ReceiveEngine::LineStep() {
    // Download mode was switched off from outside while the file was open.
    if (m_bFileOpen) EndDownload(DR_ABORTED);
    ParseSettingsReply();
    OutputLines(m_nLength);
}

void ReceiveEngine::ParseSettingsReply() {
    // Searches look past zero bytes: a stray zero (binary left over from a cancelled download)
    // must not hide the text behind it until the buffer overflows.
    const std::string_view text = Held();
    const size_t nStart = text.find(kSettingsReply);
    if (nStart == std::string_view::npos) return;
    std::string reply(UpToZero(text.substr(nStart)));
    // The checksum tail "*XX!" becomes one more item separator so that the last item counts.
    for (size_t i = 0; i + 3 < reply.size(); ++i) {
        if (reply[i] == '*' && reply[i + 3] == '!') {
            reply[i] = ',';
            break;
        }
    }
    const std::string_view items(reply);
    size_t nItem = 0;
    for (size_t nComma = items.find(','); nComma != std::string_view::npos;
         nItem = nComma + 1, nComma = items.find(',', nItem)) {
        const std::string_view item = items.substr(nItem, nComma - nItem);
        const size_t nEquals = item.find('=');
        if (nEquals == std::string_view::npos) continue;
        const std::string_view key = item.substr(0, 2);
        const std::string_view value = item.substr(nEquals + 1);
        if (key == "O2") {
            m_flags.m_bIntervalReceived.store(1);
            m_effects.SetIntervalText(value);
        } else if (key == "OH") {
            m_flags.m_bDistanceReceived.store(1);
            m_effects.SetDistanceText(value);
        }
    }
    if (m_flags.m_bIntervalReceived.load() != 0 && m_flags.m_bDistanceReceived.load() != 0) {
        m_effects.EnableSettings();
    }
}

void ReceiveEngine::OutputLines(size_t nLimit) {
    std::string entry;
    for (;;) {
        const std::string_view text = Held();
        const size_t nEnd = text.find(kLineEnd);
        if (nEnd == std::string_view::npos || nEnd + kLineEnd.size() > nLimit) return;
        entry.assign(UpToZero(text.substr(0, nEnd)));
        entry += kLineEnd;
        m_effects.AddLogEntry(entry);
        Consume(nEnd + kLineEnd.size());
        nLimit -= nEnd + kLineEnd.size();
    }
}

void ReceiveEngine::AwaitCountStep() {
    const std::string_view text = Held();
    const size_t nKey = text.find(kCountKey);
    const size_t nEnd =
        nKey == std::string_view::npos ? nKey : text.find(kLineEnd, nKey + kCountKey.size());
    if (nEnd != std::string_view::npos) {
        const uint32_t nAnnounced =
            ParseCount(text.substr(nKey + kCountKey.size(), nEnd - nKey - kCountKey.size()));
        OutputLines(nEnd + kLineEnd.size());
        if (nAnnounced == 0) {
            Finish(DR_NO_DATA);
        } else if (!m_effects.CreateRawFile()) {
            Finish(DR_FILE_ERROR);
        } else {
            m_bFileOpen = true;
            m_bMarkerSeen = false;
            m_nAnnounced = nAnnounced;
            m_nReceived = 0;
            m_nExpectedSequence = kFirstSequence;
            m_effects.PostProgress(m_nAnnounced, 0);
        }
    }
    if (!m_bFileOpen) OutputLines(m_nLength);
}

bool ReceiveEngine::AwaitMarkerStep() {
    const size_t nMarker = Held().find(kStartMarker);
    if (nMarker == std::string_view::npos) return false;
    Consume(nMarker + kStartMarker.size());
    m_bMarkerSeen = true;
    return true;
}

void ReceiveEngine::BlockStep() {
    const uint8_t* b = m_buffer;
    size_t p = 0;
    while (p < m_nLength) {
        if (b[p] != kBlockStart) {
            ++p;
            continue;
        }
        if (p + kBlockOverhead > m_nLength) break;
        const size_t nBlock = b[p + 2];
        // A length below the header and trailer is no block; the scan moves on by one byte.
        if (b[p + 1] != kBlockTag || nBlock < kBlockOverhead) {
            ++p;
            continue;
        }
        if (p + nBlock > m_nLength) break;
        if (b[p + nBlock - 1] != kBlockEnd) {
            ++p;
            continue;
        }
        uint8_t nSum = 0;
        for (size_t i = p + 2; i <= p + nBlock - 3; ++i) nSum ^= b[i];
        if (nSum != b[p + nBlock - 2]) {
            ++p;
            continue;
        }
        const auto nSequence = static_cast<uint16_t>((b[p + 4] << 8) | b[p + 5]);
        if (nSequence != m_nExpectedSequence) {
            char entry[64];
            std::snprintf(entry, sizeof entry, "%d %04x <> %02x%02x", static_cast<int>(m_nReceived),
                          m_nExpectedSequence, b[p + 4], b[p + 5]);
            m_effects.AddLogEntry(entry);
            m_nExpectedSequence = nSequence;
        }
        const size_t nPayload = nBlock - kBlockOverhead;
        if (b[p + 3] != kRecordBlockType || nPayload % kRecordSize != 0) {
            p += nBlock;
            continue;
        }
        if (!m_effects.AppendRawFile({b + p + 6, nPayload})) {
            p += nBlock;
            EndDownload(DR_FILE_ERROR);
            break;
        }
        m_nReceived += static_cast<uint32_t>(nPayload / kRecordSize);
        ++m_nExpectedSequence;
        p += nBlock;
        if (m_nReceived >= m_nAnnounced) {
            EndDownload(DR_OK);
            break;
        }
        m_effects.PostProgress(m_nAnnounced, m_nReceived);
    }
    Consume(p);
}

void ReceiveEngine::EndDownload(DownloadResult result) {
    const bool bClosed = m_effects.CloseRawFile();
    m_bFileOpen = false;
    if (result == DR_OK && !bClosed) result = DR_FILE_ERROR;
    Finish(result);
}

void ReceiveEngine::Finish(DownloadResult result) {
    m_flags.m_bDownloadMode.store(0);
    m_effects.PostDone(result);
}
