#include "QuorvelDlg.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "Resource.h"
#include "export/OutputFile.h"
#include "protocol/DownloadResult.h"
#include "track/Calendar.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

namespace {

#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

constexpr char kAboutMenuText[] = "&About Quorvel...";
constexpr const char* kBaudRates[] = {"4800",  "9600",   "19200", "38400",
                                      "57600", "115200", "230400"};
constexpr int kDefaultBaudIndex = 5;
// The records box is read through a buffer of this many characters.
constexpr size_t kRecordsTextLimit = 259;

// The stop handshake with the receive worker: polls of 100 ms, at most 20.
constexpr int kStopPollLimit = 20;
constexpr auto kStopPollInterval = std::chrono::milliseconds(100);

constexpr char kCannotGenerateOutput[] = "Can't generate output file.";

}  // namespace

std::string InitialFolderOf(const std::string& strPath) {
    const size_t nPos = strPath.rfind(kPathSeparator);
    if (nPos == std::string::npos) return strPath;
    return strPath.substr(0, nPos);
}

CQuorvelDlg::CQuorvelDlg(DialogView& view) : m_hIcon(IDR_MAINFRAME), m_view(view) {}

bool CQuorvelDlg::OnInitDialog() {
    m_view.AppendWindowMenuCommand(kAboutMenuText, IDM_ABOUTBOX);
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

    // The port list is filled by the port scan of the port connection; until then it stays empty.
    FillBaudRateList();
    FillTimeZoneList();
    m_view.SetCheck(IDC_DROP_NOFIX, true);
    return true;
}

bool CQuorvelDlg::OnCommand(int nId) {
    // The buttons that talk to the logger (Open/Close, GET, DELETE, LOAD and SET config, Scan) are
    // wired by the port connection.
    switch (nId) {
        case IDOK:
            OnOkCommand();
            return true;
        case IDC_BY_TIME:
            OnByTime();
            return true;
        case IDC_BY_SIZE:
            OnBySize();
            return true;
        case IDC_ALL:
            OnAll();
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
    return false;
}

void CQuorvelDlg::OnClose() {
    // The worker must be stopped before the window's state goes away, whichever way it is closed.
    CloseComPort();
    m_view.EndDialog(IDCANCEL);
}

bool CQuorvelDlg::OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam, intptr_t* pResult) {
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
    m_nLastZoneOffset = TimeZoneOffsetAt(kDefaultTimeZoneIndex);
}

int32_t CQuorvelDlg::GetTimeZoneOffset() {
    if (const auto nSelected = m_view.GetSelectedListValue(IDC_TIME_ZONE)) {
        m_nLastZoneOffset = static_cast<int32_t>(*nSelected);
    }
    // A zone typed the way the list writes them counts; other text keeps the last selected entry.
    if (const auto nTyped = ParseTimeZoneText(m_view.GetControlText(IDC_TIME_ZONE))) {
        return *nTyped;
    }
    return m_nLastZoneOffset;
}

void CQuorvelDlg::ShowError(const std::string& strText) {
    (void)m_view.ShowMessageBox(strText, "Error", MB_OK | MB_ICONERROR);
}

void CQuorvelDlg::ShowInfo(const std::string& strText) {
    (void)m_view.ShowMessageBox(strText, "Info", MB_OK | MB_ICONINFORMATION);
}

bool CQuorvelDlg::LoadRawLogFile() {
    RawLogImage image;
    const RawLogStatus status = LoadRawLogImage(m_view.GetControlText(IDC_RAW_PATH), image);
    switch (status) {
        case RawLogStatus::Ok:
            break;
        case RawLogStatus::BadSize:
            // Nothing usable is loaded any more; the count and times keep their old values.
            m_RawLog.m_pRawData.reset();
            ShowError(RawLogStatusMessage(status));
            return false;
        case RawLogStatus::NoRecords:
            m_RawLog.m_pRawData.reset();
            m_RawLog.m_nRecordCount = 0;
            ShowError(RawLogStatusMessage(status));
            return false;
        case RawLogStatus::CannotOpen:
        case RawLogStatus::TooLarge:
        case RawLogStatus::OutOfMemory:
            // The file never got in: the previous one stays loaded.
            ShowError(RawLogStatusMessage(status));
            return false;
    }

    m_RawLog.m_nRecordCount = image.RecordCount();
    m_RawLog.m_dwFirstTime = image.FirstTime();
    m_RawLog.m_dwLastTime = image.LastTime();
    m_RawLog.m_pRawData = std::make_unique<RawLogImage>(std::move(image));

    const int32_t nOffset = GetTimeZoneOffset();
    SetPickers(m_RawLog.m_dwFirstTime, nOffset,
               {IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME});
    SetPickers(m_RawLog.m_dwLastTime, nOffset, {IDC_TIME_TO_DATE, IDC_TIME_TO_TIME});
    ShowRawLogInfo();
    return true;
}

