#include "QuorvelDlg.h"

#include <cstdint>
#include <utility>

#include "Resource.h"
#include "platform/Text.h"

namespace {

constexpr char kAboutMenuText[] = "&About Quorvel...";
constexpr char kTrackViewMenuText[] = "&Track view\tCtrl+T";

}  // namespace

// The worker's reports, posted to the window's thread in the order they were made; the worker
// never waits for the window.
class WindowWorkerEvents final : public WorkerEvents {
  public:
    WindowWorkerEvents(DialogView& view, const bool& bEnded, PortSection& port,
                       ConfigSection& config)
        : m_view(view), m_bEnded(bEnded), m_port(port), m_config(config) {}

    void LineReceived(std::string_view text) override {
        m_view.PostTask([this, strEntry = AnsiToUtf8(text)] {
            if (!m_bEnded) m_port.AddLogListEntry(strEntry);
        });
    }
    void IntervalReceived(std::string_view value) override { PostText(IDC_INTERVAL, value); }
    void DistanceReceived(std::string_view value) override { PostText(IDC_DISTANCE, value); }
    void SettingsReceived() override {
        m_view.PostTask([this] {
            if (!m_bEnded) m_config.EnableSettingsControls(true);
        });
    }
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, nAnnounced, nReceived);
    }
    void DownloadEnded(DownloadResult result) override {
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, static_cast<uint32_t>(result), 0);
    }
    void PortGone() override {
        m_view.PostTask([this] {
            if (!m_bEnded) m_port.OnPortLost();
        });
    }

  private:
    void PostText(int nId, std::string_view value) {
        m_view.PostTask([this, nId, strText = AnsiToUtf8(value)] {
            if (!m_bEnded) m_view.SetControlText(nId, strText);
        });
    }

    DialogView& m_view;
    const bool& m_bEnded;
    PortSection& m_port;
    ConfigSection& m_config;
};

CQuorvelDlg::CQuorvelDlg(DialogView& view, PortEnumerator enumerate, uint32_t nDataLostMs)
    : m_view(view),
      m_pWorkerEvents(std::make_unique<WindowWorkerEvents>(view, m_bEnded, m_port, m_config)),
      m_pLink(std::make_unique<LinkSession>(*m_pWorkerEvents, nDataLostMs)),
      m_port(view, *m_pLink, std::move(enumerate), m_config),
      m_config(view, m_pLink->Flags(), m_port),
      m_translate(view, m_folders, m_trackView),
      m_trackView(view, m_translate),
      m_download(view, *m_pLink, m_port, m_translate, m_folders),
      m_choices(view, m_translate, m_folders),
      m_bStopWorker(m_pLink->Flags().m_bStopWorker),
      m_hComPort(m_port.m_hComPort),
      m_bDownloadMode(m_pLink->Flags().m_bDownloadMode),
      m_RawLog(m_translate.m_RawLog),
      m_bIntervalReceived(m_pLink->Flags().m_bIntervalReceived),
      m_bDistanceReceived(m_pLink->Flags().m_bDistanceReceived),
      m_hIcon(IDR_MAINFRAME),
      m_bPortOpened(m_port.m_bPortOpened),
      m_nSelectMode(m_translate.m_nSelectMode) {}

CQuorvelDlg::~CQuorvelDlg() {
    // Whatever ended the window, the worker must not outlive the members it uses.
    m_pLink->Close();
}

bool CQuorvelDlg::OnInitDialog() {
    m_view.AppendWindowMenuCommand(kAboutMenuText, IDM_ABOUTBOX);
    m_view.AppendWindowMenuCommand(kTrackViewMenuText, IDM_TRACKVIEW);
    m_view.SetWindowIcon(m_hIcon);
    m_view.CenterWindow();

    m_view.SetCheck(IDC_BY_TIME, true);
    m_view.SetCheck(IDC_BY_SIZE, false);
    m_view.SetCheck(IDC_ALL, false);

    m_view.ShowControl(IDC_PROGRESS, false);
    m_view.ShowControl(IDC_TIME_LABEL, false);
    m_view.ShowControl(IDC_SIZE_LABEL, false);

    m_bPortOpened = 0;
    m_hComPort = kInvalidPortHandle;
    m_RawLog.m_pRawData.reset();

    ScanComPorts();
    FillBaudRateList();
    FillTimeZoneList();
    m_view.SetCheck(IDC_DROP_NOFIX, true);

    m_choices.RestoreSettings();
    m_translate.ShowStartZone(m_choices.RememberedZone());
    if (!m_strStartupFile.empty()) {
        // Once the window is up, so that a failure's box has it as owner.
        m_view.PostTask([this, strPath = m_strStartupFile] {
            if (!m_bEnded) (void)OpenRawLogPath(strPath);
        });
    }
    return true;
}

