#include "TrackPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "export/TrackWriters.h"
#include "track/Calendar.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kMetresPerDegree = 111320.0;
// A track smaller than this (about 11 m) is shown at this size, not blown up to its noise.
constexpr double kMinSpan = 1e-4;
// How close the pointer must come to a position or a time, in pixels.
constexpr int kReach = 10;

int HexDigit(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// A record has a position when it lies on the globe and is not the 0, 0 that a logger writes
// when it has nothing.
bool IsPlaced(const FixRecord& r) {
    return r.lLatitude >= -90000000 && r.lLatitude <= 90000000 && r.lLongitude >= -180000000 &&
           r.lLongitude <= 180000000 && (r.lLatitude != 0 || r.lLongitude != 0);
}

// 1, 2 or 5 times a power of ten, the smallest not below v.
double NiceStep(double v) {
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {1.0, 2.0, 5.0, 10.0}) {
        if (m * p >= v) return m * p;
    }
    return 10 * p;
}

// 1, 2 or 5 times a power of ten, the largest not above v.
double NiceFloor(double v) {
    const double p = std::pow(10.0, std::floor(std::log10(v)));
    for (double m : {5.0, 2.0}) {
        if (m * p <= v) return m * p;
    }
    return p;
}

std::string FormatNumber(double v) {
    char sz[32];
    std::snprintf(sz, sizeof sz, v == std::floor(v) ? "%.0f" : "%g", v);
    return sz;
}

std::string FormatDateTime(const LogDateTime& t, bool bDate, bool bTime, bool bSeconds) {
    char sz[40];
    int n = 0;
    if (bDate)
        n = std::snprintf(sz, sizeof sz, "%04d-%02d-%02d%s", t.wYear, t.bMonth, t.bDay,
                          bTime ? " " : "");
    if (bTime) {
        n += std::snprintf(sz + n, sizeof sz - static_cast<size_t>(n), "%02d:%02d", t.bHour,
                           t.bMinute);
        if (bSeconds) std::snprintf(sz + n, sizeof sz - static_cast<size_t>(n), ":%02d", t.bSecond);
    }
    return sz;
}

PlotItem Rect(PlotShape shape, PlotRect rect, PlotColor color, int nWidth = 1) {
    PlotItem item;
    item.shape = shape;
    item.rect = rect;
    item.color = color;
    item.nWidth = nWidth;
    return item;
}

}  // namespace

PlotColor FixModeColor(unsigned nRawFixMode) {
    // KML writes alpha, blue, green, red.
    const char* psz = KmlFixModeColor(nRawFixMode);
    const auto Byte = [psz](int i) {
        return static_cast<uint8_t>(HexDigit(psz[i]) * 16 + HexDigit(psz[i + 1]));
    };
    return {Byte(6), Byte(4), Byte(2)};
}

PlotColor FaintColor(PlotColor color, PlotColor background) {
    const auto Mix = [](uint8_t c, uint8_t bg) {
        return static_cast<uint8_t>((c * 3 + bg * 7) / 10);
    };
    return {Mix(color.r, background.r), Mix(color.g, background.g), Mix(color.b, background.b)};
}