void CQuorvelDlg::SetPickers(uint32_t dwTime, int32_t nOffset, std::initializer_list<int> ids) {
    const PickerTime time = LogDateTimeToSystemTime(SecondsToDateTime(dwTime, nOffset));
    for (int nId : ids) m_view.SetPickerTime(nId, time);
}

void CQuorvelDlg::ShowRawLogInfo() {
    m_view.ShowControl(IDC_PROGRESS, false);
    const int32_t nOffset = GetTimeZoneOffset();
    m_view.SetControlText(IDC_TIME_LABEL, FormatTimeSpanLabel(m_RawLog.m_dwFirstTime,
                                                              m_RawLog.m_dwLastTime, nOffset));
    m_view.ShowControl(IDC_TIME_LABEL, true);
    m_view.SetControlText(IDC_SIZE_LABEL, FormatSizeLabel(m_RawLog.m_nRecordCount));
    m_view.ShowControl(IDC_SIZE_LABEL, true);
}

void CQuorvelDlg::OnOpenFile() {
    FileDialogRequest request;
    request.strInitialFolder = InitialFolderOf(m_view.GetControlText(IDC_RAW_PATH));
    request.filters = {{"Data logger file(*.dlg)", "*.dlg"}, {"All Files(*.*)", "*.*"}};
    request.nOptions = kFileMustExist | kHideReadOnly;
    const std::optional<std::string> strPath = m_view.ShowOpenDialog(request);
    if (!strPath) {
        ShowError(RawLogStatusMessage(RawLogStatus::CannotOpen));
        return;
    }
    m_view.SetControlText(IDC_RAW_PATH, *strPath);
    (void)LoadRawLogFile();
}

uint32_t CQuorvelDlg::ReadPickerBound(int nDateId, int nTimeId) {
    PickerTime combined = m_view.GetPickerTime(nDateId);
    const PickerTime timeOfDay = m_view.GetPickerTime(nTimeId);
    combined.wHour = timeOfDay.wHour;
    combined.wMinute = timeOfDay.wMinute;
    combined.wSecond = timeOfDay.wSecond;
    uint32_t dwSeconds = 0;
    // A date outside the record time scale reads as 0 seconds.
    (void)DateTimeToSeconds(SystemTimeToLogDateTime(combined), dwSeconds);
    return dwSeconds - static_cast<uint32_t>(GetTimeZoneOffset());
}

void CQuorvelDlg::OnTranslate() {
    if (!m_RawLog.m_pRawData) {
        ShowError("No raw data available.");
        return;
    }
    if (m_nSelectMode == kSelectBySize) {
        m_RawLog.m_dwFromTime = ReadPickerBound(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME);
    } else {
        m_RawLog.m_dwFromTime = ReadPickerBound(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME);
    }
    m_RawLog.m_dwToTime = ReadPickerBound(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME);
    // The window does not depend on the order in which the user set the two ends.
    if (m_nSelectMode == kSelectByTime && m_RawLog.m_dwFromTime > m_RawLog.m_dwToTime) {
        std::swap(m_RawLog.m_dwFromTime, m_RawLog.m_dwToTime);
    }

    FileDialogRequest request;
    request.strInitialFolder = InitialFolderOf(m_view.GetControlText(IDC_OUT_PATH));
    request.filters = {{"Google earth file(*.kml)", "*.kml"}, {"Excel file(*.csv)", "*.csv"}};
    request.strDefaultExtension = "kml";
    request.nOptions = kOverwritePrompt | kHideReadOnly | kPathMustExist;
    const std::optional<std::string> strPath = m_view.ShowSaveDialog(request);
    if (!strPath) return;
    m_view.SetControlText(IDC_OUT_PATH, *strPath);

    OutputFormat format = OutputFormat::Kml;
    const OutputFormatStatus status = OutputFormatFromPath(*strPath, format);
    if (status != OutputFormatStatus::Ok) {
        ShowError(OutputFormatStatusMessage(status));
        return;
    }
    const bool bWritten = format == OutputFormat::Kml ? WriteKmlFile() : WriteCsvFile();
    if (bWritten) ShowInfo("Translate OK.");
}

