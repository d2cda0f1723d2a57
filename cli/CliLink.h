#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>

#include "link/LinkSession.h"
#include "link/WorkerEventQueue.h"

// What a command that talks to the logger holds: the queue of what the worker reports and the
// session, which owns the link's flags. Failures are printed here.
struct CliLink {
    static constexpr uint32_t kDefaultBaud = 115200;

    explicit CliLink(uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs)
        : session(events, nDataLostMs) {}
    ~CliLink() { Close(); }

    [[nodiscard]] bool Open(const std::string& strPort, uint32_t nBaud);
    [[nodiscard]] bool Send(std::u16string_view body);
    // A command has no window to keep painting: the worker's answer is looked for often.
    void Close() { session.Close(std::chrono::milliseconds(10), 200); }

    WorkerEventQueue events;
    LinkSession session;
};

// Prints the logger's lines that arrive within nWait (the wait restarts with each line). False when
// the port's device went away meanwhile (said so).
bool PrintLoggerReplies(CliLink& link, std::chrono::milliseconds nWait);
// A received line for the terminal: UTF-8, without its line end.
std::string LoggerLineForTerminal(const std::string& strEntry);

// Download progress on standard error: a bar redrawn in place on a terminal, else a line every
// tenth.
class ProgressReport {
  public:
    ProgressReport();
    void Update(uint32_t nReceived, uint32_t nAnnounced);
    // Ends a bar's line before other output.
    void EndLine();

  private:
    bool m_bTerminal;
    bool m_bOpenLine = false;
    uint32_t m_nLastTenth = 0;
};
