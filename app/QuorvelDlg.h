#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "DialogHandler.h"
#include "DialogView.h"
#include "SettingsStore.h"
#include "export/Translate.h"
#include "link/LinkSession.h"
#include "serial/PortEnumeration.h"
#include "track/RawLog.h"

// The port handle value that means "closed".
inline constexpr intptr_t kInvalidPortHandle = -1;

// Whether the last port scan listed at least one port (0 or 1).
extern int32_t g_bPortFound;

class WindowWorkerEvents;

// The main window: all of the window's state and every handler, written against DialogView so
// that the same logic drives the Qt window, a native one and the tests.
class CQuorvelDlg : public DialogHandler {
    // First, so that the flags below can refer to the session's own.
    DialogView& m_view;
    std::unique_ptr<WindowWorkerEvents> m_pWorkerEvents;
    std::unique_ptr<LinkSession> m_pLink;

  public:
    // enumerate lists the system's serial ports for the port scan; nDataLostMs is how long a
    // download waits for progress.
    explicit CQuorvelDlg(DialogView& view, PortEnumerator enumerate = EnumerateSerialPorts,
                         uint32_t nDataLostMs = ReceiveEngine::kDefaultDataLostMs);
    ~CQuorvelDlg() override;
    CQuorvelDlg(const CQuorvelDlg&) = delete;
    CQuorvelDlg& operator=(const CQuorvelDlg&) = delete;

