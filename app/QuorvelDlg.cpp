#include "QuorvelDlg.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <utility>
#include <vector>

#include "Resource.h"
#include "export/OutputFile.h"
#include "platform/File.h"
#include "platform/Trace.h"
#include "track/Calendar.h"
#include "track/Digits.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

namespace {

#ifdef _WIN32
constexpr char kPathSeparators[] = "\\/";  // Windows takes either
#else
constexpr char kPathSeparators[] = "/";
#endif

constexpr char kAboutMenuText[] = "&About Quorvel...";
constexpr char kTrackViewMenuText[] = "&Track view\tCtrl+T";
constexpr const char* kBaudRates[] = {"4800",  "9600",   "19200", "38400",
                                      "57600", "115200", "230400"};
constexpr int kDefaultBaudIndex = 5;
// The records box is read through a buffer of this many characters.
constexpr size_t kRecordsTextLimit = 259;

// The stop handshake with the receive worker: polls of 100 ms, at most 20.
constexpr int kStopPollLimit = 20;
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);

constexpr char kGetDataText[] = "GET data from device";
constexpr char kCancelText[] = "Cancel";
constexpr char kNoRawData[] = "No raw data available.";

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

// The worker's reports, posted to the window's thread in the order they were made; the worker
// never waits for the window.
class WindowWorkerEvents final : public WorkerEvents {
  public:
    WindowWorkerEvents(CQuorvelDlg& dlg, DialogView& view) : m_dlg(dlg), m_view(view) {}

    void LineReceived(std::string_view text) override {
        m_view.PostTask([pDlg = &m_dlg, strEntry = AnsiToUtf8(text)] {
            if (!pDlg->m_bEnded) pDlg->AddLogListEntry(strEntry);
        });
    }
    void IntervalReceived(std::string_view value) override { PostText(IDC_INTERVAL, value); }
    void DistanceReceived(std::string_view value) override { PostText(IDC_DISTANCE, value); }
    void SettingsReceived() override {
        m_view.PostTask([pDlg = &m_dlg] {
            if (!pDlg->m_bEnded) pDlg->EnableSettingsControls(true);
        });
    }
    void DownloadProgress(uint32_t nAnnounced, uint32_t nReceived) override {
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, nAnnounced, nReceived);
    }
    void DownloadEnded(DownloadResult result) override {
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, static_cast<uint32_t>(result), 0);
    }
    void PortGone() override {
        m_view.PostTask([pDlg = &m_dlg] {
            if (!pDlg->m_bEnded) pDlg->OnPortLost();
        });
    }

  private:
    void PostText(int nId, std::string_view value) {
        m_view.PostTask([pDlg = &m_dlg, pView = &m_view, nId, strText = AnsiToUtf8(value)] {
            if (!pDlg->m_bEnded) pView->SetControlText(nId, strText);
        });
    }

    CQuorvelDlg& m_dlg;
    DialogView& m_view;
};

std::string InitialFolderOf(const std::string& strPath) {
    const size_t nPos = strPath.find_last_of(kPathSeparators);
    if (nPos == std::string::npos) return strPath;
    return strPath.substr(0, nPos);
}

std::string StemOf(const std::string& strPath) {
    const size_t nSlash = strPath.find_last_of(kPathSeparators);
    std::string strName = nSlash == std::string::npos ? strPath : strPath.substr(nSlash + 1);
    const size_t nDot = strName.find_last_of('.');
    if (nDot != std::string::npos && nDot > 0) strName.resize(nDot);
    return strName;
}

CQuorvelDlg::CQuorvelDlg(DialogView& view, PortEnumerator enumerate, uint32_t nDataLostMs)
    : m_view(view),
      m_pWorkerEvents(std::make_unique<WindowWorkerEvents>(*this, view)),
      m_pLink(std::make_unique<LinkSession>(*m_pWorkerEvents, nDataLostMs)),
      m_bStopWorker(m_pLink->Flags().m_bStopWorker),
      m_bDownloadMode(m_pLink->Flags().m_bDownloadMode),
      m_bIntervalReceived(m_pLink->Flags().m_bIntervalReceived),
      m_bDistanceReceived(m_pLink->Flags().m_bDistanceReceived),
      m_hIcon(IDR_MAINFRAME),
      m_enumerate(std::move(enumerate)) {}

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

    RestoreSettings();
    ShowStartZone();
    m_shownZone = GetTimeZone();
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
            UpdateTrackView();
            return true;
        case IDC_BY_SIZE:
            OnBySize();
            UpdateTrackView();
            return true;
        case IDC_ALL:
            OnAll();
            UpdateTrackView();
            return true;
        case IDC_DROP_NOFIX:
            UpdateTrackView();
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
    SaveSettings();
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
            OnTimeZoneChange();
            break;
        case IDC_TIME_FROM_DATE:
        case IDC_TIME_FROM_TIME:
        case IDC_TIME_TO_DATE:
        case IDC_TIME_TO_TIME:
        case IDC_SIZE_FROM_DATE:
        case IDC_SIZE_FROM_TIME:
        case IDC_RECORDS:
            UpdateTrackView();
            break;
        default:
            break;
    }
}

