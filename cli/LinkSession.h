#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/ReceiveWorker.h"
#include "protocol/WorkerEventQueue.h"
#include "serial/SerialPort.h"

// The port, the receive worker on its own thread and the queue of what it reports: what every
// command that talks to the logger needs. Errors are printed here.
class LinkSession {
  public:
    static constexpr uint32_t kDefaultBaud = 115200;

    LinkSession() = default;
    ~LinkSession() { Close(); }
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Opens the port and starts the worker; on failure prints the reason.
    [[nodiscard]] bool Open(const std::string& strPort, uint32_t nBaud,
                            uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs);
    // Frames and writes one sentence; on failure prints the reason and nothing counts as sent.
    [[nodiscard]] bool Send(const std::u16string& body);
    // Stops the worker (a download still running ends as aborted) and closes the port.
    void Close();

    ReceiveWorker& Worker() { return *m_pWorker; }
    WorkerEventQueue& Events() { return m_events; }
    std::atomic<int32_t> m_bStopWorker{0};
    std::atomic<int32_t> m_bDownloadMode{0};
    std::atomic<int32_t> m_bIntervalReceived{0};
    std::atomic<int32_t> m_bDistanceReceived{0};

  private:
    SerialPort m_port;
    WorkerEventQueue m_events;
    std::unique_ptr<ReceiveWorker> m_pWorker;
    WorkerThread m_thread;
};

// Prints the logger's lines that arrive within nWait (the wait restarts with each line).
void PrintLoggerReplies(LinkSession& session, std::chrono::milliseconds nWait);
// A received line for the terminal: UTF-8, without its line end.
std::string LoggerLineForTerminal(const std::string& strEntry);
