#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>
#include <functional>
#include <optional>
#include <vector>

#include "app/DialogView.h"
#include "app/MapTiles.h"
#include "app/TrackPlot.h"

class QPainter;
class QtTileSource;

// A tile picture, or null when it is not at hand.
using TileLookup = std::function<const QImage*(const TileKey&)>;

// Paints the track plot's items with QPainter; the map's tiles come from the lookup, drawn in
// the viewport of the plot that built the items.
void PaintPlotItems(QPainter& painter, const std::vector<PlotItem>& items,
                    const MapViewport& view = {}, const TileLookup& tiles = {});

// The track view: a resizable window of its own, owned by the main window, showing the loaded
// track over map tiles with speed and altitude over time; the pointer shows the record under it.
// The wheel, +/- and the arrow keys zoom and pan, as does dragging; Home fits the track again.
class TrackViewWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit TrackViewWindow(QWidget* pOwner);

    // The map of every track view opened from now on (the program sets it from the user's
    // settings and its command line); without it, no tiles.
    static void SetDefaultMapOptions(const MapTileOptions& options);
    void SetMapOptions(const MapTileOptions& options);

    void SetData(const TrackViewData& view);
    void SetPhotoPins(std::vector<PhotoPin> pins);
    const TrackPlot& Plot() const { return m_plot; }
    // What the last picture was made of.
    const std::vector<PlotItem>& Items() const { return *m_pItems; }
    std::optional<uint32_t> HoveredRecord() const { return m_nHover; }
    std::optional<size_t> HoveredPin() const { return m_nHoverPin; }

  protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void wheelEvent(QWheelEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

  private:
    // The picture without the pointer's marks: the items built again when the data, the view or
    // the size changed, only painted again when tiles arrived.
    void Render();
    void Rebuild();
    void Hover(QPoint at);

    TrackPlot m_plot;
    QtTileSource* m_pTiles = nullptr;
    const std::vector<PlotItem>* m_pItems = &m_noItems;  // the plot's last build
    std::vector<PlotItem> m_noItems;
    QImage m_picture;
    bool m_bStale = true;
    bool m_bRepaint = true;
    std::optional<QPoint> m_dragFrom;
    std::optional<uint32_t> m_nHover;
    std::optional<size_t> m_nHoverPin;
};
