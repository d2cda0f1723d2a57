#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ConfigSection.h"
#include "DialogHandler.h"
#include "DialogView.h"
#include "DownloadSection.h"
#include "FolderMemory.h"
#include "PortSection.h"
#include "RememberedChoices.h"
#include "SettingsStore.h"
#include "TrackViewSection.h"
#include "TranslateSection.h"
#include "link/LinkSession.h"
#include "serial/PortEnumeration.h"

class WindowWorkerEvents;

// The main window: its handlers, written against DialogView so that the same logic drives the Qt
// window, a native one and the tests. The work is done by one section per group of controls; the
// window routes the platform's calls and the worker's reports to them.
class CQuorvelDlg : public DialogHandler {
    // First, so that the members below can refer to the session's flags and the sections' state.
    DialogView& m_view;
    bool m_bEnded = false;  // notifications still queued are dropped, as a destroyed window's are
    std::unique_ptr<WindowWorkerEvents> m_pWorkerEvents;
    std::unique_ptr<LinkSession> m_pLink;
    FolderMemory m_folders;
    PortSection m_port;
    ConfigSection m_config;
    TranslateSection m_translate;
    TrackViewSection m_trackView;
    DownloadSection m_download;
    RememberedChoices m_choices;

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
    void SetSettingsStore(SettingsStore* pStore) { m_choices.SetSettingsStore(pStore); }
    // Before OnInitDialog: a raw log to open once the window is up (the command line's file).
    void SetStartupFile(std::string strPath) { m_strStartupFile = std::move(strPath); }

    // Handlers of the window's own controls.
    void OnByTime() { m_translate.OnByTime(); }
    void OnBySize() { m_translate.OnBySize(); }
    void OnAll() { m_translate.OnAll(); }
    void OnOkCommand();
    void OnOpenFile() { m_translate.OnOpenFile(); }
    void OnTranslate() { m_translate.OnTranslate(); }
    void OnOpenClose() { m_port.OnOpenClose(); }
    void OnGetData() { m_download.OnGetData(); }
    void OnLoadConfig() { m_config.OnLoadConfig(); }
    void OnSetConfig() { m_config.OnSetConfig(); }
    void OnDelete() { m_download.OnDelete(); }
    // Opens the track view of the loaded file (button, window menu, Ctrl+T).
    void OnTrackView() { m_trackView.OnTrackView(); }
    // Rebuilds the port list from the system's ports; also the Scan button's handler.
    void ScanComPorts() { m_port.ScanComPorts(); }

    // Worker notifications.
    void OnDownloadProgress(uint32_t nAnnounced, uint32_t nReceived) {
        m_download.OnDownloadProgress(nAnnounced, nReceived);
    }
    void OnDownloadDone(uint32_t nResult) { m_download.OnDownloadDone(nResult); }
    void OnDeviceChange(uint32_t nEvent) { m_port.OnDeviceChange(nEvent); }

    // Operations.
    void FillBaudRateList() { m_port.FillBaudRateList(); }
    void FillTimeZoneList() { m_translate.FillTimeZoneList(); }
    // The zone of the time-zone box: a zone typed the way ParseTimeZone reads it (an offset, a
    // zone name, "local"), else the entry selected last.
    TimeZone GetTimeZone() { return m_translate.GetTimeZone(); }
    // Loads the file named in IDC_RAW_PATH; false (after telling the user) when it fails.
    bool LoadRawLogFile() { return m_translate.LoadRawLogFile(); }
    void ShowRawLogInfo() { m_translate.ShowRawLogInfo(); }
    // Puts a file's name into the raw path box and loads it, as OPEN existing file does with the
    // file chosen.
    bool OpenRawLogPath(const std::string& strPath) { return m_translate.OpenRawLogPath(strPath); }
    // Opens the port named in the port list at the chosen speed and starts the receive worker;
    // false (silently) when either fails.
    bool OpenComPort() { return m_port.OpenComPort(); }
    // Stops the receive worker and closes the port; nothing when the port is closed.
    void CloseComPort() { m_port.CloseComPort(); }
    // Frames and writes one request to the open port; false (after telling the user) when it
    // could not be sent.
    [[nodiscard]] bool SendCommandSentence(const std::u16string& body) {
        return m_port.SendCommandSentence(body);
    }

    // Shared with the receive worker: the link session's flags, and its port's system handle.
    std::atomic<int32_t>& m_bStopWorker;
    std::atomic<intptr_t>& m_hComPort;
    std::atomic<int32_t>& m_bDownloadMode;
    // The loaded raw log.
    RawLogState& m_RawLog;
    std::atomic<int32_t>& m_bIntervalReceived;
    std::atomic<int32_t>& m_bDistanceReceived;
    int m_hIcon = 0;  // the application icon's resource
    int32_t& m_bPortOpened;
    int32_t& m_nSelectMode;  // 0 By Time, 1 By Size, 2 All

  private:
    std::string m_strStartupFile;
};
