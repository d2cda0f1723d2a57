#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "ReceiveEngine.h"

// One read from the port: bOk false when the read failed (the port is gone, for instance).
struct PortReadResult {
    bool bOk = false;
    size_t nBytes = 0;
};

// Reads up to nMax bytes into pBuffer, returning after nTimeoutMs at the latest with what arrived.
using PortRead = std::function<PortReadResult(uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs)>;

// The worker's loop: the only reader of the port while it is open. It feeds the engine, writes the
// raw file whose path it was given when the download started, and reports everything else to
// WorkerEvents without ever waiting for the window.
class ReceiveWorker : private ReceiveEffects {
  public:
    ReceiveWorker(WorkerFlags flags, WorkerEvents& events,
                  uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs);
    ~ReceiveWorker() override;
    ReceiveWorker(const ReceiveWorker&) = delete;
    ReceiveWorker& operator=(const ReceiveWorker&) = delete;

    // Hands over the raw file's path, then switches download mode on. Window's thread.
    void BeginDownload(const std::string& strRawPath);

    // Reads until m_bStopWorker is set; then closes a raw file still open (result DR_ABORTED) and
    // clears m_bStopWorker as its last act.
    void Run(const PortRead& read);

    // Read time-out for a read of nBytes: 20 ms plus 2 ms a byte.
    static uint32_t ReadTimeoutMs(size_t nBytes) { return 20 + 2 * static_cast<uint32_t>(nBytes); }

    WorkerFlags Flags() const { return m_flags; }

  private:
    void AddLogEntry(std::string_view text) override { m_events.AddLogEntry(text); }
    void SetIntervalText(std::string_view value) override { m_events.SetIntervalText(value); }
    void SetDistanceText(std::string_view value) override { m_events.SetDistanceText(value); }
    void EnableSettings() override { m_events.EnableSettings(); }
    void PostProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        m_events.PostProgress(nAnnounced, nReceived);
    }
    void PostDone(DownloadResult result) override { m_events.PostDone(result); }
    bool CreateRawFile() override;
    bool AppendRawFile(std::span<const uint8_t> records) override;
    bool CloseRawFile() override;

    WorkerFlags m_flags;
    WorkerEvents& m_events;
    ReceiveEngine m_engine;
    std::mutex m_mutex;  // guards m_strRawPath, set by the window's thread
    std::string m_strRawPath;
    std::FILE* m_pRawFile = nullptr;
    std::string m_strOpenPath;    // the raw file being written; worker's thread only
    bool m_bWriteFailed = false;  // an append to it failed
};

// Runs a ReceiveWorker on its own thread with the stop handshake.
class WorkerThread {
  public:
    WorkerThread() = default;
    ~WorkerThread() { static_cast<void>(Stop()); }
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Clears m_bStopWorker and starts the loop; false when no thread could be started.
    [[nodiscard]] bool Start(ReceiveWorker& worker, PortRead read);
    // Sets m_bStopWorker, waits for the worker to clear it (at most 2 s), then joins the
    // thread so that the port may be closed. Returns whether the worker acknowledged in time.
    bool Stop();
    bool IsRunning() const { return m_thread.joinable(); }

  private:
    ReceiveWorker* m_pWorker = nullptr;
    std::thread m_thread;
};
