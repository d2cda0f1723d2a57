#pragma once

// The window's logic over a view without a display, in a private folder, and on POSIX a logger on
// a real pseudo-terminal: the simulator, or one whose every byte the test writes.

#include <chrono>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <thread>

#include "Testing.h"
#include "app/DialogLayout.h"
#include "app/QuorvelDlg.h"
#include "app/WindowQueue.h"

// Keeps every control's state and answers boxes and file dialogs from a script.
class FakeDialogView final : public DialogView {
  public:
    struct Control {
        bool bVisible = true, bEnabled = true, bChecked = false;
        std::string strText;
        std::vector<std::pair<std::string, int64_t>> entries;
        int nSelected = -1;
        uint32_t nUpper = 0, nPosition = 0;
        PickerTime time;
    };
    struct Box {
        std::string strText, strTitle;
        BoxButtons buttons;
        BoxIcon icon;
        std::string Head() const { return strText.substr(0, strText.find("\n\n")); }
    };

    FakeDialogView() {
        for (const ControlLayout& c : MainWindowControls()) {
            if (c.nId == IDC_STATIC) continue;
            Control& control = m_controls[c.nId];
            control.bVisible = c.bVisible, control.bEnabled = c.bEnabled;
            control.bChecked = c.bChecked, control.strText = c.pszText;
        }
    }
    Control& At(int nId) { return m_controls.at(nId); }
    std::vector<std::string> BoxHeads() const {
        std::vector<std::string> heads;
        for (const Box& box : m_boxes) heads.push_back(box.Head());
        return heads;
    }
    // Handles what was posted, as the window's thread does.
    void Drain() {
        while (m_pHandler && m_queue.DispatchOne(*m_pHandler)) {
        }
    }
    // Drains until done() holds; false if it does not within 20 s.
    bool PumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (Drain(); !done(); Drain()) {
            if (std::chrono::steady_clock::now() > deadline) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    DialogHandler* m_pHandler = nullptr;
    std::map<int, Control> m_controls;
    std::vector<Box> m_boxes;
    std::deque<BoxAnswer> m_boxAnswers;                         // default Ok
    std::deque<std::optional<FileDialogResult>> m_fileAnswers;  // default: cancelled
    std::vector<FileDialogRequest> m_saveRequests;
    std::optional<TrackViewData> m_trackView;  // as shown, and refreshed while shown
    std::optional<int> m_nEndResult;

    void ShowControl(int nId, bool bShow) override { At(nId).bVisible = bShow; }
    void EnableControl(int nId, bool bEnable) override { At(nId).bEnabled = bEnable; }
    void SetControlText(int nId, const std::string& strText) override { At(nId).strText = strText; }
    std::string GetControlText(int nId) const override { return m_controls.at(nId).strText; }
    void SetCheck(int nId, bool bChecked) override { At(nId).bChecked = bChecked; }
    bool GetCheck(int nId) const override { return m_controls.at(nId).bChecked; }
    void ResetList(int nId) override {
        At(nId).entries.clear();
        At(nId).nSelected = -1;
        At(nId).strText.clear();  // a combo box's text goes with its entries
    }
    int AddListEntry(int nId, const std::string& strText, int64_t nValue) override {
        At(nId).entries.emplace_back(strText, nValue);
        return GetListCount(nId) - 1;
    }
    void SelectListEntry(int nId, int nIndex) override {
        Control& c = At(nId);
        c.nSelected = nIndex >= 0 && nIndex < GetListCount(nId) ? nIndex : -1;
        if (c.nSelected >= 0) c.strText = c.entries[static_cast<size_t>(nIndex)].first;
    }
    std::optional<int64_t> GetSelectedListValue(int nId) const override {
        const Control& c = m_controls.at(nId);
        if (c.nSelected < 0) return std::nullopt;
        return c.entries[static_cast<size_t>(c.nSelected)].second;
    }
    int GetListCount(int nId) const override {
        return static_cast<int>(m_controls.at(nId).entries.size());
    }
    void DeleteListEntry(int nId, int nIndex) override {
        Control& c = At(nId);
        c.entries.erase(c.entries.begin() + nIndex);
        c.nSelected = c.nSelected == nIndex ? -1 : c.nSelected - (c.nSelected > nIndex);
    }
    void SetListEntryNote(int, int, const std::string&) override {}
    void SetProgressRange(int nId, uint32_t, uint32_t nUpper) override { At(nId).nUpper = nUpper; }
    void SetProgressPosition(int nId, uint32_t n) override { At(nId).nPosition = n; }
    void SetPickerTime(int nId, const PickerTime& time) override { At(nId).time = time; }
    PickerTime GetPickerTime(int nId) const override { return m_controls.at(nId).time; }
    BoxAnswer ShowMessageBox(const std::string& strText, const std::string& strTitle,
                             BoxButtons buttons, BoxIcon icon) override {
        m_boxes.push_back({strText, strTitle, buttons, icon});
        Drain();  // a modal box's loop goes on handling what is posted
        return Take(m_boxAnswers, BoxAnswer::Ok);
    }
    std::optional<FileDialogResult> ShowSaveDialog(const FileDialogRequest& request) override {
        m_saveRequests.push_back(request);
        return Take(m_fileAnswers, {});
    }
    std::optional<std::string> ShowOpenDialog(const FileDialogRequest&) override {
        const std::optional<FileDialogResult> chosen = Take(m_fileAnswers, {});
        return chosen ? std::optional(chosen->strPath) : std::nullopt;
    }
    void ShowAboutBox() override {}
    void ShowTrackView(const TrackViewData& data) override { m_trackView = data; }
    void UpdateTrackView(const TrackViewData& data) override {
        if (m_trackView) m_trackView = data;
    }
    void AppendWindowMenuCommand(const std::string&, unsigned) override {}
    void SetWindowIcon(int) override {}
    void CenterWindow() override {}
    void EndDialog(int nResult) override { m_nEndResult = nResult; }
    void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) override {
        m_queue.PostWindowMessage(nMessage, wParam, lParam);
    }
    void PostTask(std::function<void()> task) override { m_queue.PostTask(std::move(task)); }