void CQuorvelDlg::OnDropFiles(const std::vector<std::string>& paths) {
    // The same rule as OPEN existing file, which a download disables.
    if (paths.empty() || m_bDownloading || m_bDownloadMode != 0) return;
    (void)OpenRawLogPath(paths.front());
}

void CQuorvelDlg::OnByTime() {
    m_nSelectMode = kSelectByTime;
    m_view.SetCheck(IDC_BY_SIZE, false);
    m_view.SetCheck(IDC_ALL, false);
}

void CQuorvelDlg::OnBySize() {
    m_nSelectMode = kSelectBySize;
    m_view.SetCheck(IDC_BY_TIME, false);
    m_view.SetCheck(IDC_ALL, false);
}

void CQuorvelDlg::OnAll() {
    m_nSelectMode = kSelectAll;
    m_view.SetCheck(IDC_BY_TIME, false);
    m_view.SetCheck(IDC_BY_SIZE, false);
}

void CQuorvelDlg::OnOkCommand() {
    // Enter never closes the window.
}

void CQuorvelDlg::FillBaudRateList() {
    m_view.ResetList(IDC_BAUD_LIST);
    for (const char* pszRate : kBaudRates) {
        (void)m_view.AddListEntry(IDC_BAUD_LIST, pszRate, 0);
    }
    m_view.SelectListEntry(IDC_BAUD_LIST, kDefaultBaudIndex);
}

void CQuorvelDlg::FillTimeZoneList() {
    m_view.ResetList(IDC_TIME_ZONE);
    for (int i = 0; i < kTimeZoneCount; ++i) {
        const int32_t nOffset = TimeZoneOffsetAt(i);
        const int nIndex = m_view.AddListEntry(IDC_TIME_ZONE, TimeZoneText(nOffset), nOffset);
        (void)nIndex;
    }
    m_view.SelectListEntry(IDC_TIME_ZONE, kDefaultTimeZoneIndex);
    m_lastZone = TimeZone::Fixed(TimeZoneOffsetAt(kDefaultTimeZoneIndex));
    m_shownZone = m_lastZone;
}

void CQuorvelDlg::ShowStartZone() {
    std::optional<std::string> strZone;
    if (m_pSettings) strZone = m_pSettings->Read(settings_key::kTimeZone);
    TimeZone zone;
    if (strZone && ParseTimeZone(*strZone, zone) == TimeZoneStatus::Ok) {
        ShowZoneText(*strZone);
        return;
    }
    const std::string strName = SystemZoneName();
    if (strName.empty()) return;  // the list's entry stays
    // Shown by its name, which is what will be remembered, when that name reads back as a zone;
    // a zone known only by a rule or a file stays "local".
    ShowZoneText(ParseTimeZone(strName, zone) == TimeZoneStatus::Ok ? strName : "local");
}

void CQuorvelDlg::ShowZoneText(const std::string& strZone) {
    if (const std::optional<int> nIndex = TimeZoneListIndex(strZone)) {
        m_view.SelectListEntry(IDC_TIME_ZONE, *nIndex);
    } else {
        // A zone of the user's own typing stays typed.
        m_view.SetControlText(IDC_TIME_ZONE, strZone);
    }
}

TimeZone CQuorvelDlg::GetTimeZone() {
    if (const auto nSelected = m_view.GetSelectedListValue(IDC_TIME_ZONE)) {
        m_lastZone = TimeZone::Fixed(static_cast<int32_t>(*nSelected));
    }
    // A zone typed as an offset, a zone name or "local" counts; other text keeps the last entry.
    TimeZone typed;
    if (ParseTimeZone(m_view.GetControlText(IDC_TIME_ZONE), typed) == TimeZoneStatus::Ok) {
        return typed;
    }
    return m_lastZone;
}