void TrackPlot::SetTrack(std::shared_ptr<const RawLogImage> pImage) {
    m_pImage = std::move(pImage);
    const uint32_t nCount = m_pImage && m_pImage->IsLoaded() ? m_pImage->RecordCount() : 0;
    m_mapX.assign(nCount, 0.0f);
    m_mapY.assign(nCount, 0.0f);
    m_placed.assign(nCount, 0);
    m_nPlaced = 0;
    m_nFirstFix.reset();
    m_nLastFix.reset();
    m_dwMinTime = UINT32_MAX;
    m_dwMaxTime = 0;
    m_nMaxSpeed = 0;
    m_nMaxAltitude = 0;

    // Longitudes are taken either as they are or east of 0 only (-170 as 190), whichever spans
    // less, so that a track across the date line stays in one piece.
    int32_t nLatMin = INT32_MAX, nLatMax = INT32_MIN;
    int64_t nLonMin = INT64_MAX, nLonMax = INT64_MIN, nEastMin = INT64_MAX, nEastMax = INT64_MIN;
    for (uint32_t i = 0; i < nCount; ++i) {
        const FixRecord r = m_pImage->Record(i);
        m_dwMinTime = std::min(m_dwMinTime, r.dwTime);
        m_dwMaxTime = std::max(m_dwMaxTime, r.dwTime);
        m_nMaxSpeed = std::max<uint32_t>(m_nMaxSpeed, r.wSpeed);
        m_nMaxAltitude = std::max<uint32_t>(m_nMaxAltitude, r.wAltitude);
        if (!IsPlaced(r)) continue;
        m_placed[i] = 1;
        ++m_nPlaced;
        if (!IsNoFixRecord(r)) {
            if (!m_nFirstFix) m_nFirstFix = i;
            m_nLastFix = i;
        }
        nLatMin = std::min(nLatMin, r.lLatitude);
        nLatMax = std::max(nLatMax, r.lLatitude);
        const int64_t nEast = r.lLongitude < 0 ? r.lLongitude + 360000000LL : r.lLongitude;
        nLonMin = std::min<int64_t>(nLonMin, r.lLongitude);
        nLonMax = std::max<int64_t>(nLonMax, r.lLongitude);
        nEastMin = std::min(nEastMin, nEast);
        nEastMax = std::max(nEastMax, nEast);
    }
    if (nCount == 0) m_dwMinTime = 0;
    if (m_nPlaced > 0) {
        const bool bEast = nEastMax - nEastMin < nLonMax - nLonMin;
        const double lat0 = (static_cast<double>(nLatMin) + nLatMax) / 2e6;
        const double lon0 =
            static_cast<double>(bEast ? nEastMin + nEastMax : nLonMin + nLonMax) / 2e6;
        const double cosLat = std::cos(lat0 * kPi / 180.0);
        m_spanX =
            static_cast<double>(bEast ? nEastMax - nEastMin : nLonMax - nLonMin) / 1e6 * cosLat;
        m_spanY = (static_cast<double>(nLatMax) - nLatMin) / 1e6;
        for (uint32_t i = 0; i < nCount; ++i) {
            if (!m_placed[i]) continue;
            const FixRecord r = m_pImage->Record(i);
            const double lon =
                static_cast<double>(bEast && r.lLongitude < 0 ? r.lLongitude + 360000000LL
                                                              : r.lLongitude) /
                1e6;
            m_mapX[i] = static_cast<float>((lon - lon0) * cosLat);
            m_mapY[i] = static_cast<float>(r.lLatitude / 1e6 - lat0);
        }
    }
    if (m_bSelectionSet) SetSelection(m_selection);
}

void TrackPlot::SetSelection(const RecordSelection& selection) {
    m_selection = selection;
    m_bSelectionSet = true;
    const uint32_t nCount = static_cast<uint32_t>(m_placed.size());
    m_selected.assign(nCount, 0);
    RecordSelector selector(selection);
    for (uint32_t i = 0; i < nCount; ++i) m_selected[i] = selector.Select(*m_pImage, i);
    m_nSelected = selector.Written();
}

void TrackPlot::SetZone(const TimeZone& zone) {
    m_zone = zone;
}

void TrackPlot::AddText(int x, int y, std::string strText, TextAlign align, PlotColor color) {
    PlotItem item;
    item.shape = PlotShape::Text;
    item.rect = {x, y, 0, 0};
    item.strText = std::move(strText);
    item.align = align;
    item.color = color;
    m_items.push_back(std::move(item));
}

