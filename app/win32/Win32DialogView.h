#pragma once

#include <windows.h>

#include <shellapi.h>

#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "WindowTasks.h"
#include "app/DialogHandler.h"
#include "app/DialogView.h"

class TrackViewWin32;
class GeotagDialogWin32;
struct PhotoPin;

// The main window as a Win32 dialog built from layout 102, and DialogView over its controls. Every
// platform event goes to the DialogHandler.
class Win32DialogView final : public DialogView {
  public:
    explicit Win32DialogView(HINSTANCE hInstance);
    ~Win32DialogView() override;
    Win32DialogView(const Win32DialogView&) = delete;
    Win32DialogView& operator=(const Win32DialogView&) = delete;

    void SetHandler(DialogHandler* pHandler) { m_pHandler = pHandler; }
    // Runs the window modally until it ends; returns the end code.
    INT_PTR RunModal();
    // Creates the window without a modal loop of its own (tests pump the messages); false when
    // it could not be created. EndDialog then destroys it.
    bool CreateModeless();
    HWND Window() const { return m_hWnd; }
    // Keys the dialog manager does not handle as the window wants them: Ctrl+T in the window or
    // any of its controls opens the track view, Enter on a focused push button presses it. True
    // when msg was such a key and has been handled. The modal run applies it to every message;
    // a test's pump calls it.
    bool TranslateKeys(const MSG& msg);
    // The track view once it has been opened; null before.
    TrackViewWin32* TrackView() const { return m_pTrackView.get(); }
    // Where Geotag photos... finds the raw log loaded now (null when none is). The button, under
    // the time zone, and Ctrl+G are there only in a build with the geotag module.
    void SetLoadedTrackSource(std::function<std::shared_ptr<const RawLogImage>()> source) {
        m_loadedTrack = std::move(source);
    }
    // The Geotag photos window once it has been opened; null before.
    GeotagDialogWin32* GeotagWindow() const { return m_pGeotag.get(); }
    HWND GeotagButton() const { return m_hGeotagButton; }

    // DialogView
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
    // The Windows port list shows the port names themselves; there is no note to show.
    void SetListEntryNote(int, int, const std::string&) override {}
    void SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) override;
    void SetProgressPosition(int nId, uint32_t nPosition) override;
    void SetPickerTime(int nId, const PickerTime& time) override;
    PickerTime GetPickerTime(int nId) const override;
    BoxAnswer ShowMessageBox(const std::string& strText, const std::string& strTitle,
                             BoxButtons buttons, BoxIcon icon) override;
    std::optional<FileDialogResult> ShowSaveDialog(const FileDialogRequest& request) override;
    std::optional<std::string> ShowOpenDialog(const FileDialogRequest& request) override;
    void ShowAboutBox() override;
    void ShowTrackView(const TrackViewData& view) override;
    void UpdateTrackView(const TrackViewData& view) override;
    void AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) override;
    void SetWindowIcon(int nIconId) override;
    void CenterWindow() override;
    void EndDialog(int nResult) override;
    void PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) override;
    void PostTask(std::function<void()> task) override;

  private:
    static INT_PTR CALLBACK DialogProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    INT_PTR OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam);
    void OnPaintMinimised();
    void OnDropFiles(HDROP hDrop);
    void ShowContextMenu(LPARAM lParam);
    // The user's edits of a value; the view's own settings are not reported.
    INT_PTR OnCommandMessage(WPARAM wParam);
    void OnValueChange(int nId);
    HWND Item(int nId) const { return ::GetDlgItem(m_hWnd, nId); }
    bool IsComboBox(int nId) const;
    std::optional<FileDialogResult> RunFileDialog(const FileDialogRequest& request, bool bSave);

    HINSTANCE m_hInstance;
    HWND m_hWnd = nullptr;
    HICON m_hIcon = nullptr;
    bool m_bModeless = false;
    unsigned m_nProgressShift = 0;  // the bar counts in int: a range beyond that is halved
    DialogHandler* m_pHandler = nullptr;
    int m_nSettingValues = 0;  // above 0 while the view itself sets a control's value
    std::vector<std::pair<std::wstring, unsigned>> m_menuCommands;  // also on the context menu
    std::unique_ptr<TrackViewWin32> m_pTrackView;
    void AddGeotagButton();
    void OpenGeotagDialog();
    void ShowPinsInTrackView();
    std::function<std::shared_ptr<const RawLogImage>()> m_loadedTrack;
    std::unique_ptr<GeotagDialogWin32> m_pGeotag;
    HWND m_hGeotagButton = nullptr;
    std::shared_ptr<const RawLogImage> m_pShownTrack, m_pPinnedTrack;
    std::vector<PhotoPin> m_photoPins;
    WindowTasks m_tasks;  // PostTask's
};
