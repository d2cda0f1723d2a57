#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "MapTiles.h"
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
    Clip,       // later items are cut to rect; an empty rect ends the cut
    Tiles,      // the map's tiles go here, in rect, by a view that has them (TrackPlot::View)
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

// A photo to show on the map, at the time it was taken (record seconds, UTC).
struct PhotoPin {
    std::string strName;
    uint32_t dwTime = 0;
    double lat = 0;
    double lon = 0;
};

// The part of the world the map shows: its rectangle in the client area and the web-mercator
// point (unit square, see MapTiles.h) at the rectangle's top left corner.
struct MapViewport {
    PlotRect rect;
    double left = 0;
    double top = 0;
    double pixelsPerUnit = 1;
};

// What the colours of the map mean: raw fix modes 0..3.
const char* FixModeName(unsigned nRawFixMode);

class TrackPlot {
  public:
    // The records to show; null shows that nothing is loaded.
    void SetTrack(std::shared_ptr<const RawLogImage> pImage);
    // Records this selection would translate are drawn strong, the others faint.
    void SetSelection(const RecordSelection& selection);
    // Times on the axis and under the pointer are local times in the zone.
    void SetZone(const TimeZone& zone);
    // Photos drawn as pins on the map; the pointer reads their names and times.
    void SetPhotoPins(std::vector<PhotoPin> pins);
    // Whether the view paints tiles under the track (and whose they are, said on the map), and a
    // line on the map saying why some are missing; without tiles, or with a notice, a grid of
    // latitudes and longitudes is drawn.
    void SetMapTiles(bool bShown, std::string strAttribution);
    void SetMapNotice(std::string strNotice);
    const std::string& MapNotice() const { return m_strNotice; }

    // The map opens fitted to the track. Zoom steps double the scale (negative ones halve it)
    // keeping the world under a point of the map in place; a pan moves the map by pixels.
    void ZoomBy(int nSteps, PlotPoint around);
    void ZoomBy(int nSteps);
    void PanBy(int dx, int dy);
    void FitToTrack();
    bool IsFitted() const { return m_bFitted; }

    // What to draw in a client area of cx by cy pixels, back to front. Positions are decimated
    // to the pixel: a redraw costs what the area holds, whatever the number of records.
    const std::vector<PlotItem>& Build(int cx, int cy, const PlotMetrics& metrics);

    // The record under a point of the last build: the nearest position on the map, or the
    // nearest time in the charts; nothing when none lies within reach.
    std::optional<uint32_t> HitTest(PlotPoint at) const;
    // The marks and readout of a record the pointer rests on, drawn over the last build.
    std::vector<PlotItem> HoverItems(uint32_t nIndex) const;
    // The pointer's readout, one line each: the record and its fix, the local time in the zone,
    // the position, altitude, speed and satellites.
    std::string HoverText(uint32_t nIndex) const;
    // The photo pin under a point of the last build, and its marks and readout.
    std::optional<size_t> PinAt(PlotPoint at) const;
    std::vector<PlotItem> PinHoverItems(size_t nPin) const;
    std::string PinText(size_t nPin) const;

    // Where the last build put the world.
    const MapViewport& View() const { return m_view; }
    // The tiles the map of the last build shows: all a view asks its fetcher for.
    std::vector<TileKey> TilesShown() const;

    // The part of the map the positions are fitted into.
    const PlotRect& TrackArea() const { return m_trackArea; }
    uint32_t SelectedCount() const { return m_nSelected; }

  private:
    void BuildMap();
    void PlaceView();
    void AddMapRuns();
    void AddGrid();
    void AddEndMarkers();
    void AddPins();
    void AddScaleBar();
    void AddMapLegend();
    void AddMapNotes();
    void BuildCharts();
    void BuildChartRuns();
    void BuildChart(const PlotRect& rect, const char* pszTitle, bool bSpeed,
                    const std::vector<uint32_t>& chosen);
    void BuildTimeAxis();
    int TimeToX(uint32_t dwTime, const PlotRect& rect) const;
    std::optional<PlotPoint> MapPixel(uint32_t nIndex) const;
    PlotPoint WorldPixel(double x, double y) const;
    std::string LocalTimeText(uint32_t dwTime) const;
    std::vector<PlotItem> ReadoutItems(const std::string& strText) const;
    void AddText(int x, int y, std::string strText, TextAlign align, PlotColor color = kInk);