const std::vector<PlotItem>& TrackPlot::Build(int cx, int cy, const PlotMetrics& metrics) {
    m_items.clear();
    m_metrics = metrics;
    const int nLine = std::max(1, metrics.nLineHeight);
    const int nPad = nLine / 2 + 2;
    const int nLabels = metrics.nCharWidth * 7;  // value labels left of the charts
    const int nAvail = std::max(0, cy - 2 * nPad - 2 * nLine - 8);
    const int nMapHeight = nAvail * 3 / 5;
    const int nChartHeight = (nAvail - nMapHeight) / 2;
    m_map = {nPad, nPad, std::max(0, cx - 2 * nPad), nMapHeight};
    const int nChartX = nPad + nLabels;
    const int nChartWidth = std::max(0, cx - nChartX - nPad);
    m_speed = {nChartX, m_map.y + m_map.cy + nLine / 2 + 4, nChartWidth, nChartHeight};
    m_altitude = {nChartX, m_speed.y + m_speed.cy + 4, nChartWidth, nChartHeight};

    m_items.push_back(Rect(PlotShape::FillRect, {0, 0, cx, cy}, {0xf0, 0xf0, 0xf0}));
    m_items.push_back(Rect(PlotShape::FillRect, m_map, kMapBackground));
    if (!m_pImage || m_placed.empty()) {
        AddText(m_map.x + m_map.cx / 2, m_map.y + m_map.cy / 2 - nLine / 2,
                "No raw data available.", TextAlign::Center);
        return m_items;
    }
    BuildMap();
    m_items.push_back(Rect(PlotShape::FillRect, m_speed, kChartBackground));
    m_items.push_back(Rect(PlotShape::FillRect, m_altitude, kChartBackground));
    BuildTimeAxis();
    BuildChart(m_speed, "Speed (km/h)", true);
    BuildChart(m_altitude, "Altitude (m)", false);
    return m_items;
}

std::optional<PlotPoint> TrackPlot::MapPixel(uint32_t nIndex) const {
    if (nIndex >= m_placed.size() || !m_placed[nIndex]) return std::nullopt;
    const double cx = m_trackArea.x + (m_trackArea.cx - 1) / 2.0;
    const double cy = m_trackArea.y + (m_trackArea.cy - 1) / 2.0;
    return PlotPoint{static_cast<int>(std::lround(cx + m_mapX[nIndex] * m_scale)),
                     static_cast<int>(std::lround(cy - m_mapY[nIndex] * m_scale))};
}

void TrackPlot::BuildMap() {
    const int nLine = m_metrics.nLineHeight;
    if (m_nPlaced == 0) {
        AddText(m_map.x + m_map.cx / 2, m_map.y + m_map.cy / 2 - nLine / 2,
                "No record has a position to draw.", TextAlign::Center);
        return;
    }
    // Clear of the legend above and the scale bar below.
    const int nSide = 12;
    const int nTop = nLine + 16;
    const int nBottom = nLine + 22;
    m_trackArea = {m_map.x + nSide, m_map.y + nTop, std::max(1, m_map.cx - 2 * nSide),
                   std::max(1, m_map.cy - nTop - nBottom)};
    const double fitX = (m_trackArea.cx - 1) / std::max(m_spanX, kMinSpan);
    const double fitY = (m_trackArea.cy - 1) / std::max(m_spanY, kMinSpan);
    m_scale = std::min(fitX, fitY);

    AddMapRuns(false);
    AddMapRuns(true);
    AddMapDots();
    if (m_nFirstFix) {
        const PlotPoint p = *MapPixel(*m_nFirstFix);
        m_items.push_back(Rect(PlotShape::Ring, {p.x - 6, p.y - 6, 13, 13}, kInk, 2));
    }
    if (m_nLastFix) {
        const PlotPoint p = *MapPixel(*m_nLastFix);
        m_items.push_back(Rect(PlotShape::FrameRect, {p.x - 5, p.y - 5, 11, 11}, kInk, 2));
    }
    AddScaleBar();
    AddMapLegend();
}

