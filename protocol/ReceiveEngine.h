#pragma once

// The receive engine turns the logger's byte stream into effects. The stream mixes CR LF text
// lines, a settings reply inside such a line, and, during a download, a count line, a start
// marker and checksummed binary blocks; reads cut all of these at arbitrary points. The engine
// keeps up to 256 unconsumed bytes and re-examines them after every read, so a line, a count or
// a block that arrives in pieces is acted on exactly once, when its last byte is in. It owns no
// port, no file and no thread: it is fed byte chunks and reports through ReceiveEffects.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "DownloadResult.h"

// Flags shared by the window's thread and the worker; each holds 0 or 1.
struct WorkerFlags {
    std::atomic<int32_t>& m_bStopWorker;
    std::atomic<int32_t>& m_bDownloadMode;
    std::atomic<int32_t>& m_bIntervalReceived;
    std::atomic<int32_t>& m_bDistanceReceived;
};

// The flags themselves, all 0 to begin with: a link session owns one set (engine tests and fuzzing
// their own), and the worker and the engine get WorkerFlags to them.
struct LinkFlags {
    std::atomic<int32_t> m_bStopWorker{0};
    std::atomic<int32_t> m_bDownloadMode{0};
    std::atomic<int32_t> m_bIntervalReceived{0};
    std::atomic<int32_t> m_bDistanceReceived{0};
    WorkerFlags Refs() {
        return {m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived};
    }
};

// What the worker has learnt from the logger, in the protocol's terms. Called on the worker's
// thread; an implementation for a window posts each call to the window's thread and returns at
// once.
class WorkerEvents {
  public:
    virtual ~WorkerEvents() = default;
    // A received line with its CR LF, or a sequence mismatch entry (without); ANSI text.
    virtual void LineReceived(std::string_view text) = 0;
    virtual void IntervalReceived(std::string_view value) = 0;
    virtual void DistanceReceived(std::string_view value) = 0;
    // The settings reply is complete: both values have arrived.
    virtual void SettingsReceived() = 0;
    // Records so far of the announced count; nReceived is 0 when the raw file has just been
    // created.
    virtual void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) = 0;
    // The download is over, with its result; m_bDownloadMode is already 0.
    virtual void DownloadEnded(DownloadResult result) = 0;
    // The port's device went away; the worker reads no more. Any download has been ended first.
    virtual void PortGone() = 0;
};

// WorkerEvents plus the raw file, which the engine opens, fills and closes through these calls.
class ReceiveEffects : public WorkerEvents {
  public:
    [[nodiscard]] virtual bool CreateRawFile() = 0;
    // The records of one accepted block, in one piece.
    [[nodiscard]] virtual bool AppendRawFile(std::span<const uint8_t> records) = 0;
    // Flushes and closes; bComplete tells whether every announced record arrived. False when the
    // file could not be finished.
    [[nodiscard]] virtual bool CloseRawFile(bool bComplete) = 0;
};

// The rule for what the received-lines list shows, the same in the window and on the command line:
// a line is text when every byte is printable (tab and Latin-1 letters included); other lines are
// binary and only counted.
bool IsTextLine(std::string_view line);
// The one entry that stands for a run of binary bytes: "[1234 binary bytes skipped]".
std::string SkippedBytesEntry(uint64_t nBytes);

class ReceiveEngine {
  public:
    static constexpr size_t kBufferSize = 256;
    static constexpr size_t kReadChunk = 64;
    static constexpr size_t kOverflowMark = 240;  // above this an empty read drops...
    static constexpr size_t kOverflowDrop = 16;   // ...the oldest 16 bytes
    static constexpr uint16_t kFirstSequence = 0x0101;
    static constexpr uint8_t kRecordBlockType = 0xA1;
    static constexpr uint32_t kDefaultDataLostMs = 10000;
    // After the announced count, the line must be quiet this long before the download is whole:
    // a logger that sends more than it announced is caught before anything trusts the count.
    static constexpr uint64_t kTrailingQuietMs = 500;

    // Where the worker is; the window's download-mode flag moves it out of Lines and back.
    enum class State {
        Lines,           // text lines to the list, the settings reply picked out of them
        AwaitingCount,   // a download was asked for: lines until "dataCount=N" CR LF
        AwaitingMarker,  // the raw file is open: bytes dropped until "===" CR LF
        Blocks,          // framed blocks of records until N records are in the file
        Trailing,        // N records are in: until the line goes quiet, a further record
                         // block proves the count wrong
    };

    ReceiveEngine(ReceiveEffects& effects, WorkerFlags flags,
                  uint32_t nDataLostMs = kDefaultDataLostMs)
        : m_effects(effects), m_flags(flags), m_nDataLostMs(nDataLostMs) {}

