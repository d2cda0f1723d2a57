#pragma once

#include <windows.h>

#include <optional>
#include <vector>

#include "app/DialogView.h"
#include "app/TrackPlot.h"

// Paints the track plot's items with GDI.
void PaintPlotItemsGdi(HDC hDc, const std::vector<PlotItem>& items);
// The plot metrics of the font selected into a device context.
PlotMetrics PlotMetricsOf(HDC hDc);

// The track view: a resizable top-level window owned by the main window, showing the loaded track
// to scale with speed and altitude over time; the pointer shows the record under it. Closing it
// only hides it.
class TrackViewWin32 {
  public:
    TrackViewWin32(HINSTANCE hInstance, HWND hOwner, HFONT hFont);
    ~TrackViewWin32();
    TrackViewWin32(const TrackViewWin32&) = delete;
    TrackViewWin32& operator=(const TrackViewWin32&) = delete;

    void SetData(const TrackViewData& view);
    void Show();
    bool IsVisible() const { return m_hWnd != nullptr && ::IsWindowVisible(m_hWnd) != FALSE; }
    HWND Window() const { return m_hWnd; }
    const TrackPlot& Plot() const { return m_plot; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void DropPicture();

    HWND m_hWnd = nullptr;
    HFONT m_hFont;
    TrackPlot m_plot;
    HBITMAP m_hPicture = nullptr;  // the picture without the pointer's marks
    SIZE m_pictureSize{};
    std::optional<uint32_t> m_nHover;
    bool m_bTrackingLeave = false;
};