// The faint records first, the strong ones over them. A run of records of one fix mode is one
// polyline; the line into a record takes that record's look, and positions on the pixel before are
// skipped.
void TrackPlot::AddMapRuns(bool bStrong) {
    const uint32_t nCount = static_cast<uint32_t>(m_placed.size());
    std::optional<PlotPoint> previous;
    PlotItem* pRun = nullptr;
    unsigned nRunMode = 0;
    for (uint32_t i = 0; i < nCount; ++i) {
        const std::optional<PlotPoint> at = MapPixel(i);
        if (!at) continue;
        const bool bMine = (m_selected.empty() || m_selected[i] != 0) == bStrong;
        const unsigned nMode = RawFixMode(m_pImage->Record(i));
        if (!bMine) {
            pRun = nullptr;
        } else if (pRun && nMode == nRunMode) {
            if (!(pRun->points.back() == *at)) pRun->points.push_back(*at);
        } else {
            PlotItem run;
            run.shape = PlotShape::Polyline;
            run.color =
                bStrong ? FixModeColor(nMode) : FaintColor(FixModeColor(nMode), kMapBackground);
            run.nWidth = bStrong ? 2 : 1;
            if (previous && !(*previous == *at)) run.points.push_back(*previous);
            run.points.push_back(*at);
            m_items.push_back(std::move(run));
            pRun = &m_items.back();
            nRunMode = nMode;
        }
        previous = at;
    }
}

// A run that never left its pixel, and that no other line reaches, is a dot.
void TrackPlot::AddMapDots() {
    std::vector<PlotPoint> ends;
    for (const PlotItem& item : m_items) {
        if (item.shape != PlotShape::Polyline || item.points.size() < 2) continue;
        ends.push_back(item.points.front());
        ends.push_back(item.points.back());
    }
    const auto Before = [](PlotPoint a, PlotPoint b) { return a.x != b.x ? a.x < b.x : a.y < b.y; };
    std::sort(ends.begin(), ends.end(), Before);
    std::vector<PlotItem> dots;
    for (const PlotItem& item : m_items) {
        if (item.shape != PlotShape::Polyline || item.points.size() != 1) continue;
        const PlotPoint p = item.points[0];
        if (!std::binary_search(ends.begin(), ends.end(), p, Before)) {
            dots.push_back(Rect(PlotShape::FillRect, {p.x - 2, p.y - 2, 5, 5}, item.color));
        }
    }
    m_items.insert(m_items.end(), dots.begin(), dots.end());
}

// The roundest length up to a quarter of the map's width.
void TrackPlot::AddScaleBar() {
    const double metresPerPixel = kMetresPerDegree / m_scale;
    const double nice = NiceFloor(m_map.cx / 4.0 * metresPerPixel);
    const int nBar = static_cast<int>(std::lround(nice / metresPerPixel));
    const int x0 = m_map.x + 10;
    const int y0 = m_map.y + m_map.cy - 10;
    PlotItem bar;
    bar.shape = PlotShape::Lines;
    bar.color = kInk;
    bar.nWidth = 2;
    bar.points = {{x0, y0}, {x0 + nBar, y0},     {x0, y0 - 4},
                  {x0, y0}, {x0 + nBar, y0 - 4}, {x0 + nBar, y0}};
    m_items.push_back(std::move(bar));
    AddText(x0, y0 - 6 - m_metrics.nLineHeight,
            nice >= 1000 ? FormatNumber(nice / 1000) + " km" : FormatNumber(nice) + " m",
            TextAlign::Left);
}

// The fix mode as the outputs number it, 1 being no fix.
void TrackPlot::AddMapLegend() {
    const int nLine = m_metrics.nLineHeight;
    int x = m_map.x + m_map.cx - 8;
    for (unsigned nMode = 4; nMode-- > 0;) {
        const std::string strLabel = std::to_string(nMode + 1);
        x -= m_metrics.TextWidth(strLabel) + 6;
        AddText(x, m_map.y + 6, strLabel, TextAlign::Left);
        x -= 14;
        m_items.push_back(Rect(PlotShape::FillRect, {x, m_map.y + 6 + nLine / 2 - 5, 10, 10},
                               FixModeColor(nMode)));
        x -= 4;
    }
    AddText(x - 4, m_map.y + 6, "Fix mode", TextAlign::Right);
}

