#include "TrackViewWindow.h"

#include <QFileInfo>
#include <QFontMetrics>
#include <QMouseEvent>
#include <QPainter>
#include <QShortcut>

namespace {

QColor ToQColor(PlotColor c) {
    return {c.r, c.g, c.b};
}

}  // namespace

void PaintPlotItems(QPainter& painter, const std::vector<PlotItem>& items) {
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
                painter.setPen(
                    QPen(color, item.nWidth, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
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
        }
    }
}

TrackViewWindow::TrackViewWindow(QWidget* pOwner) : QWidget(pOwner, Qt::Window) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setMinimumSize(420, 360);
    resize(900, 700);
    auto* pClose = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(pClose, &QShortcut::activated, this, &QWidget::close);
}

void TrackViewWindow::SetData(const TrackViewData& view) {
    m_plot.SetTrack(view.pImage);
    m_plot.SetSelection(view.selection);
    m_plot.SetZone(view.zone);
    const QString name = QFileInfo(QString::fromUtf8(view.strTitle.c_str())).fileName();
    setWindowTitle(name.isEmpty() ? QStringLiteral("Track") : QStringLiteral("Track - ") + name);
    m_nHover.reset();
    m_bStale = true;
    update();
}

void TrackViewWindow::Render() {
    const qreal ratio = devicePixelRatioF();
    m_picture = QImage(size() * ratio, QImage::Format_RGB32);
    m_picture.setDevicePixelRatio(ratio);
    QPainter painter(&m_picture);
    painter.setFont(font());
    const QFontMetrics metrics(font());
    const auto TextWidth = [metrics](std::string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf8(text.data(), qsizetype(text.size())));
    };
    PaintPlotItems(
        painter,
        m_plot.Build(width(), height(), {metrics.averageCharWidth(), metrics.height(), TextWidth}));
    m_bStale = false;
}

void TrackViewWindow::paintEvent(QPaintEvent* /*pEvent*/) {
    if (size().isEmpty()) return;
    if (m_bStale || m_picture.size() != size() * devicePixelRatioF()) Render();
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
    if (m_nHover) PaintPlotItems(painter, m_plot.HoverItems(*m_nHover));
}

void TrackViewWindow::mouseMoveEvent(QMouseEvent* pEvent) {
    const QPoint at = pEvent->position().toPoint();
    const std::optional<uint32_t> nHover = m_plot.HitTest({at.x(), at.y()});
    if (nHover == m_nHover) return;
    m_nHover = nHover;
    update();
}

void TrackViewWindow::leaveEvent(QEvent* /*pEvent*/) {
    if (!m_nHover) return;
    m_nHover.reset();
    update();
}

void TrackViewWindow::resizeEvent(QResizeEvent* /*pEvent*/) {
    m_nHover.reset();
    m_bStale = true;
}