bool CQuorvelDlg::WriteKmlFile() {
    return WriteOutputFile(OutputFormat::Kml);
}

bool CQuorvelDlg::WriteCsvFile() {
    return WriteOutputFile(OutputFormat::Csv);
}

bool CQuorvelDlg::WriteOutputFile(OutputFormat format) {
    if (!m_RawLog.m_pRawData) {
        ShowError("No raw data available.");
        return false;
    }
    OutputFile out;
    if (!out.Create(m_view.GetControlText(IDC_OUT_PATH))) {
        ShowError(kCannotGenerateOutput);
        return false;
    }

    RecordSelection selection;
    selection.nSelectMode = m_nSelectMode;
    selection.dwFromTime = m_RawLog.m_dwFromTime;
    selection.dwToTime = m_RawLog.m_dwToTime;
    std::string strRecords = m_view.GetControlText(IDC_RECORDS);
    if (strRecords.size() > kRecordsTextLimit) strRecords.resize(kRecordsTextLimit);
    selection.nLimit = ParseRecordLimit(strRecords);
    if (selection.nLimit == 0) m_view.SetControlText(IDC_RECORDS, "0");
    selection.bDropNoFix = m_view.GetCheck(IDC_DROP_NOFIX);

    const int32_t nOffset = GetTimeZoneOffset();
    if (format == OutputFormat::Kml) {
        (void)WriteKml(out, *m_RawLog.m_pRawData, selection, nOffset);
    } else {
        (void)WriteCsv(out, *m_RawLog.m_pRawData, selection, nOffset);
    }
    // A write that failed on the way is not a translation: the target stays as it was.
    if (!out.Finish()) {
        ShowError(kCannotGenerateOutput);
        return false;
    }
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

    if (const char* pszText = DownloadResultText(nResult)) {
        if (DownloadResultIsError(nResult)) {
            ShowError(pszText);
        } else {
            ShowInfo(pszText);
        }
    }
    if (nResult == DR_OK) (void)LoadRawLogFile();

    m_view.EnableControl(IDC_DELETE, true);
    m_view.EnableControl(IDC_OPEN_FILE, true);
    m_view.EnableControl(IDC_TRANSLATE, true);
    m_view.EnableControl(IDC_OPEN_CLOSE, true);
    m_view.SetControlText(IDC_GET_DATA, "GET data from device");
}

void CQuorvelDlg::OnDeviceChange(uint32_t /*nEvent*/) {
    // Device detection belongs to the port connection, which attaches it here.
}

void CQuorvelDlg::CloseComPort() {
    if (m_hComPort == kInvalidPortHandle) return;
    // Ask the worker to stop and wait for its answer, but never longer than 2 s.
    m_bStopWorker = 1;
    for (int nWaits = 0; m_bStopWorker != 0;) {
        if (++nWaits > kStopPollLimit) break;
        std::this_thread::sleep_for(kStopPollInterval);
    }
    // The worker's thread is joined and the port object closed here by the port connection.
    m_hComPort = kInvalidPortHandle;
    m_view.EnableControl(IDC_SET_CONFIG, false);
    m_view.EnableControl(IDC_INTERVAL, false);
    m_view.EnableControl(IDC_DISTANCE, false);
    m_view.EnableControl(IDC_GPS_ALWAYS_ON, false);
}