int TrackPlot::TimeToX(uint32_t dwTime, const PlotRect& rect) const {
    const uint32_t nSpan = m_dwMaxTime - m_dwMinTime;
    if (nSpan == 0) return rect.x + rect.cx / 2;
    return rect.x + static_cast<int>(uint64_t{dwTime - m_dwMinTime} *
                                     static_cast<uint64_t>(std::max(0, rect.cx - 1)) / nSpan);
}

namespace {

// A chart's lowest and highest value in one pixel column, and its first and last in file order.
struct ColumnSpan {
    int nTop = INT32_MAX;
    int nBottom = INT32_MIN;
    int nFirst = 0;
    int nLast = 0;
};

// The columns joined into one trace across up to nJoin empty ones; a wider gap is a gap in the
// records and stays open.
PlotItem ChartTrace(const std::vector<ColumnSpan>& columns, const PlotRect& rect, size_t nJoin,
                    PlotColor color) {
    PlotItem lines;
    lines.shape = PlotShape::Lines;
    lines.color = color;
    std::optional<size_t> nPrevious;
    for (size_t c = 0; c < columns.size(); ++c) {
        const ColumnSpan& span = columns[c];
        if (span.nTop == INT32_MAX) continue;
        const int x = rect.x + static_cast<int>(c);
        lines.points.push_back({x, span.nTop});
        lines.points.push_back({x, span.nBottom});
        if (nPrevious && c - *nPrevious <= nJoin) {
            lines.points.push_back(
                {rect.x + static_cast<int>(*nPrevious), columns[*nPrevious].nLast});
            lines.points.push_back({x, span.nFirst});
        }
        nPrevious = c;
    }
    return lines;
}

}  // namespace

void TrackPlot::BuildChart(const PlotRect& rect, const char* pszTitle, bool bSpeed) {
    const double maxValue = bSpeed ? m_nMaxSpeed / 100.0 : m_nMaxAltitude;
    const double step = std::max(1.0, NiceStep(std::max(maxValue, 1.0) / 3.0));
    const double top = std::max(step, std::ceil(maxValue / step) * step);
    const int nBottom = rect.y + rect.cy - 1;
    const auto ValueToY = [&](double v) {
        return nBottom - static_cast<int>(std::lround(v / top * (rect.cy - 1)));
    };

    PlotItem grid;
    grid.shape = PlotShape::Lines;
    grid.color = kGrid;
    for (double v = 0; v <= top + step / 2; v += step) {
        const int y = ValueToY(v);
        grid.points.push_back({rect.x, y});
        grid.points.push_back({rect.x + rect.cx - 1, y});
        // Kept beside their own chart, not reaching into the next.
        const int nTextY = std::clamp(y - m_metrics.nLineHeight / 2, rect.y,
                                      std::max(rect.y, rect.y + rect.cy - m_metrics.nLineHeight));
        AddText(rect.x - 4, nTextY, FormatNumber(v), TextAlign::Right);
    }
    m_items.push_back(std::move(grid));

    // Per pixel column the lowest and highest value and the first and last in file order,
    // selected records apart from the others.
    const size_t nColumns = static_cast<size_t>(std::max(0, rect.cx));
    std::vector<ColumnSpan> spans[2] = {std::vector<ColumnSpan>(nColumns),
                                        std::vector<ColumnSpan>(nColumns)};
    const uint32_t nCount = static_cast<uint32_t>(m_placed.size());
    for (uint32_t i = 0; i < nCount && nColumns > 0; ++i) {
        const FixRecord r = m_pImage->Record(i);
        const size_t nColumn = static_cast<size_t>(TimeToX(r.dwTime, rect) - rect.x);
        const int y = ValueToY(bSpeed ? r.wSpeed / 100.0 : static_cast<double>(r.wAltitude));
        ColumnSpan& span = spans[m_selected.empty() || m_selected[i] ? 1 : 0][nColumn];
        if (span.nTop == INT32_MAX) span.nFirst = y;
        span.nLast = y;
        span.nTop = std::min(span.nTop, y);
        span.nBottom = std::max(span.nBottom, y);
    }
    const size_t nJoin = 2 + 4 * nColumns / std::max<size_t>(1, nCount);
    m_items.push_back(ChartTrace(spans[0], rect, nJoin, FaintColor(kChartLine, kChartBackground)));
    m_items.push_back(ChartTrace(spans[1], rect, nJoin, kChartLine));
    m_items.push_back(Rect(PlotShape::FrameRect, rect, {0xa0, 0xa0, 0xa0}));
    const int nTitleWidth = m_metrics.TextWidth(pszTitle);
    m_items.push_back(Rect(PlotShape::FillRect,
                           {rect.x + 1, rect.y + 1, nTitleWidth + 8, m_metrics.nLineHeight + 2},
                           kChartBackground));
    AddText(rect.x + 4, rect.y + 2, pszTitle, TextAlign::Left, {0x50, 0x50, 0x50});
}

