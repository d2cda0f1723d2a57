#include "TrackPlot.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "MapTiles.h"
#include "export/TrackWriters.h"
#include "track/Calendar.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kEarthCircumference = 40075016.686;  // metres around the equator
// A track smaller than this (about 11 m) is shown at this size, not blown up to its noise.
constexpr double kMinSpan = 1e-4 / 360.0;
// How close the pointer must come to a position or a time, in pixels.
constexpr int kReach = 10;
// The scales a user can zoom between: the whole world in a quarter tile, and one level past the
// servers' deepest.
constexpr double kMinScale = mercator::kTileSize / 4.0;
constexpr double kMaxScale = mercator::kTileSize * double(1 << (mercator::kMaxZoom + 1));
// Pixels beyond which a coordinate is held, so that far positions stay in range and their lines
// stay off the map.
constexpr double kFar = 1 << 24;

// The flags of a record.
constexpr uint8_t kPlaced = 1;
constexpr int kModeShift = 1;  // two bits
constexpr uint8_t kSelected = 8;
constexpr uint8_t kPossible = 16;  // latitude and longitude within their ranges

// Visits per block of a visit list.
constexpr uint32_t kVisitBlock = 256;

constexpr PlotColor kPinColor{0xd0, 0x20, 0x90};
constexpr PlotColor kNoteBackground{0xff, 0xff, 0xff};

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

