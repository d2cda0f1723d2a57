#include "SimLogger.h"

#include <cstdio>

namespace {

constexpr std::string_view kIdentity = "VendrimaxQM-518";
constexpr size_t kMaxInput = 1024;

std::vector<std::string_view> SplitFields(std::string_view body) {
    std::vector<std::string_view> fields;
    size_t nStart = 0;
    for (;;) {
        const size_t nComma = body.find(',', nStart);
        fields.push_back(body.substr(nStart, nComma - nStart));
        if (nComma == std::string_view::npos) return fields;
        nStart = nComma + 1;
    }
}

// The body of a framed sentence "body*XX!" when its checksum is right.
std::optional<std::string_view> CheckedBody(std::string_view line) {
    if (line.size() < 4 || line.back() != '!' || line[line.size() - 4] != '*') return std::nullopt;
    const std::string_view body = line.substr(0, line.size() - 4);
    uint8_t nSum = 0;
    for (char c : body) nSum ^= static_cast<uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!", nSum);
    if (line.substr(line.size() - 4) != tail) return std::nullopt;
    return body;
}

}  // namespace

std::string SimFrame(std::string_view body) {
    uint8_t nSum = 0;
    for (char c : body) nSum ^= static_cast<uint8_t>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!", nSum);
    return std::string(body) + tail + "\r\n";
}

SimLogger::SimLogger(std::vector<uint8_t> memory, SimFaults faults)
    : m_memory(std::move(memory)), m_faults(faults) {}

void SimLogger::SetSettings(std::string strC0, std::string strO2, std::string strOH) {
    m_strC0 = std::move(strC0);
    m_strO2 = std::move(strO2);
    m_strOH = std::move(strOH);
}

std::optional<SimChunk> SimLogger::TakeOutput() {
    if (m_output.empty()) return std::nullopt;
    SimChunk chunk = std::move(m_output.front());
    m_output.pop_front();
    return chunk;
}

void SimLogger::Receive(std::string_view bytes) {
    m_strInput.append(bytes);
    for (size_t nEnd = m_strInput.find("\r\n"); nEnd != std::string::npos;
         nEnd = m_strInput.find("\r\n")) {
        const std::string line = m_strInput.substr(0, nEnd);
        m_strInput.erase(0, nEnd + 2);
        HandleLine(line);
    }
    // Noise without line ends must not grow without bound.
    if (m_strInput.size() > kMaxInput) m_strInput.erase(0, m_strInput.size() - kMaxInput);
}

void SimLogger::Reply(std::string strBytes, uint32_t nPauseMs) {
    const size_t nSplit = m_faults.nSplitSize;
    if (nSplit == 0 || strBytes.size() <= nSplit) {
        m_output.push_back({std::move(strBytes), nPauseMs, false});
        return;
    }
    for (size_t i = 0; i < strBytes.size(); i += nSplit) {
        // A short pause between the pieces makes them arrive as separate reads.
        m_output.push_back({strBytes.substr(i, nSplit), i == 0 ? nPauseMs : 1u, false});
    }
}

void SimLogger::HandleLine(std::string_view line) {
    const size_t nStart = line.find("VX");
    if (nStart == std::string_view::npos) return;  // not a sentence: a real logger ignores it
    const std::optional<std::string_view> body = CheckedBody(line.substr(nStart));
    if (!body) {
        Reply("$ERR,CHECKSUM\r\n");
        return;
    }
    const std::vector<std::string_view> fields = SplitFields(*body);
    if (fields.size() < 3 || fields[1] != kIdentity) {
        Reply("$ERR,DEVICE\r\n");
        return;
    }
    if (fields[0] == "VXC" && fields.size() == 3 && fields[2] == "LB") {
        ++m_nDownloads;
        if (!DownloadFaults().bIgnoreDownload) StreamMemory(DownloadFaults());
        Chatter();
    } else if (fields[0] == "VXC" && fields.size() == 3 && fields[2] == "LC") {
        ++m_nErasures;
        m_memory.clear();
        Reply("$OK,LC,ERASED\r\n");
    } else if (fields[0] == "VXC" && *body == "VXC," + std::string(kIdentity) + ",L1(C0,O2,OH)") {
        Reply(SimFrame("VXs," + std::string(kIdentity) + ",C0=" + m_strC0 + ",O2=" + m_strO2 +
                       ",OH=" + m_strOH));
    } else if (fields[0] == "VXS") {
        for (size_t i = 2; i < fields.size(); ++i) {
            const std::string_view item = fields[i];
            if (item.substr(0, 3) == "C0=") m_strC0 = item.substr(3);
            if (item.substr(0, 3) == "O2=") m_strO2 = item.substr(3);
            if (item.substr(0, 3) == "OH=") m_strOH = item.substr(3);
        }
        Reply("$OK,VXS\r\n");
    } else {
        Reply("$ERR,COMMAND\r\n");
    }
}

