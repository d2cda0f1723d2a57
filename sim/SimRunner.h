#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "SimLogger.h"

// Puts a SimLogger on the master side of a pseudo-terminal: the slave's path is the logger's
// port. Output is paced at the chosen speed (ten bits a byte) unless pacing is off.
class SimRunner {
  public:
    SimRunner(SimLogger& logger, uint32_t nBaud, bool bPaced);
    ~SimRunner();
    SimRunner(const SimRunner&) = delete;
    SimRunner& operator=(const SimRunner&) = delete;

    // Creates the pseudo-terminal; on failure strError says why.
    [[nodiscard]] bool Open(std::string& strError);
    const std::string& PortPath() const { return m_strPath; }

    // Serves until Stop() or a hang-up fault. Runs on the calling thread.
    void Run();
    // Run() on a thread of its own, and its end.
    [[nodiscard]] bool Start();
    void Stop();
    bool HungUp() const { return m_bHungUp.load(); }
    // The line's own time in milliseconds: the bytes written so far at the line's speed, the
    // pauses the logger chose and its waits with nothing to send, as they pass. It stands still
    // while this machine keeps the runner from working, so that a reader timed by it sees the
    // logger's timing, not the machine's load.
    uint64_t LineMs() const;

    // Calls f(logger) while the runner is not using it.
    template <class F>
    auto WithLogger(F&& f) {
        std::lock_guard lock(m_mutex);
        return f(m_logger);
    }

  private:
    using Clock = std::chrono::steady_clock;
    struct Outgoing;
    void TakeNextChunk(Outgoing& out, Clock::time_point now);
    // Bytes of the current chunk that may go out now; when pacing holds them back, nTimeoutMs is
    // how long until the next batch is due.
    size_t WritableNow(Outgoing& out, Clock::time_point now, int& nTimeoutMs) const;
    void HangUp();
    // One wait for the line: reads what the computer sent, writes what may go. False on failure.
    bool ServeOnce(Outgoing& out, size_t nCanWrite, int nTimeoutMs);
    void Close();

    SimLogger& m_logger;
    uint32_t m_nBaud;
    bool m_bPaced;
    int m_hMaster = -1;
    int m_hSlave = -1;
    int m_hWake[2] = {-1, -1};
    std::string m_strPath;
    std::mutex m_mutex;
    std::atomic<bool> m_bStop{false};
    std::atomic<bool> m_bHungUp{false};
    mutable std::mutex m_lineMutex;                  // guards the line's time
    uint64_t m_nLineMicros = 0;                      // bytes written and pauses ended
    Clock::time_point m_pauseStart{}, m_pauseEnd{};  // the pause under way, when one is
    Clock::time_point m_quietSince{};  // the wait under way with nothing to send, when one is
    std::thread m_thread;
};