  private:
    template <class T>
    static T Take(std::deque<T>& answers, T answer) {
        if (!answers.empty()) answer = answers.front(), answers.pop_front();
        return answer;
    }
    WindowQueue m_queue{[] {}};
};

// Keeps the window's choices in memory, as a settings store keeps them between runs.
struct MemorySettingsStore final : SettingsStore {
    std::optional<std::string> Read(const std::string& strKey) const override {
        return values.contains(strKey) ? std::optional(values.at(strKey)) : std::nullopt;
    }
    void Write(const std::string& strKey, const std::string& strValue) override {
        values[strKey] = strValue;
    }
    std::map<std::string, std::string> values;
};

// The sections a window section talks to, stood in by one object that records what it is told
// through the interfaces between them.
struct SectionStub final : LoggerPort,
                           PortStateListener,
                           RawLogHolder,
                           TranslateChoices,
                           TrackSource,
                           TrackChangeListener {
    bool IsPortOpen() const override { return bOpen; }
    bool EnsurePortOpen() override { return IsPortOpen() || (ShowPortClosedError(), false); }
    void ShowPortClosedError() override { calls.push_back("port closed"); }
    bool SendCommandSentence(const std::u16string& body) override {
        sent.push_back(body);
        return true;
    }
    void OnPortOpened() override { calls.push_back("opened"); }
    void OnPortClosed() override { calls.push_back("closed"); }
    void DropRawImage() override { calls.push_back("drop"); }
    bool LoadRawLogFile() override { return calls.push_back("load"), true; }
    int32_t SelectMode() const override { return kSelectBySize; }
    void ChooseSelectMode(int32_t nMode) override { calls.push_back(std::to_string(nMode)); }
    TimeZone GetTimeZone() override { return TimeZone::Fixed(-5400); }
    std::shared_ptr<const RawLogImage> LoadedImage() const override { return pImage; }
    const std::string& LoadedPath() const override { return strPath; }
    RecordSelection CurrentSelection() override { return {}; }
    void OnTrackChanged() override { calls.push_back("track"); }

    bool bOpen = true;
    std::shared_ptr<const RawLogImage> pImage;
    std::string strPath;
    std::vector<std::string> calls;
    std::vector<std::u16string> sent;
};

// One section at a time over the fake view: the stub for the others, a link session whose worker
// reports nowhere.
class WindowSectionTest : public ::testing::Test {
  protected:
    struct NoWorkerEvents final : WorkerEvents {
        void LineReceived(std::string_view) override {}
        void IntervalReceived(std::string_view) override {}
        void DistanceReceived(std::string_view) override {}
        void SettingsReceived() override {}
        void DownloadProgress(uint32_t, uint32_t) override {}
        void DownloadEnded(DownloadResult) override {}
        void PortGone() override {}
    };
    std::string Text(int nId) { return m_view.GetControlText(nId); }
    bool Enabled(int nId) { return m_view.At(nId).bEnabled; }

    TempDir m_dir;
    FakeDialogView m_view;
    SectionStub m_others;
    FolderMemory m_folders;
    NoWorkerEvents m_events;
    LinkSession m_link{m_events};
};

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include "sim/SimRunner.h"

// A logger whose every byte the test writes, on the master side of a pseudo-terminal.
class ScriptedLogger {
  public:
    ScriptedLogger() : m_hMaster(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        char name[128] = {};
        if (m_hMaster >= 0 && ::grantpt(m_hMaster) == 0 && ::unlockpt(m_hMaster) == 0 &&
            ::ptsname_r(m_hMaster, name, sizeof name) == 0) {
            m_strPath = name;
        }
    }
    ~ScriptedLogger() { HangUp(); }
    ScriptedLogger(const ScriptedLogger&) = delete;
    ScriptedLogger& operator=(const ScriptedLogger&) = delete;