    std::shared_ptr<const RawLogImage> m_pImage;
    RecordSelection m_selection;
    bool m_bSelectionSet = false;
    TimeZone m_zone;
    std::vector<PhotoPin> m_pins;
    bool m_bTiles = false;
    std::string m_strAttribution;
    std::string m_strNotice;

    // Per record, filled by SetTrack: where it sits in web-mercator units from m_originX/Y (the
    // middle of the track), and its flags (kPlaced, the fix mode, kSelected).
    std::vector<float> m_mapX;
    std::vector<float> m_mapY;
    std::vector<uint8_t> m_flags;
    bool m_bTimesInOrder = true;  // no record older than the one before
    uint32_t m_nSelected = 0;
    uint32_t m_nPlaced = 0;
    double m_originX = 0;
    double m_originY = 0;
    double m_spanX = 0;  // units the placed positions cover
    double m_spanY = 0;
    uint32_t m_dwMinTime = 0;
    uint32_t m_dwMaxTime = 0;
    uint32_t m_nMaxSpeed = 0;  // hundredths of a km/h
    uint32_t m_nMaxAltitude = 0;
    std::optional<uint32_t> m_nFirstFix;
    std::optional<uint32_t> m_nLastFix;

    // The records worth visiting at a scale: each one further than a tolerance from the last kept
    // one, or of another fix mode; one list per tolerance level used lately (a level doubles the
    // tolerance). Kept across pans, zooms and selections. The visits come in blocks, each with
    // the box its positions take (units from the origin): a zoomed view passes over the blocks
    // wholly off one side of the map.
    struct VisitBox {
        float left, top, right, bottom;
    };
    struct Thinned {
        int nLevel;
        std::vector<uint32_t> indices;  // empty: every record
        std::vector<VisitBox> boxes;
    };
    // The list for a scale, or m_everyRecord where thinning leaves too little out.
    const Thinned& ThinnedFor(double pixelsPerUnit);
    void BoxVisits(Thinned& visits) const;
    std::vector<Thinned> m_thinned;
    Thinned m_everyRecord{-1, {}, {}};
    // The finest level found not worth keeping: finer ones keep even more.
    int m_nUselessLevel = -1;

    // The map's view: the point at the middle of the track area (units from the origin) and
    // the scale; fitted to the track until the user zooms or pans.
    bool m_bFitted = true;
    double m_centreX = 0;
    double m_centreY = 0;
    double m_scale = 1;  // pixels per unit

    // The charts' records in runs of one pixel column, for the chart width they were made for:
    // the run's records, and per kind of record (a fix or none, a position on the globe or not)
    // how many, its first and last, and their first, last, lowest and highest speed and altitude.
    // A selection takes or leaves whole kinds in all but the few runs its edges cut.
    struct KindStats {
        uint32_t nCount;
        uint32_t nFirst;
        uint32_t nLast;
        uint16_t value[2][4];  // [speed, altitude][first, last, min, max]
    };
    struct ChartRun {
        uint32_t nBegin;
        uint32_t nEnd;
        int nColumn;
        KindStats kinds[4];  // by kind: 1 no fix, 2 impossible coordinates
    };
    std::vector<ChartRun> m_runs;
    std::vector<uint32_t> m_columnFirst;  // per column, its first record, or UINT32_MAX
    int m_nRunsWidth = -1;
    // The charts of the last build, kept while the records, selection, zone and size stay.
    std::vector<PlotItem> m_chartItems;
    bool m_bChartsStale = true;

    // The last build.
    PlotMetrics m_metrics;
    PlotRect m_map;
    PlotRect m_trackArea;
    PlotRect m_speed;
    PlotRect m_altitude;
    MapViewport m_view;
    std::vector<PlotItem> m_items;
    // Per pixel of the map, the first record drawn there (UINT32_MAX: none), for the pointer.
    std::vector<uint32_t> m_pixelRecord;
    std::vector<uint8_t> m_pixelDots;  // scratch of AddMapRuns
};
