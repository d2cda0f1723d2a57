#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Faults the simulated logger can put into a download. Block numbers count from 0.
struct SimFaults {
    int nCorruptBlock = -1;     // this block's checksum byte is wrong
    int nDropBlock = -1;        // this block is never sent
    int nRepeatSequence = -1;   // this block carries the previous block's sequence number
    int nSkipSequence = -1;     // from this block on the sequence numbers are one ahead
    bool bGarbage = false;      // stray bytes (false block starts among them) between blocks
    size_t nSplitSize = 0;      // every piece of output is written in pieces of this size
    int nStallBlock = -1;       // pause before this block...
    uint32_t nStallMs = 0;      // ...for this long
    int nHangUpBlock = -1;      // hang up before this block
    bool bZeroRecords = false;  // announce no records whatever the memory holds
    int nAnnounce = -1;         // announce this many records, yet send the whole memory
    bool bCountWithoutLineEnd = false;   // the count line lacks its CR LF
    int nResendBlock = -1;               // this block is sent twice, the same bytes both times
    bool bFalseStartBeforeLast = false;  // 02 24 FA, the start of a block never finished, before
                                         // the last block
    bool bIgnoreDownload = false;        // the download request gets no answer at all
    uint32_t nChatterMs = 0;             // after its last output, a text line every this many ms
    bool bFirstDownloadOnly = false;     // the faults above spoil the first download only
};

// One piece of the logger's output.
struct SimChunk {
    std::string strBytes;
    uint32_t nPauseMs = 0;  // wait this long before the bytes
    bool bHangUp = false;   // after the pause, hang up instead of sending
};

// The logger's side of the link as a pure model: sentences in, bytes out. It holds the track
// memory and the settings C0, O2 and OH and answers the four requests.
class SimLogger {
  public:
    static constexpr size_t kRecordSize = 20;
    static constexpr size_t kRecordsPerBlock = 12;
    static constexpr uint16_t kFirstSequence = 0x0101;

    explicit SimLogger(std::vector<uint8_t> memory = {}, SimFaults faults = {});

    // Bytes from the computer; complete sentences are answered at once.
    void Receive(std::string_view bytes);
    // The next piece of output, if any.
    std::optional<SimChunk> TakeOutput();
    bool HasOutput() const { return !m_output.empty(); }

    const std::vector<uint8_t>& Memory() const { return m_memory; }
    const std::string& Interval() const { return m_strO2; }
    const std::string& Distance() const { return m_strOH; }
    void SetSettings(std::string strC0, std::string strO2, std::string strOH);
    // Counts of what was asked, for tests.
    int Downloads() const { return m_nDownloads; }
    int Erasures() const { return m_nErasures; }

    // A block as it goes on the line.
    static std::string MakeBlock(uint16_t nSequence, const uint8_t* pRecords, size_t nRecords);

  private:
    void HandleLine(std::string_view line);
    void Reply(std::string strBytes, uint32_t nPauseMs = 0);
    void StreamMemory(const SimFaults& faults);
    // The faults in force for the download being answered.
    SimFaults DownloadFaults() const;
    void Chatter();

    std::vector<uint8_t> m_memory;
    SimFaults m_faults;
    std::string m_strC0 = "0";
    std::string m_strO2 = "5";
    std::string m_strOH = "0";
    std::string m_strInput;
    std::deque<SimChunk> m_output;
    int m_nDownloads = 0;
    int m_nErasures = 0;
};

// The framed reply "body*XX!\r\n" with the XOR of the body's bytes.
std::string SimFrame(std::string_view body);
