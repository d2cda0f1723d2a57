#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <sys/file.h>

#include <cerrno>

#include "SerialPort.h"
#include "platform/Clock.h"
#include "platform/Trace.h"

SerialStatus SerialStatusFromErrno(int nError) {
    switch (nError) {
        case ENOENT:
        case ENODEV:
        case ENXIO:
            return SerialStatus::NotFound;
        case EBUSY:
            return SerialStatus::Busy;
        case EACCES:
        case EPERM:
            return SerialStatus::AccessDenied;
        case ENOTTY:
        case EISDIR:
        case ENOTDIR:
            return SerialStatus::NotAPort;
        case ENAMETOOLONG:
            return SerialStatus::BadName;
        case EINVAL:
            return SerialStatus::BadSpeed;
        case EIO:
        case EPIPE:
            return SerialStatus::HungUp;
        case ETIMEDOUT:
        case EAGAIN:
            return SerialStatus::TimedOut;
        case EBADF:
            return SerialStatus::NotOpen;
        default:
            return SerialStatus::IoError;
    }
}

namespace {

speed_t SpeedConstant(uint32_t nBaud) {
    switch (nBaud) {
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return 0;
    }
}

int RemainingMs(const Deadline& deadline) {
    return static_cast<int>(deadline.RemainingMs());
}

}  // namespace

std::string SerialPort::DevicePath(const std::string& strName) {
    if (!strName.empty() && strName.front() == '/') return strName;
    return "/dev/" + strName;
}

SerialStatus SerialPort::Open(const std::string& strName, uint32_t nBaud) {
    Close();
    if (strName.empty() || strName.size() > kMaxNameLength) return SerialStatus::BadName;
    const speed_t speed = SpeedConstant(nBaud);
    if (speed == 0) return SerialStatus::BadSpeed;
    const std::string strPath = DevicePath(strName);
    const int fd = ::open(strPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SerialStatusFromErrno(errno);
    const auto fail = [fd](int nError) {
        ::close(fd);
        return SerialStatusFromErrno(nError);
    };
    // Exclusive use, claimed before anything of the port is touched: the advisory lock that
    // terminal programs take, then the device's exclusive flag. A program that holds either (root
    // opens despite the flag) keeps its port as it is: no settings, no flushed queues.
    int nExclusive = 0;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 ||
        (::ioctl(fd, TIOCGEXCL, &nExclusive) == 0 && nExclusive != 0)) {
        ::close(fd);
        return SerialStatus::Busy;
    }
    // Anything but a terminal refuses the exclusive flag with ENOTTY: not a port. (umockdev's
    // recorded ttys answer isatty() with 0 while their terminal calls work.)
    if (::ioctl(fd, TIOCEXCL) != 0) return fail(errno);
    termios tio{};
    if (::tcgetattr(fd, &tio) != 0) return fail(errno);
    ::cfmakeraw(&tio);
    tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    if (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0) return fail(errno);
    if (::tcsetattr(fd, TCSANOW, &tio) != 0) return fail(errno);
    // Modem lines: a pseudo-terminal has none, so failure here is not an error.
    int nLines = TIOCM_DTR | TIOCM_RTS;
    static_cast<void>(::ioctl(fd, TIOCMBIS, &nLines));
    static_cast<void>(::tcflush(fd, TCIOFLUSH));
    m_hPort = fd;
    m_strName = strName;
    return SerialStatus::Ok;
}

SerialStatus SerialPort::Read(uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs, size_t& nRead) {
    nRead = 0;
    if (m_hPort < 0) return SerialStatus::NotOpen;
    const int fd = static_cast<int>(m_hPort);
    const Deadline deadline(nTimeoutMs);
    SerialStatus status = SerialStatus::Ok;
    while (nRead < nMax) {
        pollfd pfd{fd, POLLIN, 0};
        const int nReady = ::poll(&pfd, 1, RemainingMs(deadline));
        if (nReady < 0) {
            if (errno == EINTR) continue;
            status = SerialStatusFromErrno(errno);
            break;
        }
        if (nReady == 0) break;  // time-out: return what has arrived
        const ssize_t n = ::read(fd, pBuffer + nRead, nMax - nRead);
        if (n > 0) {
            nRead += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
        // End of file or POLLHUP: the other side is gone.
        status = n == 0 ? SerialStatus::HungUp : SerialStatusFromErrno(errno);
        break;
    }
    if (nRead > 0) TraceBytes(m_strName, "read", pBuffer, nRead);
    return nRead > 0 ? SerialStatus::Ok : status;
}

SerialStatus SerialPort::Write(const uint8_t* pBytes, size_t nBytes, uint32_t nTimeoutMs) {
    if (m_hPort < 0) return SerialStatus::NotOpen;
    const int fd = static_cast<int>(m_hPort);
    TraceBytes(m_strName, "write", pBytes, nBytes);
    const Deadline deadline(nTimeoutMs);
    size_t nDone = 0;
    while (nDone < nBytes) {
        const ssize_t n = ::write(fd, pBytes + nDone, nBytes - nDone);
        if (n > 0) {
            nDone += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return SerialStatusFromErrno(errno);
        const int nLeft = RemainingMs(deadline);
        if (nLeft == 0) return SerialStatus::TimedOut;
        pollfd pfd{fd, POLLOUT, 0};
        if (::poll(&pfd, 1, nLeft) < 0 && errno != EINTR) return SerialStatusFromErrno(errno);
        if ((pfd.revents & (POLLHUP | POLLERR)) != 0) return SerialStatus::HungUp;
    }
    return SerialStatus::Ok;
}

SerialStatus SerialPort::Purge() {
    if (m_hPort < 0) return SerialStatus::NotOpen;
    if (::tcflush(static_cast<int>(m_hPort), TCIOFLUSH) != 0) return SerialStatusFromErrno(errno);
    return SerialStatus::Ok;
}

void SerialPort::Close() {
    if (m_hPort < 0) return;
    // The exclusive flag belongs to the device, not to this descriptor: release it for the next
    // user.
    static_cast<void>(::ioctl(static_cast<int>(m_hPort), TIOCNXCL));
    ::close(static_cast<int>(m_hPort));
    m_hPort = -1;
}
