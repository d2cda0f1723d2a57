#include <windows.h>

#include <algorithm>

#include "SerialPort.h"
#include "platform/Clock.h"
#include "platform/Text.h"
#include "platform/Trace.h"

namespace {

// The device path "\\.\NAME" lives in a buffer of 20 characters, terminator included.
constexpr size_t kDevicePathChars = 20;

SerialStatus StatusFromError(DWORD nError) {
    switch (nError) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_DEV_NOT_EXIST:
            return SerialStatus::NotFound;
        // A COM port that another program holds answers with access denied.
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            return SerialStatus::Busy;
        case ERROR_INVALID_NAME:
        case ERROR_BAD_PATHNAME:
        case ERROR_FILENAME_EXCED_RANGE:
            return SerialStatus::BadName;
        case ERROR_NOT_SUPPORTED:
        case ERROR_INVALID_FUNCTION:
            return SerialStatus::NotAPort;
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_DEVICE_REMOVED:
        case ERROR_GEN_FAILURE:
        case ERROR_BROKEN_PIPE:
            return SerialStatus::HungUp;
        case ERROR_SEM_TIMEOUT:
        case WAIT_TIMEOUT:
            return SerialStatus::TimedOut;
        case ERROR_INVALID_HANDLE:
            return SerialStatus::NotOpen;
        default:
            return SerialStatus::IoError;
    }
}

// A read on a port that was open fails this way once its device has gone.
SerialStatus ReadFailureStatus(DWORD nError) {
    switch (nError) {
        case ERROR_ACCESS_DENIED:
        case ERROR_BAD_COMMAND:
        case ERROR_GEN_FAILURE:
        case ERROR_DEVICE_REMOVED:
        case ERROR_DEVICE_NOT_CONNECTED:
        case ERROR_NOT_READY:
        case ERROR_FILE_NOT_FOUND:
        case ERROR_INVALID_HANDLE:
            return SerialStatus::HungUp;
        default:
            return SerialStatus::IoError;
    }
}

HANDLE AsHandle(intptr_t h) {
    return reinterpret_cast<HANDLE>(h);
}

// 8N1 in binary mode, DTR and RTS as handshake lines, no software flow control; a line error
// stops reads and writes until the port is opened again. Every other field keeps the driver's
// value.
void ApplyLineSettings(DCB& dcb, uint32_t nBaud) {
    dcb.BaudRate = nBaud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fBinary = 1;
    dcb.fParity = 0;
    dcb.fOutxCtsFlow = 0;
    dcb.fOutxDsrFlow = 0;
    dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
    dcb.fDsrSensitivity = 0;
    dcb.fOutX = 0;
    dcb.fInX = 0;
    dcb.fNull = 0;
    dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
    dcb.fAbortOnError = 1;
}

// A read of n bytes returns after at most 20 + 2 n ms with what has arrived; a write gives up
// after 100 ms whatever its length.
void ApplyTimeouts(COMMTIMEOUTS& timeouts) {
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 2;
    timeouts.ReadTotalTimeoutConstant = 20;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = 100;
}

}  // namespace

std::string SerialPort::DevicePath(const std::string& strName) {
    return "\\\\.\\" + strName;
}

