#pragma once

#include <atomic>
#include <cstdint>
#include <string>

#include "DialogView.h"
#include "SectionInterfaces.h"
#include "link/LinkSession.h"
#include "serial/PortEnumeration.h"

// The port handle value that means "closed".
inline constexpr intptr_t kInvalidPortHandle = -1;

// Whether the last port scan listed at least one port (0 or 1).
extern int32_t g_bPortFound;

// The speed list's entries, in their order.
inline constexpr const char* kBaudRates[] = {"4800",  "9600",   "19200", "38400",
                                             "57600", "115200", "230400"};

// The port name in the port list's text: the text itself, less a trailing ":QM-518".
std::string PortNameFromListText(const std::string& strText);

// The Com Port group and the received lines: the port and speed lists, Open/Close, the port scan,
// the system's device events, and the connection that the requests to the logger go over.
class PortSection final : public LoggerPort {
  public:
    // enumerate lists the system's serial ports; listener hears of every open and close.
    PortSection(DialogView& view, LinkSession& link, PortEnumerator enumerate,
                PortStateListener& listener);

    void FillBaudRateList();
    // Rebuilds the port list from the system's ports; also the Scan button's handler.
    void ScanComPorts();
    void OnOpenClose();
    // Opens the port named in the port list at the chosen speed and starts the receive worker;
    // false (silently) when either fails.
    bool OpenComPort();
    // Stops the receive worker and closes the port; nothing when the port is closed.
    void CloseComPort();
    void OnDeviceChange(uint32_t nEvent);
    // The port's device went away under an open connection: it ends as if the last port had gone.
    void OnPortLost();
    void AddLogListEntry(const std::string& strEntry);

    // LoggerPort
    bool IsPortOpen() const override { return m_hComPort != kInvalidPortHandle; }
    bool EnsurePortOpen() override;
    void ShowPortClosedError() override;
    [[nodiscard]] bool SendCommandSentence(const std::u16string& body) override;

    // Shared with the receive worker: the port's system handle.
    std::atomic<intptr_t> m_hComPort{kInvalidPortHandle};
    // The user has the connection switched on (the Open/Close toggle's state).
    int32_t m_bPortOpened = 0;

  private:
    // The connection check after the system's device tree changed.
    void OnDeviceNodesChanged();
    // Closes the port and switches the connection off: the port and speed lists are usable again.
    void EndConnection();

    DialogView& m_view;
    LinkSession& m_link;
    PortEnumerator m_enumerate;
    PortStateListener& m_listener;
    // Why the last open failed, for the message of the operation that needed the port.
    std::string m_strPortFailure;
};