void CQuorvelDlg::ShowError(const std::string& strText) {
    (void)m_view.ShowMessageBox(strText, "Error", BoxButtons::Ok, BoxIcon::Error);
}

void CQuorvelDlg::ShowInfo(const std::string& strText) {
    (void)m_view.ShowMessageBox(strText, "Info", BoxButtons::Ok, BoxIcon::Information);
}

void CQuorvelDlg::ShowPortClosedError() {
    ShowError(m_strPortFailure.empty()
                  ? std::string(kPortClosedMessage) + "\n\nThe port is not open (Open/Close)."
                  : m_strPortFailure);
}

bool CQuorvelDlg::LoadRawLogFile() {
    RawLogImage image;
    const std::string strPath = m_view.GetControlText(IDC_RAW_PATH);
    SystemError nError = 0;
    const RawLogStatus status = LoadRawLogImage(strPath, image, &nError);
    switch (status) {
        case RawLogStatus::Ok:
            break;
        case RawLogStatus::BadSize:
            // Nothing usable is loaded any more; the count and times keep their old values.
            SetRawImage(nullptr);
            ShowError(RawLogLoadMessage(status, strPath, nError));
            return false;
        case RawLogStatus::NoRecords:
            SetRawImage(nullptr);
            m_RawLog.m_nRecordCount = 0;
            ShowError(RawLogLoadMessage(status, strPath, nError));
            return false;
        case RawLogStatus::CannotOpen:
        case RawLogStatus::TooLarge:
        case RawLogStatus::OutOfMemory:
        case RawLogStatus::XmlFile:
        case RawLogStatus::TextFile:
            // The file never got in: the previous one stays loaded.
            ShowError(RawLogLoadMessage(status, strPath, nError));
            return false;
    }
    m_strLoadedPath = strPath;

    m_RawLog.m_nRecordCount = image.RecordCount();
    m_RawLog.m_dwFirstTime = image.FirstTime();
    m_RawLog.m_dwLastTime = image.LastTime();
    m_bTranslatedSinceLoad = false;

    const TimeZone zone = GetTimeZone();
    m_shownZone = zone;
    SetPickers(m_RawLog.m_dwFirstTime, zone,
               {IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME});
    SetPickers(m_RawLog.m_dwLastTime, zone, {IDC_TIME_TO_DATE, IDC_TIME_TO_TIME});
    ShowRawLogInfo();
    // Last, so that the view sees the new pickers.
    SetRawImage(std::make_shared<const RawLogImage>(std::move(image)));
    return true;
}

void CQuorvelDlg::SetRawImage(std::shared_ptr<const RawLogImage> pImage) {
    m_RawLog.m_pRawData = std::move(pImage);
    m_view.EnableControl(IDC_TRACK_VIEW, m_RawLog.m_pRawData != nullptr);
    UpdateTrackView();
}

TrackViewData CQuorvelDlg::CurrentTrackView() {
    TrackViewData data;
    data.pImage = m_RawLog.m_pRawData;
    if (data.pImage) data.selection = CurrentSelection();
    data.zone = GetTimeZone();
    data.strTitle = m_strLoadedPath;
    return data;
}

void CQuorvelDlg::UpdateTrackView() {
    if (m_bTrackViewOpened) m_view.UpdateTrackView(CurrentTrackView());
}

void CQuorvelDlg::OnTrackView() {
    if (!m_RawLog.m_pRawData) {
        ShowError(kNoRawData);
        return;
    }
    m_bTrackViewOpened = true;
    m_view.ShowTrackView(CurrentTrackView());
}

void CQuorvelDlg::OnTimeZoneChange() {
    const TimeZone zone = GetTimeZone();
    if (zone.DisplayName() == m_shownZone.DisplayName()) return;
    // The pickers keep the instants they showed: read in the zone they were shown in, shown again
    // in the new one, so that By Time selects the same records.
    static constexpr std::pair<int, int> kPairs[] = {{IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME},
                                                     {IDC_TIME_TO_DATE, IDC_TIME_TO_TIME},
                                                     {IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME}};
    for (const auto& [nDateId, nTimeId] : kPairs) {
        PickerTime local = m_view.GetPickerTime(nDateId);
        const PickerTime timeOfDay = m_view.GetPickerTime(nTimeId);
        local.wHour = timeOfDay.wHour;
        local.wMinute = timeOfDay.wMinute;
        local.wSecond = timeOfDay.wSecond;
        const uint32_t dwInstant =
            m_shownZone.LocalToRecordTime(LocalSecondsOf(SystemTimeToLogDateTime(local)));
        SetPickers(dwInstant, zone, {nDateId, nTimeId});
    }
    m_shownZone = zone;
    if (m_bSpanShown) {
        m_view.SetControlText(IDC_TIME_LABEL, FormatTimeSpanLabel(m_RawLog.m_dwFirstTime,
                                                                  m_RawLog.m_dwLastTime, zone));
    }
    UpdateTrackView();
}