void TrackPlot::BuildTimeAxis() {
    const uint32_t nSpan = m_dwMaxTime - m_dwMinTime;
    const int nWidth = std::max(1, m_altitude.cx);
    // Ticks at round local times, at least fourteen characters apart.
    static constexpr uint32_t kSteps[] = {
        1,      2,      5,       10,      15,       30,        60,       120,   300,
        600,    900,    1800,    3600,    7200,     10800,     21600,    43200, 86400,
        172800, 604800, 2592000, 7776000, 31536000, 157680000, 315360000};
    const double perPixel = nSpan / static_cast<double>(nWidth);
    uint32_t nStep = kSteps[std::size(kSteps) - 1];
    for (uint32_t s : kSteps) {
        if (s >= perPixel * m_metrics.nCharWidth * 14) {
            nStep = s;
            break;
        }
    }
    const int32_t nOffset = m_zone.OffsetAt(m_dwMinTime);
    const int64_t nFirstLocal = int64_t{m_dwMinTime} + nOffset;
    const auto FloorDiv = [](int64_t a, int64_t b) { return a / b - (a % b != 0 && a < 0); };
    int64_t nLocal = nSpan == 0 ? nFirstLocal : -FloorDiv(-nFirstLocal, nStep) * nStep;
    PlotItem grid;
    grid.shape = PlotShape::Lines;
    grid.color = kGrid;
    const int nLabelY = m_altitude.y + m_altitude.cy + 2;
    for (; nLocal - nOffset <= int64_t{m_dwMaxTime}; nLocal += nStep) {
        const auto dwTime = static_cast<uint32_t>(nLocal - nOffset);
        const int x = TimeToX(dwTime, m_altitude);
        for (const PlotRect* pRect : {&m_speed, &m_altitude}) {
            grid.points.push_back({x, pRect->y + 1});
            grid.points.push_back({x, pRect->y + pRect->cy - 2});
        }
        // Times of day; a day's first tick and day steps show the date.
        const LogDateTime local = SecondsToDateTime(dwTime, m_zone.OffsetAt(dwTime));
        std::string strLabel;
        if (nStep >= 86400) {
            strLabel = FormatDateTime(local, true, false, false);
        } else if (nSpan > 0 && local.bHour == 0 && local.bMinute == 0 && local.bSecond == 0) {
            strLabel = FormatDateTime(local, true, false, false).substr(5);
        } else {
            strLabel = FormatDateTime(local, false, true, nStep < 60 || nSpan == 0);
        }
        // Kept under the chart at its two ends.
        const int nHalf = m_metrics.TextWidth(strLabel) / 2 + 1;
        AddText(std::clamp(x, m_altitude.x + nHalf,
                           std::max(m_altitude.x + nHalf, m_altitude.x + m_altitude.cx - nHalf)),
                nLabelY, strLabel, TextAlign::Center);
        if (nSpan == 0) break;
    }
    m_items.push_back(std::move(grid));
    const int nCaptionY = nLabelY + m_metrics.nLineHeight + 2;
    AddText(m_altitude.x, nCaptionY,
            "From " + FormatDateTime(SecondsToDateTime(m_dwMinTime, nOffset), true, true, true),
            TextAlign::Left, {0x50, 0x50, 0x50});
    AddText(m_altitude.x + m_altitude.cx, nCaptionY, "Local time, " + m_zone.DisplayName(),
            TextAlign::Right, {0x50, 0x50, 0x50});
}

