#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "RawDownloadFile.h"
#include "ReceiveEngine.h"

// One read from the port.
struct PortReadResult {
    enum class Outcome {
        Ok,          // nBytes arrived (perhaps none before the time-out)
        Failed,      // the read failed; the port may recover
        DeviceGone,  // the device went away: nothing more will come
    };
    Outcome outcome = Outcome::Ok;
    size_t nBytes = 0;
};

// Reads up to nMax bytes into pBuffer, returning after nTimeoutMs at the latest with what arrived.
using PortRead = std::function<PortReadResult(uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs)>;

// Where the records of the last download went, for the result's message.
struct DownloadOutcome {
    // The file that holds what arrived; when the raw file failed, the one that could not be
    // written.
    std::string strFile;
    // An existing file of the chosen name was left as it was: what arrived is beside it, in
    // strFile.
    bool bKeptBeside = false;
    uint64_t nRecords = 0;   // records in strFile
    SystemError nError = 0;  // why the raw file failed, when it did
};

// The worker's loop: the only reader of the port while it is open. It feeds the engine, writes the
// raw file whose path it was given when the download started, and reports everything else to
// WorkerEvents without ever waiting for the window.
class ReceiveWorker : private ReceiveEffects {
  public:
    ReceiveWorker(WorkerFlags flags, WorkerEvents& events,
                  uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs);
    ReceiveWorker(const ReceiveWorker&) = delete;
    ReceiveWorker& operator=(const ReceiveWorker&) = delete;

    // Hands over the raw file's path, then switches download mode on. Window's thread.
    void BeginDownload(const std::string& strRawPath);

    // Reads until m_bStopWorker is set; then closes a raw file still open (result DR_ABORTED) and
    // clears m_bStopWorker as its last act. A device that goes away ends any download at once; the
    // loop then only waits for the stop request.
    void Run(const PortRead& read);
    // The same with the time read from clock (milliseconds, never going back) instead of this
    // machine's: a test times the logger by the line's own time.
    void Run(const PortRead& read, const std::function<uint64_t()>& clock);

    // Read time-out for a read of nBytes: 20 ms plus 2 ms a byte.
    static uint32_t ReadTimeoutMs(size_t nBytes) { return 20 + 2 * static_cast<uint32_t>(nBytes); }

    WorkerFlags Flags() const { return m_flags; }
    // The last download's file; read after its result arrived.
    DownloadOutcome LastDownload() const;

  private:
    void LineReceived(std::string_view text) override { m_events.LineReceived(text); }
    void IntervalReceived(std::string_view value) override { m_events.IntervalReceived(value); }
    void DistanceReceived(std::string_view value) override { m_events.DistanceReceived(value); }
    void SettingsReceived() override { m_events.SettingsReceived(); }
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        m_events.DownloadProgress(nAnnounced, nReceived);
    }
    void DownloadEnded(DownloadResult result) override { m_events.DownloadEnded(result); }
    void PortGone() override { m_events.PortGone(); }
    bool CreateRawFile() override;
    bool AppendRawFile(std::span<const uint8_t> records) override;
    bool CloseRawFile(bool bComplete) override;

    WorkerFlags m_flags;
    WorkerEvents& m_events;
    ReceiveEngine m_engine;
    mutable std::mutex m_mutex;  // guards m_strRawPath and m_outcome
    std::string m_strRawPath;
    DownloadOutcome m_outcome;
    RawDownloadFile m_rawFile;  // worker's thread only
};