    const std::string& PortPath() const { return m_strPath; }
    bool Send(const std::string& strBytes) {
        return ::write(m_hMaster, strBytes.data(), strBytes.size()) ==
               static_cast<ssize_t>(strBytes.size());
    }
    // What the window wrote, up to a whole line (at most 20 s).
    std::string ReceiveLine() {
        std::string strIn;
        for (int i = 0; i < 200 && strIn.find("\r\n") == std::string::npos; ++i) {
            pollfd pfd{m_hMaster, POLLIN, 0};
            char buffer[256];
            const ssize_t n =
                ::poll(&pfd, 1, 100) > 0 ? ::read(m_hMaster, buffer, sizeof buffer) : 0;
            if (n > 0) strIn.append(buffer, static_cast<size_t>(n));
        }
        return strIn;
    }
    // The device goes away.
    void HangUp() {
        if (m_hMaster >= 0) ::close(m_hMaster);
        m_hMaster = -1;
    }

  private:
    int m_hMaster = -1;
    std::string m_strPath;
};
#endif

// A started window over the fake view; its port list is m_ports.
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_view.m_pHandler = &m_dlg;
        ASSERT_TRUE(m_dlg.OnInitDialog());
    }
    // Every way out stops the worker first.
    void TearDown() override { m_dlg.OnClose(); }

    std::string PathOf(const std::string& strName) const { return m_dir / strName; }
    std::string WriteLog(const std::string& strName, const std::vector<Rec>& records) {
        return WriteFile(PathOf(strName), Records(records));
    }
    // OPEN existing file, the dialog answering strPath.
    void Open(const std::string& strPath) {
        m_view.m_fileAnswers.push_back(FileDialogResult{strPath});
        m_dlg.OnOpenFile();
    }
    void ListPorts(const std::vector<std::string>& names) {
        SetPorts(names);
        m_dlg.ScanComPorts();
    }
    // The system's device tree changed, leaving these ports.
    void TreeChanged(const std::vector<std::string>& names) {
        SetPorts(names);
        intptr_t nResult = 0;
        (void)m_dlg.OnWndMsg(WM_DEVICECHANGE, 0x0007, 0, &nResult);
    }
    void SetPorts(const std::vector<std::string>& names) {
        m_ports.clear();
        for (const std::string& name : names) m_ports.push_back({name, ""});
    }
    // GET data, the Save dialog answering with strName in the test's folder.
    void StartDownload(const std::string& strName) {
        m_view.m_fileAnswers.push_back(FileDialogResult{PathOf(strName)});
        m_dlg.OnGetData();
    }
    bool Pump(const std::function<bool()>& done) { return m_view.PumpUntil(done); }
    std::string Text(int nId) { return m_view.GetControlText(nId); }
    bool Enabled(int nId) { return m_view.At(nId).bEnabled; }
    bool Visible(int nId) { return m_view.At(nId).bVisible; }
    // The connection's look: the port and speed lists locked while it is open, the settings
    // controls usable only then.
    void ExpectConnected(bool bOpen) {
        EXPECT_EQ(m_dlg.m_hComPort != kInvalidPortHandle, bOpen);
        for (int nId : {IDC_SCAN, IDC_PORT_LIST, IDC_BAUD_LIST}) EXPECT_EQ(Enabled(nId), !bOpen);
        EXPECT_EQ(Enabled(IDC_LOAD_CONFIG), bOpen);
        if (!bOpen) {
            for (int nId : {IDC_SET_CONFIG, IDC_INTERVAL, IDC_DISTANCE, IDC_GPS_ALWAYS_ON})
                EXPECT_FALSE(Enabled(nId)) << nId;
        }
    }
    // No download shown: what a download disables is back, the bar hidden.
    void ExpectIdle() {
        EXPECT_EQ(Text(IDC_GET_DATA), "GET data from device");
        for (int nId : {IDC_DELETE, IDC_OPEN_FILE, IDC_TRANSLATE, IDC_OPEN_CLOSE})
            EXPECT_TRUE(Enabled(nId)) << nId;
        EXPECT_FALSE(Visible(IDC_PROGRESS));
    }
#ifndef _WIN32
    // The simulated logger (unpaced) as the only port; a logger started before is stopped first.
    SimRunner& StartSim(const std::string& memory, SimFaults faults = {}) {
        m_pRunner.reset();
        m_pLogger = std::make_unique<SimLogger>(Bytes(memory), faults);
        m_pRunner = std::make_unique<SimRunner>(*m_pLogger, 230400, false);
        std::string strError;
        EXPECT_TRUE(m_pRunner->Open(strError) && m_pRunner->Start()) << strError;
        ListPorts({m_pRunner->PortPath()});
        return *m_pRunner;
    }
    std::unique_ptr<SimLogger> m_pLogger;
    std::unique_ptr<SimRunner> m_pRunner;
#endif

    TempDir m_dir;
    FakeDialogView m_view;
    std::vector<SerialPortInfo> m_ports;
    CQuorvelDlg m_dlg{m_view, [this] { return m_ports; }, 1000};
};
