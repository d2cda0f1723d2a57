#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "app/DialogView.h"
#include "app/WindowQueue.h"

// The Win32 style bits of the boxes the window shows.
inline constexpr unsigned MB_OKCANCEL = 0x01, MB_YESNO = 0x04, MB_ICONERROR = 0x10,
                          MB_ICONQUESTION = 0x20, MB_ICONINFORMATION = 0x40;

// A window without a display: keeps every control's state, logs what the window logic does to it
// and answers boxes and file dialogs from a script.
class FakeDialogView final : public DialogView {
  public:
    struct Control {
        bool bVisible = true;
        bool bEnabled = true;
        bool bChecked = false;
        std::string strText;
        std::vector<std::pair<std::string, int64_t>> entries;
        std::map<int, std::string> notes;
        int nSelected = -1;
        uint32_t nLower = 0;
        uint32_t nUpper = 0;
        uint32_t nPosition = 0;
        PickerTime time;
    };
    struct Box {
        std::string strText;
        std::string strTitle;
        unsigned nStyle;        // the buttons and icon as the Win32 style bits they stand for
        std::string strHead;    // the first line, the message itself
        std::string strDetail;  // what follows the blank line: the file or port and the reason
    };

    FakeDialogView();

    // Runs every queued event, as the window's thread would.
    void DrainQueue(DialogHandler& handler);
    // Handles what is posted (from any thread) until done() holds; false if it does not within
    // the time-out.
    bool PumpUntil(DialogHandler& handler, const std::function<bool()>& done,
                   std::chrono::milliseconds timeout = std::chrono::seconds(20));

    Control& At(int nId);

    std::map<int, Control> m_controls;
    std::vector<std::string> m_log;  // "show 1018", "hide 1021", "box Download OK.", ...
    std::vector<Box> m_boxes;
    std::deque<BoxAnswer> m_boxAnswers;                    // default Ok
    std::deque<std::optional<std::string>> m_fileAnswers;  // default: cancelled
    std::deque<size_t> m_filterAnswers;  // the Save dialog's file type; default: the first
    std::vector<FileDialogRequest> m_saveRequests;
    std::vector<FileDialogRequest> m_openRequests;
    int m_nAboutBoxes = 0;
    std::vector<std::pair<std::string, unsigned>> m_menuCommands;
    int m_nIcon = 0;
    bool m_bCentered = false;
    std::optional<int> m_nEndResult;
    // While a box is open, handle whatever is queued, like a modal loop does.
    DialogHandler* m_pPumpWhileBoxOpen = nullptr;
    std::mutex m_postMutex;
    std::condition_variable m_posted;
    uint64_t m_nPosts = 0;
    WindowQueue m_queue{[this] {
        {
            std::lock_guard lock(m_postMutex);
            ++m_nPosts;
        }
        m_posted.notify_all();
    }};

    void ShowControl(int nId, bool bShow) override;
    void EnableControl(int nId, bool bEnable) override;
    void SetControlText(int nId, const std::string& strText) override;
    std::string GetControlText(int nId) const override;
    void SetCheck(int nId, bool bChecked) override;
    bool GetCheck(int nId) const override;
    void ResetList(int nId) override;
    int AddListEntry(int nId, const std::string& strText, int64_t nValue) override;
    void SelectListEntry(int nId, int nIndex) override;
    std::optional<int64_t> GetSelectedListValue(int nId) const override;
    int GetListCount(int nId) const override;
    void DeleteListEntry(int nId, int nIndex) override;
    void SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) override;
    void SetProgressPosition(int nId, uint32_t nPosition) override;
    void SetPickerTime(int nId, const PickerTime& time) override;
    PickerTime GetPickerTime(int nId) const override;
    BoxAnswer ShowMessageBox(const std::string& strText, const std::string& strTitle,
                             BoxButtons buttons, BoxIcon icon) override;
    std::optional<FileDialogResult> ShowSaveDialog(const FileDialogRequest& request) override;
    std::optional<std::string> ShowOpenDialog(const FileDialogRequest& request) override;
    void ShowAboutBox() override { ++m_nAboutBoxes; }
    void SetListEntryNote(int nId, int nIndex, const std::string& strNote) override {
        At(nId).notes[nIndex] = strNote;
    }
    // The track view as last shown or refreshed while open.
    void ShowTrackView(const TrackViewData& data) override {
        ++m_nTrackViewShows;
        m_trackView = data;
    }
    void UpdateTrackView(const TrackViewData& data) override {
        if (m_nTrackViewShows > 0) m_trackView = data;
    }
    int m_nTrackViewShows = 0;
    std::optional<TrackViewData> m_trackView;
    void AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) override {
        m_menuCommands.emplace_back(strText, nCommand);
    }
    void SetWindowIcon(int nIconId) override { m_nIcon = nIconId; }
    void CenterWindow() override { m_bCentered = true; }
    void EndDialog(int nResult) override { m_nEndResult = nResult; }
    void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) override {
        m_queue.PostWindowMessage(nMessage, wParam, lParam);
    }
    void PostTask(std::function<void()> task) override { m_queue.PostTask(std::move(task)); }
};
