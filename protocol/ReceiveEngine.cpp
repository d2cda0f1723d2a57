#include "ReceiveEngine.h"

#include "track/Digits.h"
#include "track/FixRecord.h"

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
constexpr size_t kRecordSize = kFixRecordSize;

// Blanks, then decimal digits up to the first other character; no digits give 0. Saturates.
uint32_t ParseCount(std::string_view text) {
    size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    return static_cast<uint32_t>(ReadDigits(text, i, UINT32_MAX).nValue);
}

// A text as a zero-terminated string shows it: up to its first zero byte.
std::string_view UpToZero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

// Printable ASCII, tab, and the printable half of Latin-1. Binary records are full of zeros and
// other control bytes, so a stretch of them almost never passes as a line.
bool IsTextByte(uint8_t b) {
    return (b >= 0x20 && b <= 0x7E) || b == '\t' || b >= 0xA0;
}

}  // namespace

bool IsTextLine(std::string_view line) {
    return std::all_of(line.begin(), line.end(),
                       [](char c) { return IsTextByte(static_cast<uint8_t>(c)); });
}

std::string SkippedBytesEntry(uint64_t nBytes) {
    return "[" + std::to_string(nBytes) + " binary bytes skipped]";
}

std::span<uint8_t> ReceiveEngine::ReadSpace() {
    const size_t nSpace = std::min(kReadChunk, kBufferSize - m_nLength);
    return {m_buffer + m_nLength, nSpace};
}

void ReceiveEngine::Consume(size_t nBytes) {
    nBytes = std::min(nBytes, m_nLength);
    std::memmove(m_buffer, m_buffer + nBytes, m_nLength - nBytes);
    m_nLength -= nBytes;
    Terminate();
}

void ReceiveEngine::FollowDownloadMode(uint64_t nNowMs) {
    const bool bDownload = m_flags.m_bDownloadMode.load() != 0;
    const uint32_t nRequests = m_nRequests.load();
    const bool bNewRequest = nRequests != m_nRequestsSeen;
    m_nRequestsSeen = nRequests;
    if (bNewRequest && IsRawFileOpen()) {
        // A cancelled download whose file was still open: its result has been given already.
        static_cast<void>(m_effects.CloseRawFile(false));
        m_state = State::Lines;
    }
    if (bDownload && (bNewRequest || m_state == State::Lines)) {
        m_state = State::AwaitingCount;
        m_nProgressMs = nNowMs;
    } else if (!bDownload && m_state == State::AwaitingCount) {
        m_state = State::Lines;  // cancelled before the count line: the canceller reported it
    }
}

void ReceiveEngine::Commit(size_t nBytes, uint64_t nNowMs) {
    m_nLength = std::min(m_nLength + nBytes, kBufferSize);
    Terminate();
    // The mode is read once and holds for this whole step.
    FollowDownloadMode(nNowMs);
    if (m_state != State::Lines && m_flags.m_bDownloadMode.load() == 0) {
        // Cancelled from outside while the raw file was open.
        EndDownload(DR_ABORTED);
    }
    // Each new state works at once on the bytes already held behind what the last one consumed.
    if (m_state == State::AwaitingCount) AwaitCountStep(nNowMs);
    if (m_state == State::AwaitingMarker) AwaitMarkerStep(nNowMs);
    if (m_state == State::Blocks || m_state == State::Trailing) BlockStep(nNowMs, false);
    // What followed the last block, or everything in line mode, is ordinary text.
    if (m_state == State::Lines) LineStep();
    WatchProgress(nNowMs);
}

void ReceiveEngine::Idle(uint64_t nNowMs) {
    FollowDownloadMode(nNowMs);
    if (m_state == State::Blocks && m_flags.m_bDownloadMode.load() != 0 && m_nLength > 0) {
        BlockStep(nNowMs, true);
    }
    if (m_state == State::Trailing &&
        (m_nLength >= kBufferSize || nNowMs >= m_nProgressMs + kTrailingQuietMs)) {
        // Quiet since the announced count was reached (or the buffer filled without a block):
        // what is held now is no longer part of the download.
        EndTrailing();
        LineStep();
    }
    // A held block start never fills the buffer (a block is at most 255 bytes and the scan keeps
    // nothing in front of it), so dropping bytes in block mode would only cut a block that is
    // still arriving.
    const bool bFull = m_nLength >= kBufferSize;
    if (m_nLength > kOverflowMark && m_state != State::Blocks && m_state != State::Trailing) {
        Consume(kOverflowDrop);
        // Between the count line and the start marker nothing is listed, not even this.
        if (m_state != State::AwaitingMarker) m_nSkippedBytes += kOverflowDrop;
    } else if (!bFull) {
        // The line went quiet: a run of binary has ended. Its unterminated tail would otherwise
        // stick to the front of the next text line.
        if (m_state == State::Lines || m_state == State::AwaitingCount) DropHeldBinary();
        FlushSkippedBytes();
    }
    WatchProgress(nNowMs);
}

