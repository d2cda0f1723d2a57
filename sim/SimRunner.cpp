#include "SimRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace {

// Paced output goes out in batches of this many bytes, so both sides wake a few hundred times a
// second rather than once a byte.
constexpr size_t kPaceBatch = 64;

}  // namespace

SimRunner::SimRunner(SimLogger& logger, uint32_t nBaud, bool bPaced)
    : m_logger(logger), m_nBaud(nBaud == 0 ? 115200 : nBaud), m_bPaced(bPaced) {}

SimRunner::~SimRunner() {
    Stop();
    Close();
}

bool SimRunner::Open(std::string& strError) {
    const int fd = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0 || ::grantpt(fd) != 0 || ::unlockpt(fd) != 0) {
        strError = std::string("cannot create a pseudo-terminal: ") + std::strerror(errno);
        if (fd >= 0) ::close(fd);
        return false;
    }
    char name[128];
    if (::ptsname_r(fd, name, sizeof name) != 0) {
        strError = std::string("cannot name the pseudo-terminal: ") + std::strerror(errno);
        ::close(fd);
        return false;
    }
    // Holding the slave open keeps the line up between clients and lets its mode be set raw
    // before anyone connects.
    const int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave < 0) {
        strError = std::string("cannot open ") + name + ": " + std::strerror(errno);
        ::close(fd);
        return false;
    }
    termios tio{};
    if (::tcgetattr(slave, &tio) == 0) {
        ::cfmakeraw(&tio);
        static_cast<void>(::tcsetattr(slave, TCSANOW, &tio));
    }
    if (::pipe2(m_hWake, O_CLOEXEC | O_NONBLOCK) != 0) {
        strError = std::string("cannot create a pipe: ") + std::strerror(errno);
        ::close(slave);
        ::close(fd);
        return false;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
    m_hMaster = fd;
    m_hSlave = slave;
    m_strPath = name;
    return true;
}

void SimRunner::Close() {
    for (int* p : {&m_hMaster, &m_hSlave, &m_hWake[0], &m_hWake[1]}) {
        if (*p >= 0) ::close(*p);
        *p = -1;
    }
}

bool SimRunner::Start() {
    if (m_thread.joinable() || m_hMaster < 0) return false;
    m_bStop = false;
    try {
        m_thread = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

void SimRunner::Stop() {
    m_bStop = true;
    if (m_hWake[1] >= 0) static_cast<void>(::write(m_hWake[1], "x", 1));
    if (m_thread.joinable()) m_thread.join();
}

// What the runner is sending: the current chunk, its pause and the pacing of the burst it is in.
struct SimRunner::Outgoing {
    std::string strBytes;  // the current chunk's bytes not yet written start at nAt
    size_t nAt = 0;
    bool bHangUpDue = false;
    Clock::time_point pauseUntil{};
    Clock::time_point burstStart{};
    uint64_t nBurstBytes = 0;
    bool bBursting = false;

    bool Drained() const { return nAt >= strBytes.size(); }
};

void SimRunner::Run() {
    Outgoing out;
    while (!m_bStop.load() && m_hMaster >= 0) {
        const Clock::time_point now = Clock::now();
        if (out.Drained() && !out.bHangUpDue) TakeNextChunk(out, now);
        int nTimeoutMs = 50;
        size_t nCanWrite = 0;
        if (now < out.pauseUntil) {
            nTimeoutMs = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(out.pauseUntil - now).count());
        } else if (out.bHangUpDue && out.Drained()) {
            HangUp();
            return;
        } else if (!out.Drained()) {
            nCanWrite = WritableNow(out, now, nTimeoutMs);
        }
        // With nothing to send the line is quiet for as long as the runner waits for the other
        // side; time spent elsewhere (this machine's load) is not the logger's.
        const bool bQuiet = out.Drained() && !out.bHangUpDue && now >= out.pauseUntil;
        if (bQuiet) {
            std::lock_guard lineLock(m_lineMutex);
            m_quietSince = Clock::now();
        }
        const bool bServed = ServeOnce(out, nCanWrite, nTimeoutMs);
        if (bQuiet) {
            std::lock_guard lineLock(m_lineMutex);
            m_nLineMicros += static_cast<uint64_t>(
                std::chrono::duration_cast<std::chrono::microseconds>(Clock::now() - m_quietSince)
                    .count());
            m_quietSince = {};
        }
        if (!bServed) break;
    }
}

void SimRunner::TakeNextChunk(Outgoing& out, Clock::time_point now) {
    std::lock_guard lock(m_mutex);
    std::optional<SimChunk> chunk = m_logger.TakeOutput();
    out.strBytes = chunk ? std::move(chunk->strBytes) : std::string();
    out.nAt = 0;
    if (!chunk) {
        // Nothing to send: the next output starts a fresh burst.
        out.bBursting = false;
        return;
    }
    out.bHangUpDue = chunk->bHangUp;
    if (chunk->nPauseMs > 0) {
        out.pauseUntil = now + std::chrono::milliseconds(chunk->nPauseMs);
        out.bBursting = false;
        // The pause before has passed: the chunk it held back has gone out.
        std::lock_guard lineLock(m_lineMutex);
        m_nLineMicros += static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(m_pauseEnd - m_pauseStart)
                .count());
        m_pauseStart = now, m_pauseEnd = out.pauseUntil;
    }
}