SerialStatus SerialPort::Open(const std::string& strName, uint32_t nBaud) {
    Close();
    const std::string strPath = DevicePath(strName);
    // Names that do not fit the device path's buffer are refused rather than cut short: a cut
    // name could open some other port.
    if (strName.empty() || strPath.size() + 1 > kDevicePathChars) return SerialStatus::BadName;
    if (nBaud == 0) return SerialStatus::BadSpeed;
    const HANDLE h = ::CreateFileW(WidenUtf8(strPath).c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                   nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return StatusFromError(::GetLastError());

    // Without the driver's settings there is nothing sound to change: not a serial port.
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    if (!::GetCommState(h, &dcb)) {
        ::CloseHandle(h);
        return SerialStatus::NotAPort;
    }
    ApplyLineSettings(dcb, nBaud);
    // The driver keeps what it refuses; the port is used with that.
    if (!::SetCommState(h, &dcb)) TraceLine(strName + ": SetCommState refused");

    COMMTIMEOUTS timeouts{};
    static_cast<void>(::GetCommTimeouts(h, &timeouts));
    ApplyTimeouts(timeouts);
    if (!::SetCommTimeouts(h, &timeouts)) TraceLine(strName + ": SetCommTimeouts refused");

    // Clear a pending line error, drop what is queued each way, clear again: in this order.
    DWORD nErrors = 0;
    static_cast<void>(::ClearCommError(h, &nErrors, nullptr));
    static_cast<void>(::PurgeComm(h, PURGE_TXCLEAR));
    static_cast<void>(::PurgeComm(h, PURGE_RXCLEAR));
    static_cast<void>(::ClearCommError(h, &nErrors, nullptr));

    m_hPort = reinterpret_cast<intptr_t>(h);
    m_strName = strName;
    return SerialStatus::Ok;
}

SerialStatus SerialPort::Read(uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs, size_t& nRead) {
    nRead = 0;
    if (m_hPort == -1) return SerialStatus::NotOpen;
    // Each ReadFile waits at most 20 + 2 ms a byte (the port's time-outs); the loop gives further
    // calls the rest of nTimeoutMs.
    const Deadline deadline(nTimeoutMs);
    SerialStatus status = SerialStatus::Ok;
    do {
        const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(nMax - nRead, 1u << 20));
        DWORD nDone = 0;
        if (!::ReadFile(AsHandle(m_hPort), pBuffer + nRead, nAsk, &nDone, nullptr)) {
            status = ReadFailureStatus(::GetLastError());
            break;
        }
        // Nothing arrived: a device that went away may only show in the driver's state (Wine's
        // port over a pseudo-terminal goes on returning nothing after its time-out). Asking for
        // the settings changes nothing, unlike clearing the line errors.
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (nDone == 0 && !::GetCommState(AsHandle(m_hPort), &dcb)) {
            status = SerialStatus::HungUp;
            break;
        }
        nRead += nDone;
    } while (nRead < nMax && !deadline.Passed());
    if (nRead > 0) TraceBytes(m_strName, "read", pBuffer, nRead);
    return nRead > 0 ? SerialStatus::Ok : status;
}

SerialStatus SerialPort::Write(const uint8_t* pBytes, size_t nBytes, uint32_t nTimeoutMs) {
    if (m_hPort == -1) return SerialStatus::NotOpen;
    TraceBytes(m_strName, "write", pBytes, nBytes);
    const Deadline deadline(nTimeoutMs);
    size_t nSent = 0;
    while (nSent < nBytes) {
        const DWORD nAsk = static_cast<DWORD>(std::min<size_t>(nBytes - nSent, 1u << 20));
        DWORD nDone = 0;
        if (!::WriteFile(AsHandle(m_hPort), pBytes + nSent, nAsk, &nDone, nullptr)) {
            return StatusFromError(::GetLastError());
        }
        nSent += nDone;
        // A write that the port's 100 ms time-out cut short is retried within the caller's bound.
        if (nSent < nBytes && deadline.Passed()) return SerialStatus::TimedOut;
    }
    return SerialStatus::Ok;
}

SerialStatus SerialPort::Purge() {
    if (m_hPort == -1) return SerialStatus::NotOpen;
    DWORD nErrors = 0;
    static_cast<void>(::ClearCommError(AsHandle(m_hPort), &nErrors, nullptr));
    if (!::PurgeComm(AsHandle(m_hPort), PURGE_TXCLEAR) ||
        !::PurgeComm(AsHandle(m_hPort), PURGE_RXCLEAR)) {
        return StatusFromError(::GetLastError());
    }
    static_cast<void>(::ClearCommError(AsHandle(m_hPort), &nErrors, nullptr));
    return SerialStatus::Ok;
}

void SerialPort::Close() {
    if (m_hPort == -1) return;
    ::CloseHandle(AsHandle(m_hPort));
    m_hPort = -1;
}