void CQuorvelDlg::SetPickers(uint32_t dwTime, const TimeZone& zone,
                             std::initializer_list<int> ids) {
    const PickerTime time =
        LogDateTimeToSystemTime(SecondsToDateTime(dwTime, zone.OffsetAt(dwTime)));
    for (int nId : ids) m_view.SetPickerTime(nId, time);
}

void CQuorvelDlg::ShowRawLogInfo() {
    m_bSpanShown = true;
    m_view.ShowControl(IDC_PROGRESS, false);
    m_view.SetControlText(
        IDC_TIME_LABEL,
        FormatTimeSpanLabel(m_RawLog.m_dwFirstTime, m_RawLog.m_dwLastTime, GetTimeZone()));
    m_view.ShowControl(IDC_TIME_LABEL, true);
    m_view.SetControlText(IDC_SIZE_LABEL, FormatSizeLabel(m_RawLog.m_nRecordCount));
    m_view.ShowControl(IDC_SIZE_LABEL, true);
}

void CQuorvelDlg::OnOpenFile() {
    FileDialogRequest request;
    const std::string strRawPath = m_view.GetControlText(IDC_RAW_PATH);
    request.strInitialFolder = strRawPath.empty() ? m_strOpenFolder : InitialFolderOf(strRawPath);
    request.filters = {{"Data logger file(*.dlg)", "*.dlg"}, {"All Files(*.*)", "*.*"}};
    request.nOptions = kFileMustExist | kHideReadOnly;
    const std::optional<std::string> strPath = m_view.ShowOpenDialog(request);
    if (!strPath) {
        ShowError(RawLogStatusMessage(RawLogStatus::CannotOpen));
        return;
    }
    (void)OpenRawLogPath(*strPath);
}

bool CQuorvelDlg::OpenRawLogPath(const std::string& strPath) {
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    if (!FolderOf(strPath).empty()) m_strOpenFolder = FolderOf(strPath);
    return LoadRawLogFile();
}

uint32_t CQuorvelDlg::ReadPickerBound(int nDateId, int nTimeId) {
    PickerTime combined = m_view.GetPickerTime(nDateId);
    const PickerTime timeOfDay = m_view.GetPickerTime(nTimeId);
    combined.wHour = timeOfDay.wHour;
    combined.wMinute = timeOfDay.wMinute;
    combined.wSecond = timeOfDay.wSecond;
    // A bound before the first second of the record scale is that second, one past its last is
    // the last: a wrapped bound would turn the window around.
    return LocalBound(SystemTimeToLogDateTime(combined), GetTimeZone());
}

RecordSelection CQuorvelDlg::ReadSelectionBounds() {
    RecordSelection bounds;
    bounds.nSelectMode = m_nSelectMode;
    bounds.dwFromTime = m_nSelectMode == kSelectBySize
                            ? ReadPickerBound(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME)
                            : ReadPickerBound(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME);
    bounds.dwToTime = ReadPickerBound(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME);
    // The window does not depend on the order in which the user set the two ends.
    OrderBounds(bounds);
    return bounds;
}

RecordSelection CQuorvelDlg::CurrentSelection() {
    const RecordSelection bounds = ReadSelectionBounds();
    return SelectionWithin(bounds.dwFromTime, bounds.dwToTime);
}

RecordSelection CQuorvelDlg::SelectionWithin(uint32_t dwFromTime, uint32_t dwToTime) {
    std::string strRecords = m_view.GetControlText(IDC_RECORDS);
    if (strRecords.size() > kRecordsTextLimit) strRecords.resize(kRecordsTextLimit);
    return MakeSelection(m_nSelectMode, dwFromTime, dwToTime, strRecords,
                         m_view.GetCheck(IDC_DROP_NOFIX));
}