bool CQuorvelDlg::OnCommand(int nId) {
    switch (nId) {
        case IDC_OPEN_CLOSE:
            OnOpenClose();
            return true;
        case IDC_GET_DATA:
            OnGetData();
            return true;
        case IDC_DELETE:
            OnDelete();
            return true;
        case IDC_LOAD_CONFIG:
            OnLoadConfig();
            return true;
        case IDC_SET_CONFIG:
            OnSetConfig();
            return true;
        case IDC_SCAN:
            ScanComPorts();
            return true;
        case IDOK:
            OnOkCommand();
            return true;
        case IDC_BY_TIME:
            OnByTime();
            m_trackView.UpdateTrackView();
            return true;
        case IDC_BY_SIZE:
            OnBySize();
            m_trackView.UpdateTrackView();
            return true;
        case IDC_ALL:
            OnAll();
            m_trackView.UpdateTrackView();
            return true;
        case IDC_DROP_NOFIX:
            m_trackView.UpdateTrackView();
            return true;
        case IDC_TRACK_VIEW:
            OnTrackView();
            return true;
        case IDC_OPEN_FILE:
            OnOpenFile();
            return true;
        case IDC_TRANSLATE:
            OnTranslate();
            return true;
        default:
            return false;
    }
}

bool CQuorvelDlg::OnSysCommand(unsigned nId, uint32_t /*lParam*/) {
    if ((nId & 0xFFF0u) == IDM_ABOUTBOX) {
        m_view.ShowAboutBox();
        return true;
    }
    if ((nId & 0xFFF0u) == IDM_TRACKVIEW) {
        OnTrackView();
        return true;
    }
    return false;
}

void CQuorvelDlg::OnClose() {
    m_choices.SaveSettings();
    // The worker must be stopped before the window's state goes away, whichever way it is closed.
    CloseComPort();
    // A download cut short by the close ends without a result box.
    m_bEnded = true;
    m_view.EndDialog(IDCANCEL);
}

bool CQuorvelDlg::OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam, intptr_t* pResult) {
    if (m_bEnded) nMessage = 0;
    switch (nMessage) {
        case WM_DOWNLOAD_PROGRESS:
            OnDownloadProgress(wParam, lParam);
            break;
        case WM_DOWNLOAD_DONE:
            OnDownloadDone(wParam);
            break;
        case WM_DEVICECHANGE:
            OnDeviceChange(wParam);
            break;
        default:
            break;
    }
    // None of these has an entry of its own beyond this hook: the default handling applies.
    if (pResult) *pResult = 0;
    return false;
}

void CQuorvelDlg::OnControlChange(int nId) {
    switch (nId) {
        case IDC_TIME_ZONE:
            m_translate.OnTimeZoneChange();
            break;
        case IDC_TIME_FROM_DATE:
        case IDC_TIME_FROM_TIME:
        case IDC_TIME_TO_DATE:
        case IDC_TIME_TO_TIME:
        case IDC_SIZE_FROM_DATE:
        case IDC_SIZE_FROM_TIME:
        case IDC_RECORDS:
            m_trackView.UpdateTrackView();
            break;
        default:
            break;
    }
}

void CQuorvelDlg::OnDropFiles(const std::vector<std::string>& paths) {
    // The same rule as OPEN existing file, which a download disables.
    if (paths.empty() || m_download.IsDownloading()) return;
    (void)OpenRawLogPath(paths.front());
}

void CQuorvelDlg::OnOkCommand() {
    // Enter never closes the window.
}