std::optional<uint32_t> TrackPlot::HitTest(PlotPoint at) const {
    const uint32_t nCount = static_cast<uint32_t>(m_placed.size());
    std::optional<uint32_t> nBest;
    int64_t nBestDistance = int64_t{kReach} * kReach + 1;
    if (m_map.Contains(at)) {
        for (uint32_t i = 0; i < nCount; ++i) {
            const std::optional<PlotPoint> p = MapPixel(i);
            if (!p) continue;
            const int64_t dx = p->x - at.x, dy = p->y - at.y;
            if (dx * dx + dy * dy < nBestDistance) {
                nBestDistance = dx * dx + dy * dy;
                nBest = i;
            }
        }
        return nBest;
    }
    for (const PlotRect* pRect : {&m_speed, &m_altitude}) {
        if (!pRect->Contains(at)) continue;
        for (uint32_t i = 0; i < nCount; ++i) {
            const int64_t dx = std::abs(TimeToX(m_pImage->Record(i).dwTime, *pRect) - at.x);
            if (dx * dx < nBestDistance) {
                nBestDistance = dx * dx;
                nBest = i;
            }
        }
    }
    return nBest;
}

std::string TrackPlot::HoverText(uint32_t nIndex) const {
    if (!m_pImage || nIndex >= m_placed.size()) return {};
    const FixRecord r = m_pImage->Record(nIndex);
    char sz[160];
    std::snprintf(
        sz, sizeof sz, "Record %u: %s, %u.%02u km/h, %u satellites", nIndex + 1,
        FormatDateTime(SecondsToDateTime(r.dwTime, m_zone.OffsetAt(r.dwTime)), true, true, true)
            .c_str(),
        r.wSpeed / 100u, r.wSpeed % 100u, SatellitesUsed(r));
    return sz;
}

std::vector<PlotItem> TrackPlot::HoverItems(uint32_t nIndex) const {
    std::vector<PlotItem> items;
    if (!m_pImage || nIndex >= m_placed.size()) return items;
    if (const std::optional<PlotPoint> p = MapPixel(nIndex)) {
        items.push_back(Rect(PlotShape::Ring, {p->x - 8, p->y - 8, 17, 17}, {0xff, 0xff, 0xff}, 2));
    }
    PlotItem cursor;
    cursor.shape = PlotShape::Lines;
    cursor.color = {0xc0, 0x30, 0x30};
    const uint32_t dwTime = m_pImage->Record(nIndex).dwTime;
    for (const PlotRect* pRect : {&m_speed, &m_altitude}) {
        const int x = TimeToX(dwTime, *pRect);
        cursor.points.push_back({x, pRect->y});
        cursor.points.push_back({x, pRect->y + pRect->cy - 1});
    }
    items.push_back(std::move(cursor));
    const std::string strText = HoverText(nIndex);
    const int nLine = m_metrics.nLineHeight;
    const PlotRect box{m_map.x + 6, m_map.y + 6, m_metrics.TextWidth(strText) + 12, nLine + 6};
    items.push_back(Rect(PlotShape::FillRect, box, {0xff, 0xff, 0xe8}));
    items.push_back(Rect(PlotShape::FrameRect, box, kInk));
    PlotItem text;
    text.shape = PlotShape::Text;
    text.rect = {box.x + 6, box.y + 3, 0, 0};
    text.strText = strText;
    text.color = kInk;
    items.push_back(std::move(text));
    return items;
}