void CQuorvelDlg::OnTranslate() {
    if (!m_RawLog.m_pRawData) {
        ShowError(kNoRawData);
        return;
    }
    // Never records of another file than the one the path box shows.
    if (m_view.GetControlText(IDC_RAW_PATH) != m_strLoadedPath) {
        ShowError(std::string(kNoRawData) + "\n\nThe records in memory come from " +
                  m_strLoadedPath + "; open the file the raw path names to translate it.");
        return;
    }
    const RecordSelection bounds = ReadSelectionBounds();
    m_RawLog.m_dwFromTime = bounds.dwFromTime;
    m_RawLog.m_dwToTime = bounds.dwToTime;

    FileDialogRequest request;
    // The loaded file's name and folder, until an output of it went elsewhere.
    const std::string strOutPath = m_view.GetControlText(IDC_OUT_PATH);
    if (m_bTranslatedSinceLoad && !strOutPath.empty()) {
        request.strInitialFolder = InitialFolderOf(strOutPath);
    } else if (!FolderOf(m_strLoadedPath).empty()) {
        request.strInitialFolder = FolderOf(m_strLoadedPath);
    } else {
        request.strInitialFolder =
            strOutPath.empty() ? m_strOutputFolder : InitialFolderOf(strOutPath);
    }
    request.strInitialName = StemOf(m_strLoadedPath) + ".kml";
    const std::vector<const OutputFormatRow*> formats = DialogFormats();
    for (const OutputFormatRow* pFormat : formats) {
        request.filters.push_back(
            {std::string(pFormat->dialogLabel), "*" + std::string(pFormat->extensions[0])});
    }
    request.strDefaultExtension = "kml";
    request.nOptions = kOverwritePrompt | kHideReadOnly | kPathMustExist;
    const std::optional<FileDialogResult> chosen = m_view.ShowSaveDialog(request);
    if (!chosen) return;
    m_view.SetControlText(IDC_OUT_PATH, chosen->strPath);
    m_bTranslatedSinceLoad = true;
    if (!FolderOf(chosen->strPath).empty()) m_strOutputFolder = FolderOf(chosen->strPath);

    TranslateOptions options;
    if (chosen->nFilter < formats.size()) PickFormat(options, formats[chosen->nFilter]->format);
    (void)WriteOutputFile(options);
}

bool CQuorvelDlg::WriteOutputFile(const TranslateOptions& options) {
    if (!m_RawLog.m_pRawData) {
        ShowError(kNoRawData);
        return false;
    }
    const std::string strPath = m_view.GetControlText(IDC_OUT_PATH);
    OutputFormat format = OutputFormat::Kml;
    const TranslateStatus formatStatus = OutputFormatFromPath(strPath, options, format);
    if (formatStatus != TranslateStatus::Ok) {
        ShowError(TranslateResult{formatStatus}.FailureMessage(strPath));
        return false;
    }

    const RecordSelection selection = SelectionWithin(m_RawLog.m_dwFromTime, m_RawLog.m_dwToTime);

    const TimeZone zone = GetTimeZone();
    const TranslateResult result =
        TranslateToFile(*m_RawLog.m_pRawData, strPath, selection, zone, options);
    if (result.status == TranslateStatus::CannotCreate) {
        ShowError(result.FailureMessage(strPath));
        return false;
    }
    // The box shows the limit it read once the file exists.
    if (selection.nLimit == 0) m_view.SetControlText(IDC_RECORDS, "0");
    if (result.status == TranslateStatus::NothingSelected) {
        ShowError(NothingSelectedMessage(*m_RawLog.m_pRawData, selection, zone, result.dropped));
        return false;
    }
    if (result.status != TranslateStatus::Ok) {
        ShowError(result.FailureMessage(strPath));
        return false;
    }
    ShowInfo(TranslateSummary(result, *m_RawLog.m_pRawData, selection, zone, strPath).BoxText());
    return true;
}

void CQuorvelDlg::OnDownloadProgress(uint32_t nAnnounced, uint32_t nReceived) {
    if (nReceived == 0) {
        m_view.ShowControl(IDC_TIME_LABEL, false);
        m_view.ShowControl(IDC_SIZE_LABEL, true);
        m_view.ShowControl(IDC_PROGRESS, true);
        m_view.SetProgressRange(IDC_PROGRESS, 0, nAnnounced);
        m_view.SetProgressPosition(IDC_PROGRESS, 0);
        return;
    }
    m_view.SetProgressPosition(IDC_PROGRESS, nReceived);
    char szText[32];
    std::snprintf(szText, sizeof szText, "%d / %d", static_cast<int>(nReceived),
                  static_cast<int>(nAnnounced));
    m_view.SetControlText(IDC_SIZE_LABEL, szText);
}

