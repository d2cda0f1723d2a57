#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Outcome of a port call. Operating-system errors are mapped to these in one place per platform.
enum class SerialStatus {
    Ok,
    NotFound,      // no such device
    Busy,          // in use by another program
    AccessDenied,  // no permission
    NotAPort,      // the device is not a serial port
    BadName,       // empty or too long
    BadSpeed,      // the speed is not one the port supports
    HungUp,        // the device went away
    TimedOut,      // a write could not finish in time
    NotOpen,
    IoError,  // any other failure
};

const char* SerialStatusMessage(SerialStatus status);

#ifndef _WIN32
// The status an errno value stands for: the one mapping of this platform's errors.
SerialStatus SerialStatusFromErrno(int nError);
#endif

// One serial port, 8N1 at the chosen speed, raw bytes. One thread may read while another writes.
class SerialPort {
  public:
    // Longest port name accepted (the Windows device path form leaves room for 15 characters;
    // POSIX paths may be longer).
    static constexpr size_t kMaxNameLength = 255;

    SerialPort() = default;
    ~SerialPort() { Close(); }
    SerialPort(const SerialPort&) = delete;
    SerialPort& operator=(const SerialPort&) = delete;

    // Opens the port by name (Linux: a path when it starts with '/', else /dev/ + name), for this
    // program alone, at nBaud bit/s, with DTR and RTS asserted, and discards anything pending. A
    // port that another program holds is left exactly as it is.
    [[nodiscard]] SerialStatus Open(const std::string& strName, uint32_t nBaud);

    // Reads up to nMax bytes, returning when nMax bytes have arrived or after nTimeoutMs in all,
    // with what has arrived by then (a time-out is not an error; nRead may be 0).
    [[nodiscard]] SerialStatus Read(uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs,
                                    size_t& nRead);
    // Writes all nBytes or fails; nTimeoutMs bounds the whole call.
    [[nodiscard]] SerialStatus Write(const uint8_t* pBytes, size_t nBytes, uint32_t nTimeoutMs);
    // Discards both directions' pending bytes.
    [[nodiscard]] SerialStatus Purge();
    void Close();
    bool IsOpen() const { return m_hPort >= 0; }
    // The system's handle of the open port (a descriptor, a HANDLE); -1 while closed.
    intptr_t Handle() const { return m_hPort; }
    const std::string& Name() const { return m_strName; }

    // The device path for a port name.
    static std::string DevicePath(const std::string& strName);

  private:
    intptr_t m_hPort = -1;
    std::string m_strName;
};
