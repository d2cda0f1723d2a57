#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

#include "protocol/CommandSentence.h"
#include "protocol/ReceiveWorker.h"
#include "serial/SerialPort.h"

// Texts both front ends show.
inline constexpr char kPortClosedMessage[] = "Can't open COM port. Action cancelled.";
inline constexpr char kSetConfigOkMessage[] = "Set config OK.";
inline constexpr char kDeleteQuestion[] = "Delete data in device?";

// How sending one sentence went.
struct SendStatus {
    SentenceStatus sentence = SentenceStatus::Ok;  // refused before anything was written
    SerialStatus port = SerialStatus::Ok;          // the write itself
    bool Ok() const { return sentence == SentenceStatus::Ok && port == SerialStatus::Ok; }
    std::string Message() const;
};

// The port's device went away while the port was open.
std::string PortLostMessage(const std::string& strPort);

// A download's result as the user reads it: the result's text, then where the records are or why
// the raw file failed.
std::string DownloadResultMessage(uint32_t nResult, const DownloadOutcome& outcome);

// The port, the receive worker on its own thread, and the stop handshake: what every front end
// needs to talk to the logger. It shows and prints nothing; callers turn statuses into boxes or
// lines.
class LinkSession {
  public:
    explicit LinkSession(WorkerEvents& events,
                         uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs);
    ~LinkSession() { static_cast<void>(Close()); }
    LinkSession(const LinkSession&) = delete;
    LinkSession& operator=(const LinkSession&) = delete;

    // Opens the port and starts the worker. On failure nothing runs and FailureMessage() says why.
    [[nodiscard]] SerialStatus Open(const std::string& strPort, uint32_t nBaud);
    // The message for the last failed Open: the port and the reason.
    std::string FailureMessage(SerialStatus status) const;
    // Ends the worker: sets m_bStopWorker and polls it every nPollInterval, at most nMaxPolls
    // times, for the worker's answer; then joins it (its reads are bounded) and closes the port.
    // Returns whether the worker answered in time. Nothing when not open.
    bool Close(std::chrono::milliseconds nPollInterval = std::chrono::milliseconds(100),
               int nMaxPolls = 20);
    bool IsOpen() const { return m_pWorker != nullptr; }

    // Frames and writes one sentence; nothing is written when it is refused.
    [[nodiscard]] SendStatus Send(std::u16string_view body);
    // Hands the raw file's path to the worker and switches download mode on.
    void BeginDownload(const std::string& strRawPath);
    // Switches download mode off: the worker ends the download (DR_ABORTED), keeping what arrived.
    void CancelDownload() { m_flags.m_bDownloadMode.store(0); }
    // The flags this session's worker shares with the caller's thread.
    LinkFlags& Flags() { return m_flags; }
    // The open port's system handle; -1 while closed.
    intptr_t PortHandle() const { return m_pWorker ? m_port.Handle() : -1; }
    DownloadOutcome LastDownload() const;
    const std::string& PortName() const { return m_strPort; }

  private:
    LinkFlags m_flags;
    WorkerEvents& m_events;
    uint32_t m_nDataLostMs;
    std::string m_strPort;
    SerialPort m_port;
    std::unique_ptr<ReceiveWorker> m_pWorker;
    std::thread m_thread;
    DownloadOutcome m_lastOutcome;  // kept when the worker has gone
};