void CQuorvelDlg::OnDownloadDone(uint32_t nResult) {
    m_view.ShowControl(IDC_TIME_LABEL, false);
    m_view.ShowControl(IDC_SIZE_LABEL, false);
    m_view.ShowControl(IDC_PROGRESS, false);

    const DownloadOutcome outcome = m_pLink->LastDownload();
    if (DownloadResultText(nResult) != nullptr) {
        const std::string strText = DownloadResultMessage(nResult, outcome);
        if (DownloadResultIsError(nResult)) {
            ShowError(strText);
        } else {
            ShowInfo(strText);
        }
    }
    if (nResult == DR_OK) {
        // The file the download wrote, whatever the path box was given meanwhile.
        if (!outcome.strFile.empty()) m_view.SetControlText(IDC_RAW_PATH, outcome.strFile);
        (void)LoadRawLogFile();
    }
    RestoreIdleButtons();
}

void CQuorvelDlg::RestoreIdleButtons() {
    m_bDownloading = false;
    m_view.EnableControl(IDC_DELETE, true);
    m_view.EnableControl(IDC_OPEN_FILE, true);
    m_view.EnableControl(IDC_TRANSLATE, true);
    m_view.EnableControl(IDC_OPEN_CLOSE, true);
    m_view.SetControlText(IDC_GET_DATA, kGetDataText);
}

