#include "TrackViewWindow.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>
#include <QWheelEvent>

#include "QtTileSource.h"

namespace {

QColor ToQColor(PlotColor c) {
    return {c.r, c.g, c.b};
}

MapTileOptions DisabledTiles() {
    MapTileOptions options;
    options.bEnabled = false;
    return options;
}

MapTileOptions& DefaultMapOptions() {
    static MapTileOptions options = DisabledTiles();
    return options;
}

void PaintTiles(QPainter& painter, const MapViewport& view, const TileLookup& tiles) {
    if (!tiles) return;
    const QRect area(view.rect.x, view.rect.y, view.rect.cx, view.rect.cy);
    painter.save();
    painter.setClipRect(area);
    // Scaled tiles are smoothed; at their own size they are copied.
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    for (const TilePlacement& tile :
         TilesInView(view.left, view.top, view.pixelsPerUnit, view.rect.cx, view.rect.cy)) {
        if (const QImage* pImage = tiles(tile.key)) {
            painter.drawImage(QRectF(area.x() + tile.x, area.y() + tile.y, tile.size, tile.size),
                              *pImage);
        }
    }
    painter.restore();
}

}  // namespace

void PaintPlotItems(QPainter& painter, const std::vector<PlotItem>& items, const MapViewport& view,
                    const TileLookup& tiles) {
    const QFontMetrics metrics = painter.fontMetrics();
    std::vector<QLine> lines;
    for (const PlotItem& item : items) {
        const QColor color = ToQColor(item.color);
        const QRect rect(item.rect.x, item.rect.y, item.rect.cx, item.rect.cy);
        // Tracks stay crisp and fast; only the round marks are smoothed.
        painter.setRenderHint(QPainter::Antialiasing, item.shape == PlotShape::Ring);
        painter.setPen(QPen(color, item.nWidth, Qt::SolidLine, Qt::FlatCap, Qt::MiterJoin));
        painter.setBrush(Qt::NoBrush);
        switch (item.shape) {
            case PlotShape::FillRect:
                painter.fillRect(rect, color);
                break;
            case PlotShape::FrameRect: {
                // The pen's width lies inside the rectangle.
                const int nHalf = item.nWidth / 2;
                painter.drawRect(rect.adjusted(nHalf, nHalf, -1 - (item.nWidth - 1 - nHalf),
                                               -1 - (item.nWidth - 1 - nHalf)));
                break;
            }
            case PlotShape::Polyline: {
                if (item.points.size() < 2) break;
                // Square ends and bevelled corners: a track of many short steps is drawn without
                // the curves of round ones.
                painter.setPen(
                    QPen(color, item.nWidth, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
                std::vector<QPoint> points;
                points.reserve(item.points.size());
                for (const PlotPoint& p : item.points) points.emplace_back(p.x, p.y);
                painter.drawPolyline(points.data(), static_cast<int>(points.size()));
                break;
            }
            case PlotShape::Lines:
                // Square ends: a span of one pixel is drawn as that pixel.
                painter.setPen(
                    QPen(color, item.nWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
                lines.clear();
                for (size_t i = 0; i + 1 < item.points.size(); i += 2) {
                    lines.emplace_back(item.points[i].x, item.points[i].y, item.points[i + 1].x,
                                       item.points[i + 1].y);
                }
                painter.drawLines(lines.data(), static_cast<int>(lines.size()));
                break;
            case PlotShape::Ring:
                painter.drawEllipse(QRectF(rect).adjusted(item.nWidth / 2.0, item.nWidth / 2.0,
                                                          -item.nWidth / 2.0, -item.nWidth / 2.0));
                break;
            case PlotShape::Text: {
                const QString text = QString::fromUtf8(item.strText.c_str());
                const int nWidth = metrics.horizontalAdvance(text);
                int x = item.rect.x;
                if (item.align == TextAlign::Center) x -= nWidth / 2;
                if (item.align == TextAlign::Right) x -= nWidth;
                painter.drawText(x, item.rect.y + metrics.ascent(), text);
                break;
            }
            case PlotShape::Clip:
                painter.setClipRect(rect, rect.isEmpty() ? Qt::NoClip : Qt::ReplaceClip);
                break;
            case PlotShape::Tiles:
                PaintTiles(painter, view, tiles);
                break;
        }
    }
    painter.setClipping(false);
}

TrackViewWindow::TrackViewWindow(QWidget* pOwner) : QWidget(pOwner, Qt::Window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setMinimumSize(420, 360);
    resize(900, 700);
    auto* pClose = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(pClose, &QShortcut::activated, this, &QWidget::close);
    SetMapOptions(DefaultMapOptions());
}

void TrackViewWindow::SetDefaultMapOptions(const MapTileOptions& options) {
    DefaultMapOptions() = options;
}

void TrackViewWindow::SetMapOptions(const MapTileOptions& options) {
    delete m_pTiles;
    m_pTiles = nullptr;
    if (options.bEnabled) {
        m_pTiles = new QtTileSource(options, this);
        connect(m_pTiles, &QtTileSource::Changed, this, [this] {
            // A notice is part of the items; a tile only of the picture.
            if (m_pTiles->Notice().toStdString() != m_plot.MapNotice()) {
                m_plot.SetMapNotice(m_pTiles->Notice().toStdString());
                m_bStale = true;
            }
            m_bRepaint = true;
            update();
        });
    }
    m_plot.SetMapTiles(m_pTiles != nullptr, options.strAttribution);
    m_plot.SetMapNotice({});
    Rebuild();
}

void TrackViewWindow::SetData(const TrackViewData& view) {
    m_plot.SetTrack(view.pImage);
    m_plot.SetSelection(view.selection);
    m_plot.SetZone(view.zone);
    const QString name = QFileInfo(QString::fromUtf8(view.strTitle.c_str())).fileName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Track") : QStringLiteral("Track - ") + name);
    m_nHover.reset();
    m_nHoverPin.reset();
    Rebuild();
}

void TrackViewWindow::SetPhotoPins(std::vector<PhotoPin> pins) {
    m_plot.SetPhotoPins(std::move(pins));
    m_nHoverPin.reset();
    Rebuild();
}

void TrackViewWindow::Rebuild() {
    m_bStale = true;
    update();
}

void TrackViewWindow::Render() {
    if (m_bStale) {
        const QFontMetrics metrics(font());
        const auto TextWidth = [metrics](std::string_view text) {
            return metrics.horizontalAdvance(
                QString::fromUtf8(text.data(), qsizetype(text.size())));
        };
        m_pItems = &m_plot.Build(width(), height(),
                                 {metrics.averageCharWidth(), metrics.height(), TextWidth});
        m_bStale = false;
        // Only the tiles this view shows are asked for.
        if (m_pTiles) m_pTiles->Want(m_plot.TilesShown());
    }
    const qreal ratio = devicePixelRatioF();
    if (m_picture.size() != size() * ratio) {
        m_picture = QImage(size() * ratio, QImage::Format_RGB32);
        m_picture.setDevicePixelRatio(ratio);
    }
    QPainter painter(&m_picture);
    painter.setFont(font());
    TileLookup lookup;
    if (m_pTiles) lookup = [this](const TileKey& key) { return m_pTiles->Tile(key); };
    PaintPlotItems(painter, *m_pItems, m_plot.View(), lookup);
    m_bRepaint = false;
}

void TrackViewWindow::paintEvent(QPaintEvent* /*pEvent*/) {
    if (size().isEmpty()) return;
    if (m_bStale || m_bRepaint || m_picture.size() != size() * devicePixelRatioF()) Render();
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
    if (m_nHoverPin) {
        PaintPlotItems(painter, m_plot.PinHoverItems(*m_nHoverPin));
    } else if (m_nHover) {
        PaintPlotItems(painter, m_plot.HoverItems(*m_nHover));
    }
}

void TrackViewWindow::Hover(QPoint at) {
    // The pointer reads the picture as it is now, though it was not painted yet.
    if (m_bStale && !size().isEmpty()) Render();
    const std::optional<size_t> nPin = m_plot.PinAt({at.x(), at.y()});
    const std::optional<uint32_t> nHover = nPin ? std::nullopt : m_plot.HitTest({at.x(), at.y()});
    if (nHover == m_nHover && nPin == m_nHoverPin) return;
    m_nHover = nHover;
    m_nHoverPin = nPin;
    update();
}

void TrackViewWindow::mouseMoveEvent(QMouseEvent* pEvent) {
    const QPoint at = pEvent->position().toPoint();
    if (m_dragFrom && (pEvent->buttons() & Qt::LeftButton)) {
        m_plot.PanBy(at.x() - m_dragFrom->x(), at.y() - m_dragFrom->y());
        m_dragFrom = at;
        m_nHover.reset();
        m_nHoverPin.reset();
        Rebuild();
        return;
    }
    Hover(at);
}

void TrackViewWindow::mousePressEvent(QMouseEvent* pEvent) {
    const PlotRect& map = m_plot.View().rect;
    const QPoint at = pEvent->position().toPoint();
    if (pEvent->button() == Qt::LeftButton && map.Contains({at.x(), at.y()})) m_dragFrom = at;
}

void TrackViewWindow::mouseReleaseEvent(QMouseEvent* /*pEvent*/) {
    m_dragFrom.reset();
}

void TrackViewWindow::wheelEvent(QWheelEvent* pEvent) {
    const QPoint at = pEvent->position().toPoint();
    const int nSteps = pEvent->angleDelta().y() / 120;
    if (nSteps == 0 || !m_plot.View().rect.Contains({at.x(), at.y()})) return;
    m_plot.ZoomBy(nSteps, {at.x(), at.y()});
    m_nHover.reset();
    m_nHoverPin.reset();
    Rebuild();
}

void TrackViewWindow::keyPressEvent(QKeyEvent* pEvent) {
    const PlotRect& map = m_plot.View().rect;
    switch (pEvent->key()) {
        case Qt::Key_Plus:
        case Qt::Key_Equal:
            m_plot.ZoomBy(1);
            break;
        case Qt::Key_Minus:
            m_plot.ZoomBy(-1);
            break;
        case Qt::Key_Left:
            m_plot.PanBy(map.cx / 4, 0);
            break;
        case Qt::Key_Right:
            m_plot.PanBy(-map.cx / 4, 0);
            break;
        case Qt::Key_Up:
            m_plot.PanBy(0, map.cy / 4);
            break;
        case Qt::Key_Down:
            m_plot.PanBy(0, -map.cy / 4);
            break;
        case Qt::Key_Home:
            m_plot.FitToTrack();
            break;
        default:
            QWidget::keyPressEvent(pEvent);
            return;
    }
    m_nHover.reset();
    m_nHoverPin.reset();
    Rebuild();
}

void TrackViewWindow::leaveEvent(QEvent* /*pEvent*/) {
    m_dragFrom.reset();
    if (!m_nHover && !m_nHoverPin) return;
    m_nHover.reset();
    m_nHoverPin.reset();
    update();
}

void TrackViewWindow::resizeEvent(QResizeEvent* /*pEvent*/) {
    m_nHover.reset();
    m_nHoverPin.reset();
    m_bStale = true;
}
