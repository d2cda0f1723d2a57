#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "WindowTasks.h"
#include "app/GeotagJob.h"

// Geotag photos...: the photos of a folder placed on the raw log loaded in the window, as in the
// other window: Preview reads the photos and fills the table, writing nothing; Write then tags
// them. Both run off the window's thread, with progress and Cancel. A top-level window owned by
// the main window; closing it stops the job between two photos and destroys it.
class GeotagDialogWin32 {
  public:
    enum ControlId : int {
        kFolder = 100,
        kBrowse,
        kSubfolders,
        kZone,
        kOffset,
        kMaxGap,
        kOverwrite,
        kTable,
        kProgress,
        kSummary,
        kPreview,
        kWrite,
        kClose,
    };

    // The camera's zone starts as the main window's zone text.
    GeotagDialogWin32(HINSTANCE hInstance, HWND hOwner, HFONT hFont,
                      std::shared_ptr<const RawLogImage> pTrack, const std::string& strZone);
    ~GeotagDialogWin32();
    GeotagDialogWin32(const GeotagDialogWin32&) = delete;
    GeotagDialogWin32& operator=(const GeotagDialogWin32&) = delete;

    HWND Window() const { return m_hWnd; }
    bool IsRunning() const { return m_job.IsRunning(); }
    // Receives the photos placed on the track after each preview and write.
    void SetPinsReceiver(std::function<void(std::vector<PhotoPin>)> receiver) {
        m_pinsReceiver = std::move(receiver);
    }

  private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam);
    void CreateControls(HFONT hFont, const std::string& strZone);
    void Layout();
    void OnCommand(int nId, int nCode);
    void Browse();
    GeotagFields Fields() const;
    void Started(const std::string& strStatus);
    void Finish(const GeotagReport& report);
    void SetRunning(bool bRunning);
    void SetText(int nId, const std::string& strText);
    std::string Text(int nId) const;
    HWND Item(int nId) const { return ::GetDlgItem(m_hWnd, nId); }

    HWND m_hWnd = nullptr;
    WindowTasks m_tasks;      // from the job's threads
    bool m_bFilling = false;  // the window itself sets a field
    std::function<void(std::vector<PhotoPin>)> m_pinsReceiver;
    GeotagJob m_job;  // last: its threads are gone before the members they post to
};
