#pragma once

#include <QImage>
#include <QWidget>
#include <optional>
#include <vector>

#include "app/DialogView.h"
#include "app/TrackPlot.h"

class QPainter;

// Paints the track plot's items with QPainter.
void PaintPlotItems(QPainter& painter, const std::vector<PlotItem>& items);

// The track view: a resizable window of its own, owned by the main window, showing the loaded
// track to scale with speed and altitude over time; the pointer shows the record under it.
class TrackViewWindow final : public QWidget {
    Q_OBJECT

  public:
    explicit TrackViewWindow(QWidget* pOwner);

    void SetData(const TrackViewData& view);
    const TrackPlot& Plot() const { return m_plot; }
    std::optional<uint32_t> HoveredRecord() const { return m_nHover; }

  protected:
    void paintEvent(QPaintEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void leaveEvent(QEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;

  private:
    // The picture without the pointer's marks, redrawn only when the data or the size changed.
    void Render();

    TrackPlot m_plot;
    QImage m_picture;
    bool m_bStale = true;
    std::optional<uint32_t> m_nHover;
};