std::string SimLogger::MakeBlock(uint16_t nSequence, const uint8_t* pRecords, size_t nRecords) {
    const size_t nLength = 8 + nRecords * kRecordSize;
    std::string block;
    block.reserve(nLength);
    block += '\x02';
    block += '$';
    block += static_cast<char>(nLength);
    block += '\xA1';
    block += static_cast<char>(nSequence >> 8);
    block += static_cast<char>(nSequence & 0xFF);
    block.append(reinterpret_cast<const char*>(pRecords), nRecords * kRecordSize);
    uint8_t nSum = 0;
    for (size_t i = 2; i < block.size(); ++i) nSum ^= static_cast<uint8_t>(block[i]);
    block += static_cast<char>(nSum);
    block += '!';
    return block;
}

void SimLogger::Chatter() {
    // A receiver that keeps talking, as some do while their memory is read or after a request
    // they did not take.
    for (int i = 0; m_faults.nChatterMs > 0 && i < 100; ++i) {
        Reply("$PVXT,STATUS,OK\r\n", m_faults.nChatterMs);
    }
}

SimFaults SimLogger::DownloadFaults() const {
    if (!m_faults.bFirstDownloadOnly || m_nDownloads <= 1) return m_faults;
    SimFaults clean;
    clean.nSplitSize = m_faults.nSplitSize;
    clean.nChatterMs = m_faults.nChatterMs;
    return clean;
}

void SimLogger::StreamMemory(const SimFaults& faults) {
    const size_t nRecords = faults.bZeroRecords ? 0 : m_memory.size() / kRecordSize;
    const size_t nAnnounced =
        faults.nAnnounce >= 0 ? static_cast<size_t>(faults.nAnnounce) : nRecords;
    std::string head = "$OK,LB\r\ndataCount=" + std::to_string(nAnnounced);
    if (!faults.bCountWithoutLineEnd) head += "\r\n";
    if (nRecords == 0) {
        Reply(std::move(head));
        return;
    }
    // Bytes the computer must drop before the marker.
    head += "#\xA5\xA5#===\r\n";
    Reply(std::move(head));
    uint16_t nSequence = kFirstSequence;
    int nBlock = 0;
    for (size_t nAt = 0; nAt < nRecords; nAt += kRecordsPerBlock, ++nBlock) {
        const size_t nCount = std::min(kRecordsPerBlock, nRecords - nAt);
        if (nBlock == faults.nSkipSequence) ++nSequence;
        const uint16_t nSent = nBlock == faults.nRepeatSequence && nBlock > 0
                                   ? static_cast<uint16_t>(nSequence - 1)
                                   : nSequence;
        ++nSequence;
        if (nBlock == faults.nHangUpBlock) {
            m_output.push_back({"", 0, true});
            return;
        }
        if (nBlock == faults.nDropBlock) continue;
        std::string bytes;
        if (faults.bGarbage && nBlock > 0) bytes += std::string("x\x02q\x02$\x05junk\r\n", 12);
        std::string block = MakeBlock(nSent, m_memory.data() + nAt * kRecordSize, nCount);
        if (nBlock == faults.nCorruptBlock) block[block.size() - 2] ^= 0x5A;
        if (faults.bFalseStartBeforeLast && nAt + nCount >= nRecords) bytes += "\x02$\xFA";
        bytes += block;
        if (nBlock == faults.nResendBlock) bytes += block;
        Reply(std::move(bytes), nBlock == faults.nStallBlock ? faults.nStallMs : 0);
    }
}
