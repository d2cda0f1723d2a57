#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "WinHttpTileSource.h"
#include "app/DialogView.h"
#include "app/MapTiles.h"
#include "app/TrackPlot.h"

// A tile picture, or null when it is not at hand.
using GdiTileLookup = std::function<const TilePicture*(const TileKey&)>;

// Paints the track plot's items with GDI; the map's tiles come from the lookup, drawn in the
// viewport of the plot that built the items.
void PaintPlotItemsGdi(HDC hDc, const std::vector<PlotItem>& items, const MapViewport& view = {},
                       const GdiTileLookup& tiles = {});
// The plot metrics of the font selected into a device context.
PlotMetrics PlotMetricsOf(HDC hDc);

// The track view: a resizable top-level window owned by the main window, showing the loaded track
// over map tiles with speed and altitude over time; the pointer shows the record under it. The
// wheel, +/- and the arrow keys zoom and pan, as does dragging; Home fits the track again.
// Closing it only hides it.
class TrackViewWin32 {
  public:
    TrackViewWin32(HINSTANCE hInstance, HWND hOwner, HFONT hFont);
    ~TrackViewWin32();
    TrackViewWin32(const TrackViewWin32&) = delete;
    TrackViewWin32& operator=(const TrackViewWin32&) = delete;

    // The map of every track view opened from now on (the program sets it from the user's
    // settings and its command line); without it, no tiles.
    static void SetDefaultMapOptions(const MapTileOptions& options);
    void SetMapOptions(const MapTileOptions& options);

    void SetData(const TrackViewData& view);
    // Photos placed on the track: pins at their places.
    void SetPhotoPins(std::vector<PhotoPin> pins);
    void Show();
    bool IsVisible() const { return m_hWnd != nullptr && ::IsWindowVisible(m_hWnd) != FALSE; }
    HWND Window() const { return m_hWnd; }
    const TrackPlot& Plot() const { return m_plot; }
    // What the last picture was made of.
    const std::vector<PlotItem>& Items() const { return *m_pItems; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM lParam);
    LRESULT OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    // Draws the client area into a device context: the window's, or one that prints it.
    void PaintClient(HDC hDc);
    void OnTilesArrived();
    // The view moved, or its data changed: the items are built again at the next paint.
    void Rebuild();
    void DropPicture();

    HWND m_hWnd = nullptr;
    HFONT m_hFont;
    TrackPlot m_plot;
    std::unique_ptr<WinHttpTileSource> m_pTiles;
    const std::vector<PlotItem>* m_pItems = &m_noItems;  // the plot's last build
    std::vector<PlotItem> m_noItems;
    bool m_bStale = true;
    std::optional<POINT> m_dragFrom;
    HBITMAP m_hPicture = nullptr;  // the picture without the pointer's marks
    SIZE m_pictureSize{};
    std::optional<uint32_t> m_nHover;
    bool m_bTrackingLeave = false;
};
