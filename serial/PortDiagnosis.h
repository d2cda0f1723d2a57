#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "serial/PortEnumeration.h"
#include "serial/SerialPort.h"

// Where the diagnosis looks. Every path is a parameter so that tests can point it at fixtures.
struct SystemRoots {
    std::string strProc = "/proc";
    std::string strSys = "/sys";
    std::string strDev = "/dev";
    std::string strGroupFile = "/etc/group";
    std::string strUdevRun = "/run/udev";  // the udev daemon's socket and database
    // Highest precedence first: a rules file hides one of the same name in a later folder.
    std::vector<std::string> ruleDirs = {"/etc/udev/rules.d", "/run/udev/rules.d",
                                         "/lib/udev/rules.d", "/usr/lib/udev/rules.d"};
};

// What the system knows of one serial port.
struct PortFacts {
    std::string strNode;        // /dev/ttyUSB0
    std::string strStableName;  // /dev/serial/by-id/..., empty when udev made none
    std::string strDriver;      // kernel driver of the port's device (pl2303, cdc_acm, ...)
    std::string strVendorId;    // USB ids as four hex digits; empty when not on USB
    std::string strProductId;
    std::string strManufacturer;
    std::string strProduct;
    bool bPresent = false;    // the device node exists
    bool bMmIgnored = false;  // udev marked it ID_MM_DEVICE_IGNORE
};

enum class ProblemKind {
    NoPermission,  // the user may not read and write the device node
    NotAPort,      // the path is no terminal device
    HeldBy,        // another process has the port open
    ModemManager,  // ModemManager runs and may probe the port
    Brltty,        // a brltty rule claims the device
    Vanished,      // a port appeared and went away again within seconds
    Missing,       // the named port is not there
    NoDriver,      // a USB serial bridge without a tty
    NoPorts,       // no serial port at all
};

struct PortProblem {
    ProblemKind kind;
    std::string strWhat;  // what is wrong
    std::string strFix;   // the one command or step that fixes it
};

struct PortCheck {
    PortFacts facts;
    SerialStatus openStatus = SerialStatus::NotFound;
    bool bOpenTried = true;  // false: not opened, as it is missing, no port, or another's
    std::vector<PortProblem> problems;
};

// A USB device that looks like a serial bridge but has no tty.
struct UsbBridge {
    std::string strSysName;  // 1-2 (bus-port)
    std::string strVendorId;
    std::string strProductId;
    std::string strProduct;
    std::string strInterfaceDriver;  // empty: no driver; usbfs: a program claimed it
};

// Finds out why a serial port will not open and what fixes it. Linux reads /proc, /sys, /dev,
// the group file and udev's rules; elsewhere it only tries to open the ports.
class PortDoctor {
  public:
    explicit PortDoctor(SystemRoots roots = {}, PortEnumerator enumerate = EnumerateSerialPorts);

    // The system's serial ports, each with its facts, open result and problems.
    std::vector<PortCheck> CheckAll() const;
    // One port by name or path; nothing is watched.
    PortCheck Check(const std::string& strPort) const;
    // For a missing port: watches for nWatch whether it (or any port) comes and goes, and returns
    // what was seen. Ports that appear and stay are reported as Missing with their new name.
    std::vector<PortProblem> WatchForPort(const std::string& strPort,
                                          std::chrono::milliseconds nWatch) const;
    // Problems not tied to one port: bridges without a tty, brltty, nothing plugged in.
    std::vector<PortProblem> SystemProblems(bool bAnyPort) const;
    std::vector<UsbBridge> BridgesWithoutTty() const;

    // The problems that explain a failed open with this status, most likely cause first.
    std::vector<PortProblem> Explain(const PortFacts& facts, SerialStatus status) const;
    PortFacts Facts(const std::string& strPort) const;

  private:
    SystemRoots m_roots;
    PortEnumerator m_enumerate;
};

// One line that says why the port did not open and how to fix it, for a second message line:
// "/dev/ttyUSB0: you are not in the group dialout (sudo usermod -aG dialout $USER, then log out
// and in again)". Falls back to the status text; empty for SerialStatus::Ok.
std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status);
std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status,
                              const SystemRoots& roots);