void ReceiveEngine::WatchProgress(uint64_t nNowMs) {
    if (m_state == State::Lines || nNowMs < m_nProgressMs ||
        nNowMs - m_nProgressMs < m_nDataLostMs) {
        return;
    }
    if (m_state == State::Trailing && m_flags.m_bDownloadMode.load() != 0) {
        EndTrailing();
    } else if (m_flags.m_bDownloadMode.load() == 0) {
        // Cancelled, and the canceller has reported it: only the file is left to close.
        if (IsRawFileOpen()) static_cast<void>(m_effects.CloseRawFile(false));
        m_state = State::Lines;
    } else if (m_state == State::AwaitingCount) {
        Finish(DR_NO_ANSWER);
    } else {
        EndDownload(DR_DATA_LOST);
    }
}

void ReceiveEngine::PortLost() {
    if (m_state == State::Lines) return;
    if (m_state == State::Trailing && m_flags.m_bDownloadMode.load() != 0) {
        EndTrailing();  // every announced record had arrived
    } else if (m_flags.m_bDownloadMode.load() == 0) {
        if (IsRawFileOpen()) static_cast<void>(m_effects.CloseRawFile(false));
        m_state = State::Lines;
    } else if (m_state == State::AwaitingCount) {
        Finish(DR_PORT_LOST);
    } else {
        EndDownload(DR_PORT_LOST);
    }
}

void ReceiveEngine::Stop() {
    if (m_state == State::Trailing && m_flags.m_bDownloadMode.load() != 0) EndTrailing();
    if (IsRawFileOpen()) EndDownload(DR_ABORTED);
    FlushSkippedBytes();
}

void ReceiveEngine::DropHeldBinary() {
    const std::string_view held = Held();
    for (size_t i = held.size(); i > 0; --i) {
        if (!IsTextByte(static_cast<uint8_t>(held[i - 1]))) {
            m_nSkippedBytes += i;
            Consume(i);
            return;
        }
    }
}

void ReceiveEngine::FlushSkippedBytes() {
    if (m_nSkippedBytes == 0) return;
    m_effects.LineReceived(SkippedBytesEntry(m_nSkippedBytes));
    m_nSkippedBytes = 0;
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
            m_effects.IntervalReceived(value);
        } else if (key == "OH") {
            m_flags.m_bDistanceReceived.store(1);
            m_effects.DistanceReceived(value);
        }
    }
    if (m_flags.m_bIntervalReceived.load() != 0 && m_flags.m_bDistanceReceived.load() != 0) {
        m_effects.SettingsReceived();
    }
}

void ReceiveEngine::OutputLines(size_t nLimit) {
    std::string entry;
    for (;;) {
        const std::string_view text = Held();
        const size_t nEnd = text.find(kLineEnd);
        if (nEnd == std::string_view::npos || nEnd + kLineEnd.size() > nLimit) return;
        const std::string_view line = text.substr(0, nEnd);
        if (IsTextLine(line) && (!line.empty() || m_nSkippedBytes == 0)) {
            FlushSkippedBytes();
            entry.assign(line);
            entry += kLineEnd;
            m_effects.LineReceived(entry);
        } else {
            // Binary (what a logger still sending a cancelled download leaves on the line), or
            // an empty line among it: counted, and reported as one entry when the run ends.
            m_nSkippedBytes += nEnd + kLineEnd.size();
        }
        Consume(nEnd + kLineEnd.size());
        nLimit -= nEnd + kLineEnd.size();
    }
}

void ReceiveEngine::AwaitCountStep(uint64_t nNowMs) {
    const std::string_view text = Held();
    const size_t nKey = text.find(kCountKey);
    const size_t nEnd =
        nKey == std::string_view::npos ? nKey : text.find(kLineEnd, nKey + kCountKey.size());
    if (nEnd == std::string_view::npos) {
        // The count line is not complete yet: the lines before it go to the list.
        OutputLines(m_nLength);
        return;
    }
    const uint32_t nAnnounced =
        ParseCount(text.substr(nKey + kCountKey.size(), nEnd - nKey - kCountKey.size()));
    OutputLines(nEnd + kLineEnd.size());
    if (nAnnounced == 0) {
        Finish(DR_NO_DATA);
    } else if (!m_effects.CreateRawFile()) {
        Finish(DR_FILE_ERROR);
    } else {
        m_state = State::AwaitingMarker;
        m_nAnnounced = nAnnounced;
        m_nReceived = 0;
        m_nExpectedSequence = kFirstSequence;
        m_bMoreThanAnnounced = false;
        m_nLastBlock = 0;
        m_nProgressMs = nNowMs;
        m_effects.DownloadProgress(m_nAnnounced, 0);
    }
}

void ReceiveEngine::AwaitMarkerStep(uint64_t nNowMs) {
    const size_t nMarker = Held().find(kStartMarker);
    if (nMarker == std::string_view::npos) return;
    Consume(nMarker + kStartMarker.size());
    m_state = State::Blocks;
    m_nProgressMs = nNowMs;
}

