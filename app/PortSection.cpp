#include "PortSection.h"

#include <algorithm>
#include <chrono>
#include <string_view>
#include <utility>
#include <vector>

#include "Resource.h"
#include "WindowBoxes.h"
#include "platform/Trace.h"
#include "track/Digits.h"

namespace {

constexpr int kDefaultBaudIndex = 5;

// The stop handshake with the receive worker: polls of 100 ms, at most 20.
constexpr int kStopPollLimit = 20;
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);

// A name typed or listed with the logger's model behind it opens the port named before it.
constexpr std::string_view kModelSuffix = ":QM-518";
// The received-lines list keeps the newest entries only.
constexpr int kMaxLogEntries = 500;

// Device-change event codes other than the device tree's, and the names the trace gives them.
struct DeviceEventName {
    uint32_t nCode;
    const char* pszTrace;
};
constexpr DeviceEventName kDeviceEventNames[] = {
    {0x0017, "WM_DEVICECHANGE.....DBT_QUERYCHANGECONFIG"},
    {0x0018, "WM_DEVICECHANGE.....DBT_CONFIGCHANGED"},
    {0x0019, "WM_DEVICECHANGE.....DBT_CONFIGCHANGECANCELED"},
    {0x001B, "WM_DEVICECHANGE.....DBT_MONITORCHANGE"},
    {0x8000, "WM_DEVICECHANGE.....DBT_DEVICEARRIVAL"},
    {0x8001, "WM_DEVICECHANGE.....DBT_DEVICEQUERYREMOVE"},
    {0x8002, "WM_DEVICECHANGE.....DBT_DEVICEQUERYREMOVEFAILED"},
    {0x8003, "WM_DEVICECHANGE.....DBT_DEVICEREMOVEPENDING"},
    {0x8004, "WM_DEVICECHANGE.....DBT_DEVICEREMOVECOMPLETE"},
    {0x8005, "WM_DEVICECHANGE.....DBT_DEVICETYPESPECIFIC"},
    {0xFFFF, "WM_DEVICECHANGE.....DBT_USERDEFINED"},
};

// The speed typed or chosen in the speed list: its leading decimal digits; 0 without any.
uint32_t ParseBaudRate(const std::string& strText) {
    size_t i = 0;
    const uint64_t nBaud = ReadDigits(strText, i).nValue;
    return nBaud > UINT32_MAX ? 0 : static_cast<uint32_t>(nBaud);
}

}  // namespace

int32_t g_bPortFound = 0;

std::string PortNameFromListText(const std::string& strText) {
    if (strText.size() >= kModelSuffix.size() &&
        std::string_view(strText).substr(strText.size() - kModelSuffix.size()) == kModelSuffix) {
        return strText.substr(0, strText.size() - kModelSuffix.size());
    }
    return strText;
}

PortSection::PortSection(DialogView& view, LinkSession& link, PortEnumerator enumerate,
                         PortStateListener& listener)
    : m_view(view), m_link(link), m_enumerate(std::move(enumerate)), m_listener(listener) {}

void PortSection::FillBaudRateList() {
    m_view.ResetList(IDC_BAUD_LIST);
    for (const char* pszRate : kBaudRates) {
        (void)m_view.AddListEntry(IDC_BAUD_LIST, pszRate, 0);
    }
    m_view.SelectListEntry(IDC_BAUD_LIST, kDefaultBaudIndex);
}

void PortSection::ScanComPorts() {
    m_view.ResetList(IDC_PORT_LIST);
    g_bPortFound = 0;
    if (!m_enumerate) return;
    std::vector<std::string> added;
    for (const SerialPortInfo& port : m_enumerate()) {
        // A port reported twice keeps the place of its first report.
        if (std::find(added.begin(), added.end(), port.strName) != added.end()) continue;
        // The stable name survives a re-plug and opens the same port; the kernel's name goes
        // beside it.
        const bool bStable = !port.strStableName.empty();
        const int nIndex =
            m_view.AddListEntry(IDC_PORT_LIST, bStable ? port.strStableName : port.strName, 0);
        if (bStable) m_view.SetListEntryNote(IDC_PORT_LIST, nIndex, port.strName);
        m_view.SelectListEntry(IDC_PORT_LIST, nIndex);
        g_bPortFound = 1;
        added.push_back(port.strName);
    }
}