// "47.500° N" for a grid line; the decimals its step needs.
std::string FormatDegrees(double v, double step, bool bLatitude) {
    const int nDecimals = std::clamp(static_cast<int>(std::ceil(-std::log10(step) - 1e-9)), 0, 6);
    char sz[40];
    const char* pszSide = bLatitude ? (v < 0 ? "S" : "N") : (v < 0 ? "W" : "E");
    std::snprintf(sz, sizeof sz, "%.*f\xC2\xB0 %s", nDecimals, std::fabs(v), pszSide);
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

PlotItem Text(int x, int y, std::string strText, TextAlign align, PlotColor color) {
    PlotItem item;
    item.shape = PlotShape::Text;
    item.rect = {x, y, 0, 0};
    item.strText = std::move(strText);
    item.align = align;
    item.color = color;
    return item;
}

// Rounded to the nearest pixel, without a library call: this runs once per record per redraw.
int Clamped(double v) {
    return static_cast<int>(std::clamp(v, -kFar, kFar) + (kFar + 0.5)) - static_cast<int>(kFar);
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

// The receiver's fix as the GPX output names modes 0..2 (none, 2d, 3d); the fourth is the
// differential fix that the same receivers report beyond 3D.
const char* FixModeName(unsigned nRawFixMode) {
    static constexpr const char* kNames[4] = {"No fix", "2D fix", "3D fix", "DGPS"};
    return kNames[nRawFixMode & 3u];
}

void TrackPlot::SetTrack(std::shared_ptr<const RawLogImage> pImage) {
    m_pImage = std::move(pImage);
    const uint32_t nCount = m_pImage && m_pImage->IsLoaded() ? m_pImage->RecordCount() : 0;
    m_mapX.assign(nCount, 0.0f);
    m_mapY.assign(nCount, 0.0f);
    m_flags.assign(nCount, 0);
    m_nPlaced = 0;
    m_nFirstFix.reset();
    m_nLastFix.reset();
    m_dwMinTime = UINT32_MAX;
    m_dwMaxTime = 0;
    m_nMaxSpeed = 0;
    m_nMaxAltitude = 0;
    m_nRunsWidth = -1;
    m_bChartsStale = true;
    m_bFitted = true;
    m_bTimesInOrder = true;
    m_thinned.clear();
    m_nUselessLevel = -1;

    // Longitudes are taken either as they are or east of 0 only (-170 as 190), whichever spans
    // less, so that a track across the date line stays in one piece.
    int32_t nLatMin = INT32_MAX, nLatMax = INT32_MIN;
    int64_t nLonMin = INT64_MAX, nLonMax = INT64_MIN, nEastMin = INT64_MAX, nEastMax = INT64_MIN;
    for (uint32_t i = 0; i < nCount; ++i) {
        const FixRecord r = m_pImage->Record(i);
        m_bTimesInOrder = m_bTimesInOrder && (i == 0 || r.dwTime >= m_dwMaxTime);
        m_dwMinTime = std::min(m_dwMinTime, r.dwTime);
        m_dwMaxTime = std::max(m_dwMaxTime, r.dwTime);
        m_nMaxSpeed = std::max<uint32_t>(m_nMaxSpeed, r.wSpeed);
        m_nMaxAltitude = std::max<uint32_t>(m_nMaxAltitude, r.wAltitude);
        m_flags[i] = static_cast<uint8_t>(RawFixMode(r) << kModeShift |
                                          (HasPossibleCoordinates(r) ? kPossible : 0));
        if (!IsPlaced(r)) continue;
        m_flags[i] |= kPlaced;
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
        // Projected once: a pan or zoom later only scales and shifts these.
        const bool bEast = nEastMax - nEastMin < nLonMax - nLonMin;
        const auto X = [bEast](int64_t nLon) {
            return mercator::XOfLongitude(
                static_cast<double>(bEast && nLon < 0 ? nLon + 360000000LL : nLon) / 1e6);
        };
        const auto Y = [](int32_t nLat) { return mercator::YOfLatitude(nLat / 1e6); };
        const double x0 = X(bEast ? nEastMin : nLonMin);
        const double x1 = X(bEast ? nEastMax : nLonMax);
        m_originX = (x0 + x1) / 2;
        m_originY = (Y(nLatMin) + Y(nLatMax)) / 2;
        m_spanX = x1 - x0;
        m_spanY = Y(nLatMin) - Y(nLatMax);
        for (uint32_t i = 0; i < nCount; ++i) {
            if (!(m_flags[i] & kPlaced)) continue;
            const FixRecord r = m_pImage->Record(i);
            m_mapX[i] = static_cast<float>(X(r.lLongitude) - m_originX);
            m_mapY[i] = static_cast<float>(Y(r.lLatitude) - m_originY);
        }
    }
    m_everyRecord.indices.clear();
    BoxVisits(m_everyRecord);
    if (m_bSelectionSet) SetSelection(m_selection);
}

void TrackPlot::SetSelection(const RecordSelection& selection) {
    m_selection = selection;
    m_bSelectionSet = true;
    m_bChartsStale = true;
    const uint32_t nCount = static_cast<uint32_t>(m_flags.size());
    // Without the tests that look at satellites, HDOP or the fix before, a record's fate hangs on
    // its time, its fix mode and whether its position lies on the globe: a change of choices is a
    // pass over the flags kept per record, not a decoding of every record.
    const RecordFilter& filter = selection.filter;
    if (filter.nMinSatellites == 0 && filter.nMaxHdopTenths < 0 && !(filter.dMaxSpeedKmh > 0)) {
        const uint8_t nRefused = filter.bKeepImpossiblePositions ? 0 : kPossible;
        const bool bDropNoFix = selection.bDropNoFix;
        const bool bByTime = selection.nSelectMode == kSelectByTime;
        const bool bBySize = selection.nSelectMode == kSelectBySize;
        const uint32_t dwFrom = bByTime || bBySize ? selection.dwFromTime : 0;
        const uint32_t dwTo = bByTime ? selection.dwToTime : UINT32_MAX;
        // A negative limit becomes a huge unsigned one, which is no effective limit.
        const uint32_t nLimit =
            bBySize && selection.nLimit != 0 ? static_cast<uint32_t>(selection.nLimit) : UINT32_MAX;
        // Times in order, as a logger writes them, make the time window one stretch of records,
        // found by halving; out of order, each record's time is read.
        const uint8_t* pBytes = nCount ? m_pImage->Bytes() : nullptr;
        const auto Time = [pBytes](uint32_t i) {
            return ReadLe32(pBytes + size_t{i} * kFixRecordSize);
        };
        const auto FirstAfter = [&](uint64_t dwTime) {
            uint32_t nLow = 0, nHigh = nCount;
            while (nLow < nHigh) {
                const uint32_t nMiddle = nLow + (nHigh - nLow) / 2;
                if (Time(nMiddle) > dwTime) {
                    nHigh = nMiddle;
                } else {
                    nLow = nMiddle + 1;
                }
            }
            return nLow;
        };
        const bool bStretch = m_bTimesInOrder || !(bByTime || bBySize);
        const uint32_t nBegin = m_bTimesInOrder && dwFrom > 0 ? FirstAfter(dwFrom - 1ull) : 0;
        const uint32_t nEnd = m_bTimesInOrder ? FirstAfter(dwTo) : nCount;
        uint32_t nWritten = 0;
        for (uint32_t i = 0; i < nCount; ++i) {
            const uint8_t nFlags = m_flags[i];
            const bool bSelected =
                (bStretch ? i >= nBegin && i < nEnd : Time(i) >= dwFrom && Time(i) <= dwTo) &&
                (!bDropNoFix || (nFlags >> kModeShift & 3u) != 0) &&
                (nFlags & nRefused) == nRefused && nWritten < nLimit;
            nWritten += bSelected ? 1 : 0;
            m_flags[i] = static_cast<uint8_t>((nFlags & ~kSelected) | (bSelected ? kSelected : 0));
        }
        m_nSelected = nWritten;
        return;
    }
    RecordSelector selector(selection);
    for (uint32_t i = 0; i < nCount; ++i) {
        const bool bSelected = selector.Select(*m_pImage, i);
        m_flags[i] = static_cast<uint8_t>((m_flags[i] & ~kSelected) | (bSelected ? kSelected : 0));
    }
    m_nSelected = selector.Written();
}

void TrackPlot::SetZone(const TimeZone& zone) {
    m_zone = zone;
    m_bChartsStale = true;
}

void TrackPlot::SetPhotoPins(std::vector<PhotoPin> pins) {
    m_pins = std::move(pins);
}

void TrackPlot::SetMapTiles(bool bShown, std::string strAttribution) {
    m_bTiles = bShown;
    m_strAttribution = std::move(strAttribution);
}

void TrackPlot::SetMapNotice(std::string strNotice) {
    m_strNotice = std::move(strNotice);
}

void TrackPlot::ZoomBy(int nSteps, PlotPoint around) {
    const double scale = std::clamp(m_scale * std::pow(2.0, nSteps), kMinScale, kMaxScale);
    // The world point under `around` stays there.
    const double ax = around.x - (m_trackArea.x + (m_trackArea.cx - 1) / 2.0);
    const double ay = around.y - (m_trackArea.y + (m_trackArea.cy - 1) / 2.0);
    m_centreX += ax / m_scale - ax / scale;
    m_centreY += ay / m_scale - ay / scale;
    m_scale = scale;
    m_bFitted = false;
}

void TrackPlot::ZoomBy(int nSteps) {
    ZoomBy(nSteps,
           {m_trackArea.x + (m_trackArea.cx - 1) / 2, m_trackArea.y + (m_trackArea.cy - 1) / 2});
}

void TrackPlot::PanBy(int dx, int dy) {
    m_centreX -= dx / m_scale;
    m_centreY -= dy / m_scale;
    m_bFitted = false;
}

void TrackPlot::FitToTrack() {
    m_bFitted = true;
}

void TrackPlot::AddText(int x, int y, std::string strText, TextAlign align, PlotColor color) {
    m_items.push_back(Text(x, y, std::move(strText), align, color));
}

const std::vector<PlotItem>& TrackPlot::Build(int cx, int cy, const PlotMetrics& metrics) {
    m_items.clear();
    const int nLine = std::max(1, metrics.nLineHeight);
    if (metrics.nLineHeight != m_metrics.nLineHeight || metrics.nCharWidth != m_metrics.nCharWidth)
        m_bChartsStale = true;
    m_metrics = metrics;
    const int nPad = nLine / 2 + 2;
    const int nLabels = metrics.nCharWidth * 7;  // value labels left of the charts
    const int nAvail = std::max(0, cy - 2 * nPad - 2 * nLine - 8);
    const int nMapHeight = nAvail * 3 / 5;
    const int nChartHeight = (nAvail - nMapHeight) / 2;
    m_map = {nPad, nPad, std::max(0, cx - 2 * nPad), nMapHeight};
    const int nChartX = nPad + nLabels;
    const int nChartWidth = std::max(0, cx - nChartX - nPad);
    const PlotRect speed{nChartX, m_map.y + m_map.cy + nLine / 2 + 4, nChartWidth, nChartHeight};
    const PlotRect altitude{nChartX, speed.y + speed.cy + 4, nChartWidth, nChartHeight};
    if (speed.x != m_speed.x || speed.y != m_speed.y || speed.cx != m_speed.cx ||
        speed.cy != m_speed.cy)
        m_bChartsStale = true;
    m_speed = speed;
    m_altitude = altitude;

    m_items.push_back(Rect(PlotShape::FillRect, {0, 0, cx, cy}, {0xf0, 0xf0, 0xf0}));
    m_items.push_back(Rect(PlotShape::FillRect, m_map, kMapBackground));
    m_pixelRecord.clear();
    if (!m_pImage || m_flags.empty()) {
        AddText(m_map.x + m_map.cx / 2, m_map.y + m_map.cy / 2 - nLine / 2,
                "No raw data available.", TextAlign::Center);
        return m_items;
    }
    BuildMap();
    BuildCharts();
    return m_items;
}

PlotPoint TrackPlot::WorldPixel(double x, double y) const {
    // x, y in units from the origin.
    const double cx = m_trackArea.x + (m_trackArea.cx - 1) / 2.0;
    const double cy = m_trackArea.y + (m_trackArea.cy - 1) / 2.0;
    return {Clamped(cx + (x - m_centreX) * m_scale), Clamped(cy + (y - m_centreY) * m_scale)};
}

std::optional<PlotPoint> TrackPlot::MapPixel(uint32_t nIndex) const {
    if (nIndex >= m_flags.size() || !(m_flags[nIndex] & kPlaced)) return std::nullopt;
    return WorldPixel(m_mapX[nIndex], m_mapY[nIndex]);
}

void TrackPlot::PlaceView() {
    const int nLine = m_metrics.nLineHeight;
    // Clear of the legend above and the scale bar below.
    const int nSide = 12;
    const int nTop = nLine + 16;
    const int nBottom = nLine + 22;
    m_trackArea = {m_map.x + nSide, m_map.y + nTop, std::max(1, m_map.cx - 2 * nSide),
                   std::max(1, m_map.cy - nTop - nBottom)};
    if (m_bFitted) {
        const double fitX = (m_trackArea.cx - 1) / std::max(m_spanX, kMinSpan);
        const double fitY = (m_trackArea.cy - 1) / std::max(m_spanY, kMinSpan);
        m_scale = std::clamp(std::min(fitX, fitY), kMinScale, kMaxScale);
        m_centreX = 0;
        m_centreY = 0;
    }
    const double cx = m_trackArea.x + (m_trackArea.cx - 1) / 2.0;
    const double cy = m_trackArea.y + (m_trackArea.cy - 1) / 2.0;
    m_view.rect = m_map;
    m_view.pixelsPerUnit = m_scale;
    m_view.left = m_originX + m_centreX - (cx - m_map.x) / m_scale;
    m_view.top = m_originY + m_centreY - (cy - m_map.y) / m_scale;
}

void TrackPlot::BuildMap() {
    const int nLine = m_metrics.nLineHeight;
    if (m_nPlaced == 0) {
        AddText(m_map.x + m_map.cx / 2, m_map.y + m_map.cy / 2 - nLine / 2,
                "No record has a position to draw.", TextAlign::Center);
        return;
    }
    PlaceView();
    if (m_bTiles) m_items.push_back(Rect(PlotShape::Tiles, m_map, kMapBackground));
    m_items.push_back(Rect(PlotShape::Clip, m_map, kInk));
    if (!m_bTiles || !m_strNotice.empty()) AddGrid();
    AddMapRuns();
    AddEndMarkers();
    AddPins();
    m_items.push_back(Rect(PlotShape::Clip, {}, kInk));
    AddScaleBar();
    AddMapLegend();
    AddMapNotes();
}

// Lines of latitude and longitude at round degrees, about a hundred pixels or more apart,
// labelled at the map's left and top edges.
void TrackPlot::AddGrid() {
    const PlotColor kGridLine{0xb4, 0xbc, 0xc4};
    const PlotColor kGridText{0x30, 0x38, 0x40};
    PlotItem lines;
    lines.shape = PlotShape::Lines;
    lines.color = kGridLine;
    std::vector<PlotItem> labels;
    const double lonStep = NiceStep(100.0 / m_scale * 360.0);
    const double lonLeft = mercator::LongitudeOfX(m_view.left);
    const double lonRight = mercator::LongitudeOfX(m_view.left + m_map.cx / m_scale);
    for (double lon = std::ceil(lonLeft / lonStep) * lonStep; lon <= lonRight; lon += lonStep) {
        const int x = Clamped(m_map.x + (mercator::XOfLongitude(lon) - m_view.left) * m_scale);
        lines.points.push_back({x, m_map.y});
        lines.points.push_back({x, m_map.y + m_map.cy - 1});
        double shown = std::fmod(lon + 180.0, 360.0);
        shown = (shown < 0 ? shown + 360.0 : shown) - 180.0;
        labels.push_back(Text(x + 3, m_map.y + 2, FormatDegrees(shown, lonStep, false),
                              TextAlign::Left, kGridText));
    }
    // Degrees of latitude per pixel at the middle of the map.
    const double middleY = m_view.top + m_map.cy / 2.0 / m_scale;
    const double latPerPixel = (mercator::LatitudeOfY(middleY - 0.5 / m_scale) -
                                mercator::LatitudeOfY(middleY + 0.5 / m_scale));
    const double latStep = NiceStep(std::max(100.0 * latPerPixel, 1e-6));
    const double latTop = mercator::LatitudeOfY(std::max(0.0, m_view.top));
    const double latBottom = mercator::LatitudeOfY(std::min(1.0, m_view.top + m_map.cy / m_scale));
    for (double lat = std::ceil(latBottom / latStep) * latStep; lat <= latTop; lat += latStep) {
        const int y = Clamped(m_map.y + (mercator::YOfLatitude(lat) - m_view.top) * m_scale);
        lines.points.push_back({m_map.x, y});
        lines.points.push_back({m_map.x + m_map.cx - 1, y});
        labels.push_back(Text(m_map.x + 3, y - m_metrics.nLineHeight - 1,
                              FormatDegrees(std::fabs(lat) < latStep / 2 ? 0 : lat, latStep, true),
                              TextAlign::Left, kGridText));
    }
    m_items.push_back(std::move(lines));
    m_items.insert(m_items.end(), labels.begin(), labels.end());
}

// A tolerance level's records: at most a quarter pixel apart at the scale asked for, so what is
// left out lies on the pixels drawn.
const TrackPlot::Thinned& TrackPlot::ThinnedFor(double pixelsPerUnit) {
    constexpr double kFinest = 1.0 / (uint64_t{1} << 40);  // units: about 4 cm
    const int nLevel = static_cast<int>(std::floor(std::log2(0.25 / pixelsPerUnit / kFinest)));
    if (nLevel <= m_nUselessLevel) return m_everyRecord;
    for (size_t i = 0; i < m_thinned.size(); ++i) {
        if (m_thinned[i].nLevel != nLevel) continue;
        std::rotate(m_thinned.begin(), m_thinned.begin() + static_cast<std::ptrdiff_t>(i),
                    m_thinned.begin() + static_cast<std::ptrdiff_t>(i) + 1);
        return m_thinned.front();
    }
    const float tolerance = static_cast<float>(std::ldexp(kFinest, nLevel));
    std::vector<uint32_t> indices;
    float lastX = 0, lastY = 0;
    unsigned nLastMode = 4;
    const uint32_t nCount = static_cast<uint32_t>(m_flags.size());
    for (uint32_t i = 0; i < nCount; ++i) {
        if (!(m_flags[i] & kPlaced)) continue;
        const unsigned nMode = (m_flags[i] >> kModeShift) & 3u;
        if (nMode == nLastMode && std::fabs(m_mapX[i] - lastX) <= tolerance &&
            std::fabs(m_mapY[i] - lastY) <= tolerance && i != m_nLastFix)
            continue;
        indices.push_back(i);
        lastX = m_mapX[i];
        lastY = m_mapY[i];
        nLastMode = nMode;
    }
    // Worth keeping only when it leaves much out.
    if (indices.size() > nCount / 2) {
        m_nUselessLevel = std::max(m_nUselessLevel, nLevel);
        return m_everyRecord;
    }
    m_thinned.insert(m_thinned.begin(), {nLevel, std::move(indices), {}});
    if (m_thinned.size() > 3) m_thinned.pop_back();
    BoxVisits(m_thinned.front());
    return m_thinned.front();
}

void TrackPlot::BoxVisits(Thinned& visits) const {
    const bool bEvery = visits.indices.empty();
    const uint32_t nVisits = bEvery ? static_cast<uint32_t>(m_flags.size())
                                    : static_cast<uint32_t>(visits.indices.size());
    visits.boxes.clear();
    for (uint32_t nBegin = 0; nBegin < nVisits; nBegin += kVisitBlock) {
        // Left above right: a block without a position.
        VisitBox box{1, 1, -1, -1};
        for (uint32_t nVisit = nBegin; nVisit < std::min(nVisits, nBegin + kVisitBlock); ++nVisit) {
            const uint32_t i = bEvery ? nVisit : visits.indices[nVisit];
            if (!(m_flags[i] & kPlaced)) continue;
            if (box.left > box.right) box = {m_mapX[i], m_mapY[i], m_mapX[i], m_mapY[i]};
            box.left = std::min(box.left, m_mapX[i]);
            box.right = std::max(box.right, m_mapX[i]);
            box.top = std::min(box.top, m_mapY[i]);
            box.bottom = std::max(box.bottom, m_mapY[i]);
        }
        visits.boxes.push_back(box);
    }
}

// The faint records first, the strong ones over them, as lines from each position to the next in
// the look of the record they lead to, gathered into one item per look. A step within the pen's
// width of the last line's end adds nothing a user could see and is skipped, as are records on
// the pixel of the one before and a dot its look already has on that pixel; a stretch that stays
// off one side of the map is not drawn at all, and a block of records wholly off one side is
// passed over but for its ends, so that a redraw costs what the map shows. Every record on the
// map marks its pixel for the pointer.
void TrackPlot::AddMapRuns() {
    const Thinned& visits = ThinnedFor(m_scale);
    const bool bEvery = visits.indices.empty();
    const uint32_t nVisits = bEvery ? static_cast<uint32_t>(m_flags.size())
                                    : static_cast<uint32_t>(visits.indices.size());
    const size_t nMapWidth = static_cast<size_t>(m_map.cx);
    m_pixelRecord.assign(nMapWidth * static_cast<size_t>(m_map.cy), UINT32_MAX);
    // Per pixel of the map, the looks (bit look * 4 + fix mode) that have a dot there already:
    // the same dot again paints nothing new, and a long track revisits its pixels many times.
    m_pixelDots.assign(m_pixelRecord.size(), 0);
    // Off the map by more than a line's width: which sides.
    const int nLeft = m_map.x - 4, nRight = m_map.x + m_map.cx + 4;
    const int nTop = m_map.y - 4, nBottom = m_map.y + m_map.cy + 4;
    const auto Outside = [&](PlotPoint p) {
        return (p.x < nLeft ? 1 : 0) | (p.x > nRight ? 2 : 0) | (p.y < nTop ? 4 : 0) |
               (p.y > nBottom ? 8 : 0);
    };
    const double ax = m_scale;
    const double bx = m_trackArea.x + (m_trackArea.cx - 1) / 2.0 - m_centreX * m_scale;
    const double by = m_trackArea.y + (m_trackArea.cy - 1) / 2.0 - m_centreY * m_scale;
    const bool bAllStrong = !m_bSelectionSet;

    std::vector<PlotPoint> lines[2][4];  // [look][fix mode], in pairs
    bool bHavePrevious = false;
    PlotPoint previous;
    uint8_t nPreviousFlags = 0;
    int nPreviousOutside = 0;
    PlotPoint end;      // where the last line drawn ends
    int nEndLook = -1;  // its look and mode
    unsigned nEndMode = 0;
    std::optional<PlotPoint> first;
    const auto Visit = [&](uint32_t nVisit) {
        const uint32_t i = bEvery ? nVisit : visits.indices[nVisit];
        const uint8_t nFlags = m_flags[i];
        if (!(nFlags & kPlaced)) return;
        const PlotPoint at{Clamped(m_mapX[i] * ax + bx), Clamped(m_mapY[i] * ax + by)};
        if (bHavePrevious && at == previous && nFlags == nPreviousFlags) return;
        const int nOutside = Outside(at);
        size_t nPixel = SIZE_MAX;
        if (nOutside == 0 && at.x >= m_map.x && at.x < m_map.x + m_map.cx && at.y >= m_map.y &&
            at.y < m_map.y + m_map.cy) {
            nPixel = static_cast<size_t>(at.y - m_map.y) * nMapWidth +
                     static_cast<size_t>(at.x - m_map.x);
            if (m_pixelRecord[nPixel] == UINT32_MAX) m_pixelRecord[nPixel] = i;
        }
        const int nLook = bAllStrong || (nFlags & kSelected) ? 1 : 0;
        const unsigned nMode = (nFlags >> kModeShift) & 3u;
        if (!first) first = at;
        // A line that stays on one side off the map is not drawn.
        if (bHavePrevious && (nOutside & nPreviousOutside) == 0) {
            const PlotPoint from = nEndLook >= 0 ? end : previous;
            const bool bSameLook = nLook == nEndLook && nMode == nEndMode;
            const bool bShort =
                std::abs(from.x - at.x) <= nLook && std::abs(from.y - at.y) <= nLook;
            if (!(bSameLook && bShort)) {
                const PlotPoint start = bSameLook ? from : previous;
                bool bRepeat = false;
                if (start == at && nPixel != SIZE_MAX) {
                    const auto nDot = static_cast<uint8_t>(1u << (nLook * 4 + int(nMode)));
                    bRepeat = (m_pixelDots[nPixel] & nDot) != 0;
                    m_pixelDots[nPixel] |= nDot;
                }
                if (!bRepeat) {
                    lines[nLook][nMode].push_back(start);
                    lines[nLook][nMode].push_back(at);
                }
                end = at;
                nEndLook = nLook;
                nEndMode = nMode;
            }
        } else {
            nEndLook = -1;
        }
        previous = at;
        nPreviousFlags = nFlags;
        nPreviousOutside = nOutside;
        bHavePrevious = true;
    };
    for (uint32_t nBlock = 0; nBlock < visits.boxes.size(); ++nBlock) {
        const VisitBox& box = visits.boxes[nBlock];
        if (box.left > box.right) continue;
        const uint32_t nBegin = nBlock * kVisitBlock;
        const uint32_t nEnd = std::min(nVisits, nBegin + kVisitBlock);
        const PlotPoint topLeft{Clamped(box.left * ax + bx), Clamped(box.top * ax + by)};
        const PlotPoint bottomRight{Clamped(box.right * ax + bx), Clamped(box.bottom * ax + by)};
        if ((Outside(topLeft) & Outside(bottomRight)) == 0) {
            for (uint32_t nVisit = nBegin; nVisit < nEnd; ++nVisit) Visit(nVisit);
            continue;
        }
        // Wholly off one side: of its lines only the one into its first position and the one out
        // of its last can be seen.
        const auto Placed = [&](uint32_t nVisit) {
            return (m_flags[bEvery ? nVisit : visits.indices[nVisit]] & kPlaced) != 0;
        };
        uint32_t nFirst = nBegin, nLast = nEnd - 1;
        while (!Placed(nFirst)) ++nFirst;
        while (!Placed(nLast)) --nLast;
        Visit(nFirst);
        if (nLast != nFirst) Visit(nLast);
    }
    bool bAnyLine = false;
    for (int nLook = 0; nLook < 2; ++nLook) {
        for (unsigned nMode = 0; nMode < 4; ++nMode) {
            if (lines[nLook][nMode].empty()) continue;
            PlotItem item;
            item.shape = PlotShape::Lines;
            item.color =
                nLook ? FixModeColor(nMode) : FaintColor(FixModeColor(nMode), kMapBackground);
            item.nWidth = nLook ? 2 : 1;
            item.points = std::move(lines[nLook][nMode]);
            m_items.push_back(std::move(item));
            bAnyLine = true;
        }
    }
    // A track that never left its pixel is a dot.
    if (!bAnyLine && first && Outside(*first) == 0) {
        const unsigned nMode = (m_flags[m_nFirstFix.value_or(0)] >> kModeShift) & 3u;
        m_items.push_back(
            Rect(PlotShape::FillRect, {first->x - 2, first->y - 2, 5, 5}, FixModeColor(nMode)));
    }
}

// The first and last fix: a ring and a square, each with its word beside it.
void TrackPlot::AddEndMarkers() {
    const int nLine = m_metrics.nLineHeight;
    if (m_nFirstFix) {
        const PlotPoint p = *MapPixel(*m_nFirstFix);
        m_items.push_back(Rect(PlotShape::Ring, {p.x - 6, p.y - 6, 13, 13}, kInk, 2));
        AddText(p.x + 9, p.y - nLine, "Start", TextAlign::Left);
    }
    if (m_nLastFix) {
        const PlotPoint p = *MapPixel(*m_nLastFix);
        m_items.push_back(Rect(PlotShape::FrameRect, {p.x - 5, p.y - 5, 11, 11}, kInk, 2));
        AddText(p.x + 9, p.y + 1, "End", TextAlign::Left);
    }
}

void TrackPlot::AddPins() {
    for (const PhotoPin& pin : m_pins) {
        const PlotPoint p = WorldPixel(mercator::XOfLongitude(pin.lon) - m_originX,
                                       mercator::YOfLatitude(pin.lat) - m_originY);
        // A head on a stem, the stem's foot on the position.
        PlotItem stem;
        stem.shape = PlotShape::Lines;
        stem.color = kInk;
        stem.points = {{p.x, p.y}, {p.x, p.y - 8}};
        m_items.push_back(std::move(stem));
        m_items.push_back(Rect(PlotShape::FillRect, {p.x - 4, p.y - 16, 9, 9}, kPinColor));
        m_items.push_back(Rect(PlotShape::FrameRect, {p.x - 4, p.y - 16, 9, 9}, kInk));
    }
}

// The roundest length up to a quarter of the map's width, true at the map's middle latitude.
void TrackPlot::AddScaleBar() {
    const double middleY = m_view.top + m_map.cy / 2.0 / m_scale;
    const double metresPerPixel =
        kEarthCircumference * std::cos(mercator::LatitudeOfY(middleY) * kPi / 180.0) / m_scale;
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

// What each colour means, in words, on a light box at the top right.
void TrackPlot::AddMapLegend() {
    const int nLine = m_metrics.nLineHeight;
    const int nRight = m_map.x + m_map.cx - 6;
    int x = nRight - 4;
    std::vector<PlotItem> items;
    for (unsigned nMode = 4; nMode-- > 0;) {
        const std::string strLabel = FixModeName(nMode);
        x -= m_metrics.TextWidth(strLabel);
        items.push_back(Text(x, m_map.y + 6, strLabel, TextAlign::Left, kInk));
        x -= 14;
        items.push_back(Rect(PlotShape::FillRect, {x, m_map.y + 6 + nLine / 2 - 5, 10, 10},
                             FixModeColor(nMode)));
        items.push_back(Rect(PlotShape::FrameRect, {x, m_map.y + 6 + nLine / 2 - 5, 10, 10},
                             {0x60, 0x60, 0x60}));
        x -= 10;
    }
    m_items.push_back(
        Rect(PlotShape::FillRect, {x, m_map.y + 4, nRight - x, nLine + 4}, kNoteBackground));
    m_items.insert(m_items.end(), items.begin(), items.end());
}

// Whose tiles these are, bottom right; why tiles are missing, bottom middle.
void TrackPlot::AddMapNotes() {
    const int nLine = m_metrics.nLineHeight;
    const int nBottom = m_map.y + m_map.cy;
    if (m_bTiles && !m_strAttribution.empty()) {
        const int nWidth = m_metrics.TextWidth(m_strAttribution);
        const int nRight = m_map.x + m_map.cx;
        m_items.push_back(Rect(PlotShape::FillRect,
                               {nRight - nWidth - 8, nBottom - nLine - 2, nWidth + 8, nLine + 2},
                               kNoteBackground));
        AddText(nRight - 4, nBottom - nLine - 1, m_strAttribution, TextAlign::Right);
    }
    if (!m_strNotice.empty()) {
        const int nWidth = m_metrics.TextWidth(m_strNotice);
        const int xMiddle = m_map.x + m_map.cx / 2;
        const int y = nBottom - 2 * nLine - 12;
        m_items.push_back(Rect(PlotShape::FillRect,
                               {xMiddle - nWidth / 2 - 6, y - 2, nWidth + 12, nLine + 4},
                               {0xff, 0xf0, 0xc8}));
        AddText(xMiddle, y, m_strNotice, TextAlign::Center, {0x80, 0x20, 0x00});
    }
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

// The charts change with the records, the selection, the zone and the size, not with the map's
// view: kept between builds.
void TrackPlot::BuildCharts() {
    if (m_bChartsStale) {
        std::vector<PlotItem> mapItems;
        mapItems.swap(m_items);
        m_items.push_back(Rect(PlotShape::FillRect, m_speed, kChartBackground));
        m_items.push_back(Rect(PlotShape::FillRect, m_altitude, kChartBackground));
        BuildChartRuns();
        BuildTimeAxis();
        // Per run, the records the selection takes.
        std::vector<uint32_t> chosen(m_runs.size());
        for (size_t nRun = 0; nRun < m_runs.size(); ++nRun) {
            for (uint32_t i = m_runs[nRun].nBegin; i < m_runs[nRun].nEnd; ++i)
                chosen[nRun] += (m_flags[i] & kSelected) ? 1 : 0;
        }
        BuildChart(m_speed, "Speed (km/h)", true, chosen);
        BuildChart(m_altitude, "Altitude (m)", false, chosen);
        m_chartItems.swap(m_items);
        m_items.swap(mapItems);
        m_bChartsStale = false;
    }
    m_items.insert(m_items.end(), m_chartItems.begin(), m_chartItems.end());
}

// Consecutive records of one pixel column, with their values gathered, for the chart's width.
void TrackPlot::BuildChartRuns() {
    if (m_nRunsWidth == m_speed.cx) return;
    m_nRunsWidth = m_speed.cx;
    m_runs.clear();
    m_columnFirst.assign(static_cast<size_t>(std::max(0, m_speed.cx)), UINT32_MAX);
    if (m_speed.cx <= 0) return;
    const uint32_t nCount = static_cast<uint32_t>(m_flags.size());
    for (uint32_t i = 0; i < nCount; ++i) {
        const FixRecord r = m_pImage->Record(i);
        const int nColumn = TimeToX(r.dwTime, m_speed) - m_speed.x;
        const uint16_t values[2] = {r.wSpeed, r.wAltitude};
        if (m_runs.empty() || m_runs.back().nColumn != nColumn) {
            m_runs.push_back({i, i, nColumn, {}});
            uint32_t& nFirst = m_columnFirst[static_cast<size_t>(nColumn)];
            nFirst = std::min(nFirst, i);
        }
        ChartRun& run = m_runs.back();
        run.nEnd = i + 1;
        KindStats& kind =
            run.kinds[(IsNoFixRecord(r) ? 1 : 0) | (HasPossibleCoordinates(r) ? 0 : 2)];
        if (kind.nCount++ == 0) {
            kind.nFirst = i;
            for (int v = 0; v < 2; ++v) {
                for (uint16_t& w : kind.value[v]) w = values[v];
            }
        }
        kind.nLast = i;
        for (int v = 0; v < 2; ++v) {
            kind.value[v][1] = values[v];
            kind.value[v][2] = std::min(kind.value[v][2], values[v]);
            kind.value[v][3] = std::max(kind.value[v][3], values[v]);
        }
    }
}

void TrackPlot::BuildChart(const PlotRect& rect, const char* pszTitle, bool bSpeed,
                           const std::vector<uint32_t>& chosen) {
    const double maxValue = bSpeed ? m_nMaxSpeed / 100.0 : m_nMaxAltitude;
    const double step = std::max(1.0, NiceStep(std::max(maxValue, 1.0) / 3.0));
    const double top = std::max(step, std::ceil(maxValue / step) * step);
    const int nBottom = rect.y + rect.cy - 1;
    const auto ValueToY = [&](uint16_t w) {
        const double v = bSpeed ? w / 100.0 : static_cast<double>(w);
        return nBottom - static_cast<int>(std::lround(v / top * (rect.cy - 1)));
    };

    PlotItem grid;
    grid.shape = PlotShape::Lines;
    grid.color = kGrid;
    for (double v = 0; v <= top + step / 2; v += step) {
        const int y = nBottom - static_cast<int>(std::lround(v / top * (rect.cy - 1)));
        grid.points.push_back({rect.x, y});
        grid.points.push_back({rect.x + rect.cx - 1, y});
        // Kept beside their own chart, not reaching into the next.
        const int nTextY = std::clamp(y - m_metrics.nLineHeight / 2, rect.y,
                                      std::max(rect.y, rect.y + rect.cy - m_metrics.nLineHeight));
        AddText(rect.x - 4, nTextY, FormatNumber(v), TextAlign::Right);
    }
    m_items.push_back(std::move(grid));

    // Per pixel column the lowest and highest value and the first and last in file order,
    // selected records apart from the others. A run wholly of one kind adds its gathered values;
    // only the few runs a selection's edge cuts are walked record by record.
    const size_t nColumns = static_cast<size_t>(std::max(0, rect.cx));
    std::vector<ColumnSpan> spans[2] = {std::vector<ColumnSpan>(nColumns),
                                        std::vector<ColumnSpan>(nColumns)};
    const int nValue = bSpeed ? 0 : 1;
    const auto Add = [&](int nLook, int nColumn, uint16_t wFirst, uint16_t wLast, uint16_t wMin,
                         uint16_t wMax) {
        ColumnSpan& span = spans[nLook][static_cast<size_t>(nColumn)];
        if (span.nTop == INT32_MAX) span.nFirst = ValueToY(wFirst);
        span.nLast = ValueToY(wLast);
        span.nTop = std::min(span.nTop, ValueToY(wMax));
        span.nBottom = std::max(span.nBottom, ValueToY(wMin));
    };
    const uint32_t nCount = static_cast<uint32_t>(m_flags.size());
    // The kinds of record a selection may take: it takes no other, so when it takes as many
    // records of a run as these hold, it takes exactly these.
    bool bMayTake[4];
    for (int nKind = 0; nKind < 4; ++nKind) {
        bMayTake[nKind] = !((nKind & 1) && m_selection.bDropNoFix) &&
                          !((nKind & 2) && !m_selection.filter.bKeepImpossiblePositions);
    }
    for (const ChartRun& run : m_runs) {
        const uint32_t nLength = run.nEnd - run.nBegin;
        const uint32_t nChosen =
            m_bSelectionSet ? chosen[static_cast<size_t>(&run - m_runs.data())] : nLength;
        uint32_t nMayTake = 0;
        for (int nKind = 0; nKind < 4; ++nKind)
            nMayTake += bMayTake[nKind] ? run.kinds[nKind].nCount : 0;
        if (nChosen == 0 || nChosen == nLength || nChosen == nMayTake) {
            for (int nLook = 0; nLook < 2; ++nLook) {
                const KindStats* pFirst = nullptr;
                const KindStats* pLast = nullptr;
                uint16_t wMin = UINT16_MAX, wMax = 0;
                for (const KindStats& kind : run.kinds) {
                    const bool bTaken =
                        nChosen == nLength || (nChosen != 0 && bMayTake[&kind - run.kinds]);
                    if (kind.nCount == 0 || (bTaken ? 1 : 0) != nLook) continue;
                    if (!pFirst || kind.nFirst < pFirst->nFirst) pFirst = &kind;
                    if (!pLast || kind.nLast > pLast->nLast) pLast = &kind;
                    wMin = std::min(wMin, kind.value[nValue][2]);
                    wMax = std::max(wMax, kind.value[nValue][3]);
                }
                if (pFirst)
                    Add(nLook, run.nColumn, pFirst->value[nValue][0], pLast->value[nValue][1], wMin,
                        wMax);
            }
            continue;
        }
        // Each look's values gathered over the run first, then added as a whole run's are.
        uint16_t gathered[2][4] = {};
        bool bSeen[2] = {false, false};
        const uint8_t* pValue = m_pImage->Bytes() + (bSpeed ? 14 : 12);
        for (uint32_t i = run.nBegin; i < run.nEnd; ++i) {
            const uint16_t w = ReadLe16(pValue + size_t{i} * kFixRecordSize);
            const int nLook = m_flags[i] & kSelected ? 1 : 0;
            uint16_t* g = gathered[nLook];
            if (!bSeen[nLook]) {
                bSeen[nLook] = true;
                g[0] = g[2] = g[3] = w;
            }
            g[1] = w;
            g[2] = std::min(g[2], w);
            g[3] = std::max(g[3], w);
        }
        for (int nLook = 0; nLook < 2; ++nLook) {
            const uint16_t* g = gathered[nLook];
            if (bSeen[nLook]) Add(nLook, run.nColumn, g[0], g[1], g[2], g[3]);
        }
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

// On the map, the pixels around the pointer out to the reach, nearest first by distance and then
// by file order; in the charts, the columns around it.
std::optional<uint32_t> TrackPlot::HitTest(PlotPoint at) const {
    std::optional<uint32_t> nBest;
    int64_t nBestDistance = int64_t{kReach} * kReach + 1;
    if (m_map.Contains(at)) {
        if (m_pixelRecord.empty()) return std::nullopt;
        for (int dy = -kReach; dy <= kReach; ++dy) {
            const int y = at.y + dy;
            if (y < m_map.y || y >= m_map.y + m_map.cy) continue;
            for (int dx = -kReach; dx <= kReach; ++dx) {
                const int x = at.x + dx;
                const int64_t nDistance = int64_t{dx} * dx + int64_t{dy} * dy;
                if (x < m_map.x || x >= m_map.x + m_map.cx || nDistance > nBestDistance) continue;
                const uint32_t nIndex =
                    m_pixelRecord[static_cast<size_t>(y - m_map.y) * static_cast<size_t>(m_map.cx) +
                                  static_cast<size_t>(x - m_map.x)];
                if (nIndex == UINT32_MAX) continue;
                if (nDistance < nBestDistance || (nDistance == nBestDistance && nIndex < *nBest)) {
                    nBestDistance = nDistance;
                    nBest = nIndex;
                }
            }
        }
        return nBest;
    }
    for (const PlotRect* pRect : {&m_speed, &m_altitude}) {
        if (!pRect->Contains(at) || m_columnFirst.empty()) continue;
        for (int dx = 0; dx <= kReach && !nBest; ++dx) {
            for (const int x : {at.x - dx, at.x + dx}) {
                const int nColumn = x - pRect->x;
                if (nColumn < 0 || nColumn >= static_cast<int>(m_columnFirst.size())) continue;
                const uint32_t nIndex = m_columnFirst[static_cast<size_t>(nColumn)];
                if (nIndex != UINT32_MAX && (!nBest || nIndex < *nBest)) nBest = nIndex;
            }
        }
    }
    return nBest;
}

// "2009-05-01 08:30:00 GMT+8:00", a named zone with the offset it has then.
std::string TrackPlot::LocalTimeText(uint32_t dwTime) const {
    const int32_t nOffset = m_zone.OffsetAt(dwTime);
    std::string strText = FormatDateTime(SecondsToDateTime(dwTime, nOffset), true, true, true) +
                          " " + m_zone.DisplayName();
    if (!m_zone.DisplayName().starts_with("GMT")) strText += " (" + TimeZoneText(nOffset) + ")";
    return strText;
}

std::string TrackPlot::HoverText(uint32_t nIndex) const {
    if (!m_pImage || nIndex >= m_flags.size()) return {};
    const FixRecord r = m_pImage->Record(nIndex);
    char sz[320];
    std::snprintf(sz, sizeof sz,
                  "Record %u, %s\n%s\nLatitude %.6f, longitude %.6f\nAltitude %u m, %u.%02u km/h, "
                  "%u satellites",
                  nIndex + 1, FixModeName(RawFixMode(r)), LocalTimeText(r.dwTime).c_str(),
                  r.lLatitude / 1e6, r.lLongitude / 1e6, unsigned{r.wAltitude}, r.wSpeed / 100u,
                  r.wSpeed % 100u, SatellitesUsed(r));
    return sz;
}

// A box of lines at the map's top left.
std::vector<PlotItem> TrackPlot::ReadoutItems(const std::string& strText) const {
    std::vector<PlotItem> items;
    std::vector<std::string> lines;
    int nWidth = 0;
    for (size_t nStart = 0; nStart <= strText.size();) {
        const size_t nEnd = std::min(strText.find('\n', nStart), strText.size());
        lines.push_back(strText.substr(nStart, nEnd - nStart));
        nWidth = std::max(nWidth, m_metrics.TextWidth(lines.back()));
        nStart = nEnd + 1;
    }
    const int nLine = m_metrics.nLineHeight;
    const PlotRect box{m_map.x + 6, m_map.y + 6, nWidth + 12,
                       nLine * static_cast<int>(lines.size()) + 6};
    items.push_back(Rect(PlotShape::FillRect, box, {0xff, 0xff, 0xe8}));
    items.push_back(Rect(PlotShape::FrameRect, box, kInk));
    for (size_t i = 0; i < lines.size(); ++i) {
        items.push_back(Text(box.x + 6, box.y + 3 + nLine * static_cast<int>(i), lines[i],
                             TextAlign::Left, kInk));
    }
    return items;
}

std::vector<PlotItem> TrackPlot::HoverItems(uint32_t nIndex) const {
    std::vector<PlotItem> items;
    if (!m_pImage || nIndex >= m_flags.size()) return items;
    if (const std::optional<PlotPoint> p = MapPixel(nIndex); p && m_map.Contains(*p)) {
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
    const std::vector<PlotItem> readout = ReadoutItems(HoverText(nIndex));
    items.insert(items.end(), readout.begin(), readout.end());
    return items;
}

std::optional<size_t> TrackPlot::PinAt(PlotPoint at) const {
    if (!m_map.Contains(at) || m_nPlaced == 0) return std::nullopt;
    // The last drawn lies on top.
    for (size_t i = m_pins.size(); i-- > 0;) {
        const PhotoPin& pin = m_pins[i];
        const PlotPoint p = WorldPixel(mercator::XOfLongitude(pin.lon) - m_originX,
                                       mercator::YOfLatitude(pin.lat) - m_originY);
        if (at.x >= p.x - 5 && at.x <= p.x + 5 && at.y >= p.y - 17 && at.y <= p.y) return i;
    }
    return std::nullopt;
}

std::string TrackPlot::PinText(size_t nPin) const {
    if (nPin >= m_pins.size()) return {};
    const PhotoPin& pin = m_pins[nPin];
    char sz[96];
    std::snprintf(sz, sizeof sz, "\nLatitude %.6f, longitude %.6f", pin.lat, pin.lon);
    return "Photo " + pin.strName + "\n" + LocalTimeText(pin.dwTime) + sz;
}

std::vector<PlotItem> TrackPlot::PinHoverItems(size_t nPin) const {
    std::vector<PlotItem> items;
    if (nPin >= m_pins.size()) return items;
    const PhotoPin& pin = m_pins[nPin];
    const PlotPoint p = WorldPixel(mercator::XOfLongitude(pin.lon) - m_originX,
                                   mercator::YOfLatitude(pin.lat) - m_originY);
    items.push_back(Rect(PlotShape::FrameRect, {p.x - 6, p.y - 18, 13, 13}, {0xff, 0xff, 0xff}, 2));
    const std::vector<PlotItem> readout = ReadoutItems(PinText(nPin));
    items.insert(items.end(), readout.begin(), readout.end());
    return items;
}

std::vector<TileKey> TrackPlot::TilesShown() const {
    std::vector<TileKey> keys;
    for (const TilePlacement& tile : TilesInView(m_view.left, m_view.top, m_view.pixelsPerUnit,
                                                 m_view.rect.cx, m_view.rect.cy)) {
        keys.push_back(tile.key);
    }
    return keys;
}