size_t SimRunner::WritableNow(Outgoing& out, Clock::time_point now, int& nTimeoutMs) const {
    const size_t nLeft = out.strBytes.size() - out.nAt;
    if (!m_bPaced) return nLeft;
    if (!out.bBursting) {
        out.bBursting = true;
        out.burstStart = now;
        out.nBurstBytes = 0;
    }
    const auto nMicros =
        std::chrono::duration_cast<std::chrono::microseconds>(now - out.burstStart).count();
    const uint64_t nDue = static_cast<uint64_t>(nMicros) * m_nBaud / 10 / 1000000;
    const uint64_t nAllowed = nDue > out.nBurstBytes ? nDue - out.nBurstBytes : 0;
    if (nAllowed >= std::min<uint64_t>(nLeft, kPaceBatch)) {
        return static_cast<size_t>(std::min<uint64_t>(nAllowed, nLeft));
    }
    // Wake when the next batch is due.
    const uint64_t nTarget = out.nBurstBytes + std::min<uint64_t>(nLeft, kPaceBatch);
    const uint64_t nDueMicros = nTarget * 10 * 1000000 / m_nBaud;
    const auto nWait = static_cast<int64_t>(nDueMicros) - nMicros;
    nTimeoutMs = static_cast<int>(std::max<int64_t>(1, (nWait + 999) / 1000));
    return 0;
}

uint64_t SimRunner::LineMs() const {
    const Clock::time_point now = Clock::now();
    std::lock_guard lock(m_lineMutex);
    uint64_t nMicros = m_nLineMicros;
    if (m_quietSince != Clock::time_point{}) {
        nMicros += static_cast<uint64_t>(
            std::chrono::duration_cast<std::chrono::microseconds>(now - m_quietSince).count());
    }
    if (m_pauseEnd > m_pauseStart) {
        nMicros += static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                             std::min(now, m_pauseEnd) - m_pauseStart)
                                             .count());
    }
    return nMicros / 1000;
}

void SimRunner::HangUp() {
    // Let the other side read what was sent (a hang-up discards unread input), then hang up: its
    // reads fail from now on. Written bytes reach the slave's queue a moment later, so the queue
    // must be seen empty several times in a row.
    int nEmpty = 0;
    for (int i = 0; i < 300 && nEmpty < 5 && !m_bStop.load(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        int nUnread = 0;
        if (::ioctl(m_hSlave, FIONREAD, &nUnread) != 0) break;
        nEmpty = nUnread == 0 ? nEmpty + 1 : 0;
    }
    // Only the line goes; the wake pipe stays for Stop() on the other thread.
    m_bHungUp = true;
    ::close(m_hMaster);
    ::close(m_hSlave);
    m_hMaster = -1;
    m_hSlave = -1;
}

bool SimRunner::ServeOnce(Outgoing& out, size_t nCanWrite, int nTimeoutMs) {
    pollfd fds[2] = {{m_hMaster, static_cast<short>(POLLIN | (nCanWrite > 0 ? POLLOUT : 0)), 0},
                     {m_hWake[0], POLLIN, 0}};
    if (::poll(fds, 2, nCanWrite > 0 ? -1 : nTimeoutMs) < 0) return errno == EINTR;
    if ((fds[1].revents & POLLIN) != 0) {
        char drain[16];
        while (::read(m_hWake[0], drain, sizeof drain) > 0) {
        }
    }
    if ((fds[0].revents & POLLIN) != 0) {
        uint8_t buffer[512];
        const ssize_t n = ::read(m_hMaster, buffer, sizeof buffer);
        if (n > 0) {
            std::lock_guard lock(m_mutex);
            m_logger.Receive(
                std::string_view(reinterpret_cast<char*>(buffer), static_cast<size_t>(n)));
        }
    }
    if (nCanWrite > 0 && (fds[0].revents & POLLOUT) != 0) {
        const ssize_t n = ::write(m_hMaster, out.strBytes.data() + out.nAt, nCanWrite);
        if (n > 0) {
            out.nAt += static_cast<size_t>(n);
            out.nBurstBytes += static_cast<uint64_t>(n);
            std::lock_guard lineLock(m_lineMutex);
            m_nLineMicros += static_cast<uint64_t>(n) * 10 * 1000000 / m_nBaud;
        }
    }
    return true;
}