    // DialogHandler
    bool OnInitDialog() override;
    bool OnCommand(int nId) override;
    bool OnSysCommand(unsigned nId, uint32_t lParam) override;
    void OnClose() override;
    bool OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam, intptr_t* pResult) override;
    void OnControlChange(int nId) override;
    // Opens the first of the files dropped on the window, unless a download runs.
    void OnDropFiles(const std::vector<std::string>& paths) override;

    // Before OnInitDialog: where the user's choices are kept between runs (none: nothing kept).
    void SetSettingsStore(SettingsStore* pStore) { m_pSettings = pStore; }
    // Before OnInitDialog: a raw log to open once the window is up (the command line's file).
    void SetStartupFile(std::string strPath) { m_strStartupFile = std::move(strPath); }

    // Handlers of the window's own controls.
    void OnByTime();
    void OnBySize();
    void OnAll();
    void OnOkCommand();
    void OnOpenFile();
    void OnTranslate();
    void OnOpenClose();
    void OnGetData();
    void OnLoadConfig();
    void OnSetConfig();
    void OnDelete();
    // Opens the track view of the loaded file (button, window menu, Ctrl+T).
    void OnTrackView();
    // Rebuilds the port list from the system's ports; also the Scan button's handler.
    void ScanComPorts();

    // Worker notifications.
    void OnDownloadProgress(uint32_t nAnnounced, uint32_t nReceived);
    void OnDownloadDone(uint32_t nResult);
    void OnDeviceChange(uint32_t nEvent);

    // Operations.
    void FillBaudRateList();
    void FillTimeZoneList();
    // The zone remembered, else the system's, so that a first start shows the user's own times.
    void ShowStartZone();
    // Selects the list entry that is strZone's text, else shows strZone typed.
    void ShowZoneText(const std::string& strZone);
    // The zone of the time-zone box: a zone typed the way ParseTimeZone reads it (an offset, a
    // zone name, "local"), else the entry selected last.
    TimeZone GetTimeZone();
    // Loads the file named in IDC_RAW_PATH; false (after telling the user) when it fails.
    bool LoadRawLogFile();
    void ShowRawLogInfo();
    // Puts a file's name into the raw path box and loads it, as OPEN existing file does with the
    // file chosen.
    bool OpenRawLogPath(const std::string& strPath);
    // What Translate would select now: the mode, the pickers as bounds, the records box and Drop
    // no-fix; nothing is stored.
    RecordSelection CurrentSelection();
    // The choices of the records box and Drop no-fix within these bounds, in the chosen mode.
    RecordSelection SelectionWithin(uint32_t dwFromTime, uint32_t dwToTime);
    // Writes the loaded records to the file named in IDC_OUT_PATH in the format its extension
    // names; false (after telling the user) when the file cannot be written.
    bool WriteOutputFile(const TranslateOptions& options);
    // Opens the port named in the port list at the chosen speed and starts the receive worker;
    // false (silently) when either fails.
    bool OpenComPort();
    // Stops the receive worker and closes the port; nothing when the port is closed.
    void CloseComPort();
    // Frames and writes one request to the open port; false (after telling the user) when it
    // could not be sent.
    [[nodiscard]] bool SendCommandSentence(const std::u16string& body);
    // The port's device went away under an open connection: it ends as if the last port had gone.
    void OnPortLost();

    // Shared with the receive worker: the link session's flags, and its port's system handle.
    std::atomic<int32_t>& m_bStopWorker;
    std::atomic<intptr_t> m_hComPort{kInvalidPortHandle};
    std::atomic<int32_t>& m_bDownloadMode;

    // The loaded raw log.
    struct RawLogState {
        std::shared_ptr<const RawLogImage> m_pRawData;  // null: no file loaded
        uint32_t m_nRecordCount = 0;
        uint32_t m_dwFirstTime = 0;
        uint32_t m_dwLastTime = 0;
        uint32_t m_dwFromTime = 0;  // selection bounds on the record time scale
        uint32_t m_dwToTime = 0;
    } m_RawLog;

    std::atomic<int32_t>& m_bIntervalReceived;
    std::atomic<int32_t>& m_bDistanceReceived;
    int m_hIcon = 0;  // the application icon's resource
    int32_t m_bPortOpened = 0;
    int32_t m_nSelectMode = 0;  // 0 By Time, 1 By Size, 2 All

  private:
    friend class WindowWorkerEvents;

    // The worker's effects, carried out on the window's thread.
    void AddLogListEntry(const std::string& strEntry);
    void EnableSettingsControls(bool bEnable);
    // The connection check after the system's device tree changed.
    void OnDeviceNodesChanged();
    // Closes the port and switches the connection off: the port and speed lists are usable again.
    void EndConnection();
    // "Can't open COM port. Action cancelled." with what is known of why.
    void ShowPortClosedError();
    // The buttons that a download disables, back to their idle state.
    void RestoreIdleButtons();
    // The selection bound from a date picker and a time picker, read as local time.
    uint32_t ReadPickerBound(int nDateId, int nTimeId);
    void SetPickers(uint32_t dwTime, const TimeZone& zone, std::initializer_list<int> ids);
    void ShowError(const std::string& strText);
    void ShowInfo(const std::string& strText);
    // The selection bounds of the pickers, By Time's reversed bounds exchanged.
    RecordSelection ReadSelectionBounds();
    // The loaded image changed (or went): the track view's button and the view follow.
    void SetRawImage(std::shared_ptr<const RawLogImage> pImage);
    TrackViewData CurrentTrackView();
    void UpdateTrackView();
    // The zone changed: the pickers keep their instants, shown in the new zone, and the span label
    // follows.
    void OnTimeZoneChange();
    void RestoreSettings();
    void SaveSettings();

    PortEnumerator m_enumerate;
    // Why the last open failed, for the message of the operation that needed the port.
    std::string m_strPortFailure;
    // The file the loaded image came from: Translate offers the image only while the raw path box
    // names this file.
    std::string m_strLoadedPath;
    // The window has ended: notifications still queued are dropped, as a destroyed window's are.
    bool m_bEnded = false;
    // The time-zone entry selected last; used while the box holds text that is no zone.
    TimeZone m_lastZone;
    // The zone the pickers and the span label are shown in.
    TimeZone m_shownZone;
    bool m_bSpanShown = false;  // the span label describes a file (loaded now or before)
    bool m_bTrackViewOpened = false;
    bool m_bDownloading = false;  // from GET data's request to the download's result
    bool m_bTranslatedSinceLoad = false;
    SettingsStore* m_pSettings = nullptr;
    std::string m_strStartupFile;
    // The folders the file dialogs open in when the path boxes give none.
    std::string m_strOpenFolder;
    std::string m_strDownloadFolder;
    std::string m_strOutputFolder;
};

// What the file dialogs open in: the path up to its last separator, the separator itself removed;
// a path without one is used whole.
std::string InitialFolderOf(const std::string& strPath);
// A file's name without its folder and its extension: "/x/track.dlg" gives "track".
std::string StemOf(const std::string& strPath);

// The port name in the port list's text: the text itself, less a trailing ":QM-518".
std::string PortNameFromListText(const std::string& strText);