void CQuorvelDlg::ScanComPorts() {
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

void CQuorvelDlg::OnDeviceChange(uint32_t nEvent) {
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

void CQuorvelDlg::OnDeviceNodesChanged() {
    ScanComPorts();
    // Any port left keeps the connection: the open one is not looked for by name.
    if (m_bPortOpened == 0 || g_bPortFound != 0) return;
    TraceLine("WM_DEVICECHANGE.....Not found");
    TraceLine("WM_DEVICECHANGE.....CloseCom");
    EndConnection();
}

void CQuorvelDlg::EndConnection() {
    CloseComPort();
    m_bPortOpened = 0;
    m_view.EnableControl(IDC_SCAN, true);
    m_view.EnableControl(IDC_PORT_LIST, true);
    m_view.EnableControl(IDC_BAUD_LIST, true);
}

void CQuorvelDlg::OnPortLost() {
    // A download it cut short has had its result from the worker already.
    if (m_hComPort != kInvalidPortHandle) EndConnection();
}

bool CQuorvelDlg::OpenComPort() {
    // One connection at a time: a second worker would share the first one's flags.
    if (m_hComPort != kInvalidPortHandle || m_pLink->IsOpen()) return false;
    const std::string strName = PortNameFromListText(m_view.GetControlText(IDC_PORT_LIST));
    const uint32_t nBaud = ParseBaudRate(m_view.GetControlText(IDC_BAUD_LIST));
    // A port that cannot be opened is not reported here: the operations that need it say so.
    const SerialStatus status = m_pLink->Open(strName, nBaud);
    if (status != SerialStatus::Ok) {
        m_strPortFailure = m_pLink->FailureMessage(status);
        return false;
    }
    m_strPortFailure.clear();
    m_hComPort = m_pLink->PortHandle();
    m_view.EnableControl(IDC_LOAD_CONFIG, true);
    return true;
}

void CQuorvelDlg::CloseComPort() {
    if (m_hComPort == kInvalidPortHandle) return;
    // The stop handshake: polls of 100 ms, at most 20, then the port closes whatever the worker
    // did.
    m_pLink->Close(kStopPollInterval, kStopPollLimit);
    m_hComPort = kInvalidPortHandle;
    // A download stopped before its raw file existed has no result from the worker: end it here
    // so that the window leaves its download look. (One with a file open was ended by the worker.)
    if (m_bDownloadMode.exchange(0) != 0) m_view.PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
    m_view.EnableControl(IDC_LOAD_CONFIG, false);
    EnableSettingsControls(false);
}

void CQuorvelDlg::EnableSettingsControls(bool bEnable) {
    m_view.EnableControl(IDC_SET_CONFIG, bEnable);
    m_view.EnableControl(IDC_INTERVAL, bEnable);
    m_view.EnableControl(IDC_DISTANCE, bEnable);
    m_view.EnableControl(IDC_GPS_ALWAYS_ON, bEnable);
}

void CQuorvelDlg::OnOpenClose() {
    if (m_bPortOpened != 0) {
        CloseComPort();
    } else {
        (void)OpenComPort();
    }
    m_bDownloadMode = 0;
    const bool bClosed = m_hComPort == kInvalidPortHandle;
    m_bPortOpened = bClosed ? 0 : 1;
    m_view.EnableControl(IDC_SCAN, bClosed);
    m_view.EnableControl(IDC_PORT_LIST, bClosed);
    m_view.EnableControl(IDC_BAUD_LIST, bClosed);
}

bool CQuorvelDlg::SendCommandSentence(const std::u16string& body) {
    if (m_hComPort == kInvalidPortHandle || !m_pLink->IsOpen()) {
        ShowPortClosedError();
        return false;
    }
    const SendStatus status = m_pLink->Send(body);
    if (!status.Ok()) ShowError(status.Message());
    return status.Ok();
}

void CQuorvelDlg::AddLogListEntry(const std::string& strEntry) {
    (void)m_view.AddListEntry(IDC_LOG_LIST, strEntry, 0);
    if (m_view.GetListCount(IDC_LOG_LIST) > kMaxLogEntries) m_view.DeleteListEntry(IDC_LOG_LIST, 0);
    m_view.SelectListEntry(IDC_LOG_LIST, m_view.GetListCount(IDC_LOG_LIST) - 1);
}

void CQuorvelDlg::OnGetData() {
    if (m_hComPort == kInvalidPortHandle) {
        OnOpenClose();
        if (m_hComPort == kInvalidPortHandle) {
            ShowPortClosedError();
            return;
        }
    }
    if (m_bDownloadMode != 0) {
        // Cancel: the worker closes the raw file when the next bytes arrive.
        m_bDownloadMode = 0;
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, DR_ABORTED, 0);
        return;
    }

    FileDialogRequest request;
    const std::string strRawPath = m_view.GetControlText(IDC_RAW_PATH);
    request.strInitialFolder =
        strRawPath.empty() ? m_strDownloadFolder : InitialFolderOf(strRawPath);
    request.filters = {{"Data logger file(*.dlg)", "*.dlg"}};
    request.strDefaultExtension = "dlg";
    request.nOptions = kHideReadOnly | kOverwritePrompt | kPathMustExist;
    const std::optional<FileDialogResult> chosen = m_view.ShowSaveDialog(request);
    if (!chosen) return;
    const std::string& strPath = chosen->strPath;
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    if (!FolderOf(strPath).empty()) m_strDownloadFolder = FolderOf(strPath);
    // From here on the records in memory are not the file the path box names.
    SetRawImage(nullptr);
    m_bDownloading = true;

    // Download mode goes on before the request goes out, so that the worker is ready for the
    // answer; the worker gets the file's path with it.
    m_pLink->BeginDownload(strPath);
    m_view.EnableControl(IDC_DELETE, false);
    m_view.EnableControl(IDC_OPEN_FILE, false);
    m_view.EnableControl(IDC_TRANSLATE, false);
    m_view.EnableControl(IDC_OPEN_CLOSE, false);
    m_view.SetControlText(IDC_GET_DATA, kCancelText);
    if (!SendCommandSentence(DownloadSentenceBody())) {
        // Nothing was asked, so nothing will come: no download.
        m_bDownloadMode = 0;
        RestoreIdleButtons();
    }
}

void CQuorvelDlg::OnLoadConfig() {
    if (m_hComPort == kInvalidPortHandle) {
        ShowPortClosedError();
        return;
    }
    m_bIntervalReceived = 0;
    m_bDistanceReceived = 0;
    m_view.SetControlText(IDC_INTERVAL, "");
    m_view.SetControlText(IDC_DISTANCE, "");
    EnableSettingsControls(false);
    (void)SendCommandSentence(ConfigQuerySentenceBody());
}

void CQuorvelDlg::OnSetConfig() {
    if (m_hComPort == kInvalidPortHandle) {
        ShowPortClosedError();
        return;
    }
    const std::u16string interval = Utf8ToUtf16(m_view.GetControlText(IDC_INTERVAL));
    const std::u16string distance = Utf8ToUtf16(m_view.GetControlText(IDC_DISTANCE));
    const bool bGpsAlwaysOn = m_view.GetCheck(IDC_GPS_ALWAYS_ON);
    // A typed line end would put a second command on the line; such a value is refused whole.
    for (const auto& [value, pszWhat] :
         {std::pair{&interval, "interval"}, std::pair{&distance, "distance"}}) {
        const std::string strProblem = SettingsValueProblem(*value, pszWhat);
        if (!strProblem.empty()) {
            ShowError(strProblem);
            return;
        }
    }
    if (!SendCommandSentence(ConfigWriteSentenceBody(bGpsAlwaysOn, interval, distance))) return;
    (void)m_view.ShowMessageBox(kSetConfigOkMessage, "Info", BoxButtons::Ok, BoxIcon::None);
}

void CQuorvelDlg::OnDelete() {
    if (m_hComPort == kInvalidPortHandle) {
        OnOpenClose();
        if (m_hComPort == kInvalidPortHandle) {
            ShowPortClosedError();
            return;
        }
    }
    if (m_view.ShowMessageBox(kDeleteQuestion, "Question", BoxButtons::OkCancel,
                              BoxIcon::Question) != BoxAnswer::Ok) {
        return;
    }
    (void)SendCommandSentence(EraseSentenceBody());
}

void CQuorvelDlg::RestoreSettings() {
    if (!m_pSettings) return;
    namespace key = settings_key;
    if (const auto strSpeed = m_pSettings->Read(key::kSpeed)) {
        for (int i = 0; i < static_cast<int>(std::size(kBaudRates)); ++i) {
            if (*strSpeed == kBaudRates[i]) m_view.SelectListEntry(IDC_BAUD_LIST, i);
        }
    }
    if (const auto strDrop = m_pSettings->Read(key::kDropNoFix)) {
        m_view.SetCheck(IDC_DROP_NOFIX, *strDrop != "0");
    }
    if (const auto strMode = m_pSettings->Read(key::kSelectMode)) {
        static constexpr int kRadios[] = {IDC_BY_TIME, IDC_BY_SIZE, IDC_ALL};
        if (*strMode == "0" || *strMode == "1" || *strMode == "2") {
            const int nMode = (*strMode)[0] - '0';
            m_view.SetCheck(kRadios[nMode], true);
            (void)OnCommand(kRadios[nMode]);
        }
    }
    if (const auto strPort = m_pSettings->Read(key::kPort); strPort && !strPort->empty()) {
        // The port used last when it is here; typed in when no port is listed at all.
        bool bListed = false;
        for (int i = 0; i < m_view.GetListCount(IDC_PORT_LIST) && !bListed; ++i) {
            m_view.SelectListEntry(IDC_PORT_LIST, i);
            bListed = m_view.GetControlText(IDC_PORT_LIST) == *strPort;
        }
        if (!bListed && m_view.GetListCount(IDC_PORT_LIST) > 0) {
            m_view.SelectListEntry(IDC_PORT_LIST, m_view.GetListCount(IDC_PORT_LIST) - 1);
        } else if (!bListed) {
            m_view.SetControlText(IDC_PORT_LIST, *strPort);
        }
    }
    m_strOpenFolder = m_pSettings->Read(key::kOpenFolder).value_or("");
    m_strDownloadFolder = m_pSettings->Read(key::kDownloadFolder).value_or("");
    m_strOutputFolder = m_pSettings->Read(key::kOutputFolder).value_or("");
}

void CQuorvelDlg::SaveSettings() {
    if (!m_pSettings) return;
    namespace key = settings_key;
    m_pSettings->Write(key::kPort, m_view.GetControlText(IDC_PORT_LIST));
    m_pSettings->Write(key::kSpeed, m_view.GetControlText(IDC_BAUD_LIST));
    // Text that names no zone is not kept: the zone in effect is.
    const std::string strZone = m_view.GetControlText(IDC_TIME_ZONE);
    TimeZone zone;
    m_pSettings->Write(key::kTimeZone, ParseTimeZone(strZone, zone) == TimeZoneStatus::Ok
                                           ? strZone
                                           : GetTimeZone().DisplayName());
    m_pSettings->Write(key::kDropNoFix, m_view.GetCheck(IDC_DROP_NOFIX) ? "1" : "0");
    m_pSettings->Write(key::kSelectMode, std::to_string(m_nSelectMode));
    m_pSettings->Write(key::kOpenFolder, m_strOpenFolder);
    m_pSettings->Write(key::kDownloadFolder, m_strDownloadFolder);
    m_pSettings->Write(key::kOutputFolder, m_strOutputFolder);
}