void PortSection::OnDeviceChange(uint32_t nEvent) {
    if (nEvent == kDbtDevNodesChanged) {
        OnDeviceNodesChanged();
        return;
    }
    for (const DeviceEventName& name : kDeviceEventNames) {
        if (name.nCode == nEvent) {
            TraceLine(name.pszTrace);
            return;
        }
    }
}

void PortSection::OnDeviceNodesChanged() {
    ScanComPorts();
    // Any port left keeps the connection: the open one is not looked for by name.
    if (m_bPortOpened == 0 || g_bPortFound != 0) return;
    TraceLine("WM_DEVICECHANGE.....Not found");
    TraceLine("WM_DEVICECHANGE.....CloseCom");
    EndConnection();
}

void PortSection::EndConnection() {
    CloseComPort();
    m_bPortOpened = 0;
    m_view.EnableControl(IDC_SCAN, true);
    m_view.EnableControl(IDC_PORT_LIST, true);
    m_view.EnableControl(IDC_BAUD_LIST, true);
}

void PortSection::OnPortLost() {
    // A download it cut short has had its result from the worker already.
    if (m_hComPort != kInvalidPortHandle) EndConnection();
}

bool PortSection::OpenComPort() {
    // One connection at a time: a second worker would share the first one's flags.
    if (m_hComPort != kInvalidPortHandle || m_link.IsOpen()) return false;
    const std::string strName = PortNameFromListText(m_view.GetControlText(IDC_PORT_LIST));
    const uint32_t nBaud = ParseBaudRate(m_view.GetControlText(IDC_BAUD_LIST));
    // A port that cannot be opened is not reported here: the operations that need it say so.
    const SerialStatus status = m_link.Open(strName, nBaud);
    if (status != SerialStatus::Ok) {
        m_strPortFailure = m_link.FailureMessage(status);
        return false;
    }
    m_strPortFailure.clear();
    m_hComPort = m_link.PortHandle();
    m_listener.OnPortOpened();
    return true;
}

void PortSection::CloseComPort() {
    if (m_hComPort == kInvalidPortHandle) return;
    // The stop handshake: polls of 100 ms, at most 20, then the port closes whatever the worker
    // did.
    m_link.Close(kStopPollInterval, kStopPollLimit);
    m_hComPort = kInvalidPortHandle;
    // A download stopped before its raw file existed has no result from the worker: end it here
    // so that the window leaves its download look. (One with a file open was ended by the worker.)
    if (m_link.Flags().m_bDownloadMode.exchange(0) != 0) {
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
    }
    m_listener.OnPortClosed();
}

void PortSection::OnOpenClose() {
    if (m_bPortOpened != 0) {
        CloseComPort();
    } else {
        (void)OpenComPort();
    }
    m_link.Flags().m_bDownloadMode = 0;
    const bool bClosed = m_hComPort == kInvalidPortHandle;
    m_bPortOpened = bClosed ? 0 : 1;
    m_view.EnableControl(IDC_SCAN, bClosed);
    m_view.EnableControl(IDC_PORT_LIST, bClosed);
    m_view.EnableControl(IDC_BAUD_LIST, bClosed);
}

bool PortSection::EnsurePortOpen() {
    if (m_hComPort == kInvalidPortHandle) {
        OnOpenClose();
        if (m_hComPort == kInvalidPortHandle) {
            ShowPortClosedError();
            return false;
        }
    }
    return true;
}

void PortSection::ShowPortClosedError() {
    ShowError(m_view, m_strPortFailure.empty() ? std::string(kPortClosedMessage) +
                                                     "\n\nThe port is not open (Open/Close)."
                                               : m_strPortFailure);
}

bool PortSection::SendCommandSentence(const std::u16string& body) {
    if (m_hComPort == kInvalidPortHandle || !m_link.IsOpen()) {
        ShowPortClosedError();
        return false;
    }
    const SendStatus status = m_link.Send(body);
    if (!status.Ok()) ShowError(m_view, status.Message());
    return status.Ok();
}

void PortSection::AddLogListEntry(const std::string& strEntry) {
    (void)m_view.AddListEntry(IDC_LOG_LIST, strEntry, 0);
    if (m_view.GetListCount(IDC_LOG_LIST) > kMaxLogEntries) m_view.DeleteListEntry(IDC_LOG_LIST, 0);
    m_view.SelectListEntry(IDC_LOG_LIST, m_view.GetListCount(IDC_LOG_LIST) - 1);
}