    // A download was asked for (any thread; before the mode flag goes on): a cancelled download's
    // file still open is closed and the new one starts.
    void RequestDownload() { m_nRequests.fetch_add(1); }

    // Where the next read goes: behind the held bytes, at most kReadChunk bytes; empty when full.
    std::span<uint8_t> ReadSpace();
    // nBytes have been read into ReadSpace(): run the current state's step. nNowMs is a
    // monotonic clock in milliseconds.
    void Commit(size_t nBytes, uint64_t nNowMs);
    // A read returned nothing: the overflow rule, a false block start that keeps a whole block
    // behind it waiting, and the data-lost watch.
    void Idle(uint64_t nNowMs);
    // The port's device went away: a download ends at once with what arrived.
    void PortLost();
    // The worker is ending: a raw file still open is closed and the download ends as aborted.
    void Stop();

    // Feeds bytes as the worker's reads would deliver them (at most kReadChunk at a time, an empty
    // read when the buffer is full). For tests and replays.
    void Feed(std::span<const uint8_t> bytes, uint64_t nNowMs = 0);
    void Feed(std::string_view bytes, uint64_t nNowMs = 0);

    bool IsRawFileOpen() const {
        return m_state == State::AwaitingMarker || m_state == State::Blocks ||
               m_state == State::Trailing;
    }
    size_t Length() const { return m_nLength; }
    uint32_t AnnouncedCount() const { return m_nAnnounced; }
    uint32_t ReceivedCount() const { return m_nReceived; }
    uint16_t ExpectedSequence() const { return m_nExpectedSequence; }
    std::string_view Held() const { return {reinterpret_cast<const char*>(m_buffer), m_nLength}; }

  private:
    // A framed block found at a scan position.
    enum class BlockCheck {
        NotABlock,   // no block starts here: scan on from the next byte
        Incomplete,  // could be a block whose end has not arrived yet
        Valid,       // start, length, end byte and checksum all agree
    };

    void Consume(size_t nBytes);
    void Terminate() { m_buffer[m_nLength] = 0; }
    // Follows the window's download-mode flag: a download asked for, or cancelled from outside.
    void FollowDownloadMode(uint64_t nNowMs);

    void LineStep();
    void ParseSettingsReply();
    // Emits complete lines while their CR LF ends at or before nLimit bytes of the buffer.
    void OutputLines(size_t nLimit);
    // The data-lost watch: no progress for the data-lost time ends what is waiting.
    void WatchProgress(uint64_t nNowMs);
    void AwaitCountStep(uint64_t nNowMs);
    void AwaitMarkerStep(uint64_t nNowMs);
    // Scans for blocks; bNoMoreToCome: nothing arrived for a read's time, so an incomplete block
    // start is kept only when no whole block stands behind it.
    void BlockStep(uint64_t nNowMs, bool bNoMoreToCome);
    BlockCheck CheckBlock(size_t p) const;
    // Takes the valid block at p; false when the download ended with it.
    bool AcceptBlock(size_t p, uint64_t nNowMs);
    // The logger sent the block it had just sent: same number, same records.
    bool IsRetransmission(size_t p) const;
    // Ends the download: closes the raw file (a failed close turns DR_OK into DR_FILE_ERROR).
    void EndDownload(DownloadResult result);
    // The wait after the announced count is over: DR_OK, or DR_MORE_THAN_ANNOUNCED when record
    // blocks came after it. The bytes behind go to line mode.
    void EndTrailing();
    void Finish(DownloadResult result);
    // Reports the binary bytes counted since the last text line as one entry.
    void FlushSkippedBytes();
    // Drops held bytes up to the last one that is not text, counting them.
    void DropHeldBinary();

    ReceiveEffects& m_effects;
    WorkerFlags m_flags;
    uint32_t m_nDataLostMs;

    uint8_t m_buffer[kBufferSize + 1] = {};
    size_t m_nLength = 0;
    State m_state = State::Lines;
    uint32_t m_nAnnounced = 0;
    uint32_t m_nReceived = 0;
    uint16_t m_nExpectedSequence = kFirstSequence;
    bool m_bMoreThanAnnounced = false;  // record blocks came after the announced count
    uint64_t m_nProgressMs = 0;         // the last sign of a download going on
    std::atomic<uint32_t> m_nRequests{0};
    uint32_t m_nRequestsSeen = 0;
    // The block accepted last, to tell a retransmission from new records.
    uint8_t m_lastBlock[kBufferSize] = {};
    size_t m_nLastBlock = 0;
    // Bytes of binary lines and overflow drops since the last text line or quiet read.
    uint64_t m_nSkippedBytes = 0;
};