ReceiveEngine::BlockCheck ReceiveEngine::CheckBlock(size_t p) const {
    const uint8_t* b = m_buffer;
    if (b[p] != kBlockStart) return BlockCheck::NotABlock;
    if (p + kBlockOverhead > m_nLength) return BlockCheck::Incomplete;
    const size_t nBlock = b[p + 2];
    // A length below the header and trailer is no block.
    if (b[p + 1] != kBlockTag || nBlock < kBlockOverhead) return BlockCheck::NotABlock;
    if (p + nBlock > m_nLength) return BlockCheck::Incomplete;
    if (b[p + nBlock - 1] != kBlockEnd) return BlockCheck::NotABlock;
    uint8_t nSum = 0;
    for (size_t i = p + 2; i <= p + nBlock - 3; ++i) nSum ^= b[i];
    return nSum == b[p + nBlock - 2] ? BlockCheck::Valid : BlockCheck::NotABlock;
}

bool ReceiveEngine::IsRetransmission(size_t p) const {
    const size_t nBlock = m_buffer[p + 2];
    return m_nLastBlock == nBlock && std::memcmp(m_lastBlock, m_buffer + p, nBlock) == 0;
}

void ReceiveEngine::BlockStep(uint64_t nNowMs, bool bNoMoreToCome) {
    // After the announced count only whole blocks are taken: other bytes may be the text that
    // follows the download, and stay for line mode.
    size_t p = 0;
    size_t nTaken = 0;
    while (p < m_nLength && (m_state == State::Blocks || m_state == State::Trailing)) {
        const BlockCheck check = CheckBlock(p);
        if (check == BlockCheck::NotABlock) {
            ++p;
            continue;
        }
        if (check == BlockCheck::Incomplete) {
            // Bytes that came to rest never wait for more: when a whole block stands behind this
            // start, the start was false.
            bool bBlockBehind = false;
            for (size_t q = p + 1; bNoMoreToCome && q < m_nLength && !bBlockBehind; ++q) {
                bBlockBehind = CheckBlock(q) == BlockCheck::Valid;
            }
            if (!bBlockBehind) break;
            ++p;
            continue;
        }
        const size_t nBlock = m_buffer[p + 2];
        const bool bGoOn = AcceptBlock(p, nNowMs);
        p += nBlock;
        nTaken = p;
        if (!bGoOn) break;
    }
    Consume(m_state == State::Trailing ? nTaken : p);
}

bool ReceiveEngine::AcceptBlock(size_t p, uint64_t nNowMs) {
    const uint8_t* b = m_buffer + p;
    const size_t nBlock = b[2];
    const auto nSequence = static_cast<uint16_t>((b[4] << 8) | b[5]);
    const bool bRetransmission = IsRetransmission(p);
    if (nSequence != m_nExpectedSequence) {
        char entry[64];
        std::snprintf(entry, sizeof entry, "%d %04x <> %02x%02x", static_cast<int>(m_nReceived),
                      m_nExpectedSequence, b[4], b[5]);
        m_effects.LineReceived(entry);
        // A retransmission keeps the count where it is: the next new block is still expected.
        if (bRetransmission) return true;
        m_nExpectedSequence = nSequence;
    }
    const size_t nPayload = nBlock - kBlockOverhead;
    if (b[3] != kRecordBlockType || nPayload % kRecordSize != 0) return true;
    if (!m_effects.AppendRawFile({b + 6, nPayload})) {
        EndDownload(DR_FILE_ERROR);
        return false;
    }
    std::memcpy(m_lastBlock, b, nBlock);
    m_nLastBlock = nBlock;
    m_nReceived += static_cast<uint32_t>(nPayload / kRecordSize);
    ++m_nExpectedSequence;
    m_nProgressMs = nNowMs;
    if (m_state == State::Trailing) {
        // Records past the announced count: the count was wrong, so nothing proves the file whole.
        if (nPayload > 0) m_bMoreThanAnnounced = true;
        return true;
    }
    if (m_nReceived >= m_nAnnounced) {
        m_state = State::Trailing;
        return true;
    }
    m_effects.DownloadProgress(m_nAnnounced, m_nReceived);
    return true;
}

void ReceiveEngine::EndDownload(DownloadResult result) {
    // The file is whole only when exactly what was announced (or the block that completed it)
    // came; anything else keeps it as a partial download.
    const bool bClosed = m_effects.CloseRawFile(result == DR_OK);
    m_state = State::Lines;
    if (result == DR_OK && !bClosed) result = DR_FILE_ERROR;
    Finish(result);
}

void ReceiveEngine::EndTrailing() {
    EndDownload(m_bMoreThanAnnounced ? DR_MORE_THAN_ANNOUNCED : DR_OK);
}

void ReceiveEngine::Finish(DownloadResult result) {
    m_state = State::Lines;
    m_flags.m_bDownloadMode.store(0);
    m_effects.DownloadEnded(result);
}
