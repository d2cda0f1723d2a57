#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A serial port the system has now, as the port list shows it.
struct SerialPortInfo {
    // Code that lists ports by name and description alone keeps working: the stable name is
    // optional.
    SerialPortInfo() = default;
    SerialPortInfo(std::string name, std::string description, std::string stableName = {})
        : strName(std::move(name)),
          strDescription(std::move(description)),
          strStableName(std::move(stableName)) {}

    std::string strName;         // what the list shows and SerialPort::Open takes
    std::string strDescription;  // what the system knows of the device (may be empty)
    std::string strStableName;   // Linux: its /dev/serial/by-id/... name, which survives a
                                 // re-plug; empty when udev made none
};

// The system's serial ports in enumeration order. Linux: every tty device with a parent device
// (USB adapters, CDC devices, on-board UARTs that are really there), by device node.
std::vector<SerialPortInfo> EnumerateSerialPorts();

// The /dev/serial/by-id/... link that udev made for a device node such as /dev/ttyUSB0, looked up
// in strDevRoot (normally /dev); empty when there is none (and always on Windows).
std::string StableSerialName(const std::string& strNode, const std::string& strDevRoot = "/dev");

// Anything that lists ports; tests inject their own.
using PortEnumerator = std::function<std::vector<SerialPortInfo>()>;

// The port name inside a Windows friendly name: from the character after the "(" of the first
// "(COM" up to the first ")" after it, e.g. "USB Serial Port (COM7)" gives "COM7". No value when
// there is no "(COM" or no ")" after it.
std::optional<std::string> PortNameFromFriendlyName(std::wstring_view friendlyName);
std::optional<std::string> PortNameFromFriendlyName(std::string_view friendlyName);

// Device-change events, with the codes the window's device handling knows.
enum DeviceEventCode : unsigned {
    kDbtDevNodesChanged = 0x0007,
    kDbtDeviceArrival = 0x8000,
    kDbtDeviceRemoveComplete = 0x8004,
};

// Watches the system for serial ports that come and go. With a udev daemon it reads the kernel's
// tty add and remove events from a descriptor that the caller's event loop watches; without one
// (containers, CI) it re-scans when polled and reports a change only when the names changed.
class DeviceWatch {
  public:
    explicit DeviceWatch(PortEnumerator enumerate = EnumerateSerialPorts);
    ~DeviceWatch();
    DeviceWatch(const DeviceWatch&) = delete;
    DeviceWatch& operator=(const DeviceWatch&) = delete;

    // Starts watching. Returns whether events come from udev; false means the caller polls.
    bool Start();
    // The descriptor to wait on for readability, or -1 when polling.
    int Fd() const;
    static constexpr int kPollIntervalMs = 2000;

    // Reads what is pending on Fd(): for each tty added or removed, its arrival or removal code
    // followed by kDbtDevNodesChanged.
    std::vector<unsigned> ReadEvents();
    // Polling: kDbtDevNodesChanged when the list of port names differs from the last look.
    std::vector<unsigned> Poll();

  private:
    struct Monitor;
    PortEnumerator m_enumerate;
    std::vector<std::string> m_lastNames;
    Monitor* m_pMonitor = nullptr;
};
