#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "track/RawLog.h"
#include "track/RecordSelection.h"
#include "track/TimeZone.h"

// The track view's picture, worked out without a toolkit: the positions to scale on a map, speed
// and altitude over time below it, and what a pointer rests on. The views only paint the items.

struct PlotColor {
    uint8_t r = 0;
    uint8_t g = 0;
    uint8_t b = 0;
    friend bool operator==(const PlotColor&, const PlotColor&) = default;
};

// The colour the KML placemarks give a raw fix mode 0..3.
PlotColor FixModeColor(unsigned nRawFixMode);
// A colour mixed into the background: records the selection leaves out.
PlotColor FaintColor(PlotColor color, PlotColor background);

// Mid grey, so that the near-white of no-fix records and the dark fix colours both stand out.
inline constexpr PlotColor kMapBackground{0x8c, 0x96, 0xa0};
inline constexpr PlotColor kChartBackground{0xff, 0xff, 0xff};
inline constexpr PlotColor kChartLine{0x1c, 0x3c, 0x78};
inline constexpr PlotColor kInk{0x00, 0x00, 0x00};
inline constexpr PlotColor kGrid{0xdc, 0xdc, 0xdc};

struct PlotPoint {
    int x = 0;
    int y = 0;
    friend bool operator==(const PlotPoint&, const PlotPoint&) = default;
};

struct PlotRect {
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
    bool Contains(PlotPoint p) const {
        return p.x >= x && p.x < x + cx && p.y >= y && p.y < y + cy;
    }
};

enum class PlotShape {
    FillRect,   // rect filled
    FrameRect,  // rect outlined
    Polyline,   // points joined in order
    Lines,      // points taken in pairs, each pair one line
    Ring,       // the circle inside rect
    Text,       // strText with its top at rect.y; x is its left, centre or right end
};
enum class TextAlign { Left, Center, Right };

struct PlotItem {
    PlotShape shape = PlotShape::FillRect;
    PlotColor color;
    int nWidth = 1;  // pen width in pixels
    PlotRect rect;
    std::vector<PlotPoint> points;
    std::string strText;
    TextAlign align = TextAlign::Left;
};

// The view font's size, for room beside and below the charts.
struct PlotMetrics {
    int nCharWidth = 7;
    int nLineHeight = 15;
    // The width of a text in pixels; without it, its characters times nCharWidth.
    std::function<int(std::string_view)> textWidth;

    int TextWidth(std::string_view text) const {
        return textWidth ? textWidth(text) : static_cast<int>(text.size()) * nCharWidth;
    }
};

class TrackPlot {
  public:
    // The records to show; null shows that nothing is loaded.
    void SetTrack(std::shared_ptr<const RawLogImage> pImage);
    // Records this selection would translate are drawn strong, the others faint.
    void SetSelection(const RecordSelection& selection);
    // Times on the axis and under the pointer are local times in the zone.
    void SetZone(const TimeZone& zone);

    // What to draw in a client area of cx by cy pixels, back to front. Positions are decimated
    // to the pixel: a redraw costs what the area holds, whatever the number of records.
    const std::vector<PlotItem>& Build(int cx, int cy, const PlotMetrics& metrics);

    // The record under a point of the last build: the nearest position on the map, or the
    // nearest time in the charts; nothing when none lies within reach.
    std::optional<uint32_t> HitTest(PlotPoint at) const;
    // The marks and readout of a record the pointer rests on, drawn over the last build.
    std::vector<PlotItem> HoverItems(uint32_t nIndex) const;
    // "Record 12: 2009-05-01 08:30:00, 12.34 km/h, 7 satellites" in the zone.
    std::string HoverText(uint32_t nIndex) const;

    // The part of the map the positions are fitted into.
    const PlotRect& TrackArea() const { return m_trackArea; }
    uint32_t SelectedCount() const { return m_nSelected; }

  private:
    struct Chart;
    void BuildMap();
    void AddMapRuns(bool bStrong);
    void AddMapDots();
    void AddScaleBar();
    void AddMapLegend();
    void BuildChart(const PlotRect& rect, const char* pszTitle, bool bSpeed);
    void BuildTimeAxis();
    int TimeToX(uint32_t dwTime, const PlotRect& rect) const;
    std::optional<PlotPoint> MapPixel(uint32_t nIndex) const;
    void AddText(int x, int y, std::string strText, TextAlign align, PlotColor color = kInk);

    std::shared_ptr<const RawLogImage> m_pImage;
    RecordSelection m_selection;
    bool m_bSelectionSet = false;
    TimeZone m_zone;

    // Per record, filled by SetTrack: where it sits in map units (degrees east of the centre
    // scaled to the centre's latitude, degrees north), whether it has a position at all.
    std::vector<float> m_mapX;
    std::vector<float> m_mapY;
    std::vector<uint8_t> m_placed;
    std::vector<uint8_t> m_selected;
    uint32_t m_nSelected = 0;
    uint32_t m_nPlaced = 0;
    double m_spanX = 0;  // map units the placed positions cover
    double m_spanY = 0;
    uint32_t m_dwMinTime = 0;
    uint32_t m_dwMaxTime = 0;
    uint32_t m_nMaxSpeed = 0;  // hundredths of a km/h
    uint32_t m_nMaxAltitude = 0;
    std::optional<uint32_t> m_nFirstFix;
    std::optional<uint32_t> m_nLastFix;

    // The last build.
    PlotMetrics m_metrics;
    PlotRect m_map;
    PlotRect m_trackArea;
    PlotRect m_speed;
    PlotRect m_altitude;
    double m_scale = 1;  // pixels per map unit
    std::vector<PlotItem> m_items;
};
