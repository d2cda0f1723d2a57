#pragma once

// Four known tracks and what a drawn track view must show of each, whatever painted it: geometry
// worked out here, not taken from the plot code. A square stays square, a line across the date
// line stays one line in order, a single fix is a dot in the middle, no fix leaves no colour.

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "app/TrackPlot.h"
#include "track/FixRecord.h"

namespace track_pictures {

struct Case {
    const char* pszName;
    std::vector<FixRecord> records;
};

// A fix of the given raw mode, a minute after the one before, from 2019-01-05 10:40:00.
inline FixRecord At(double lat, double lon, unsigned nMode, uint32_t nIndex) {
    FixRecord r{};
    r.dwTime = 600000000 + 60 * nIndex;
    r.lLatitude = static_cast<int32_t>(std::lround(lat * 1e6));
    r.lLongitude = static_cast<int32_t>(std::lround(lon * 1e6));
    r.wSpeed = static_cast<uint16_t>(1000 * nIndex);
    r.bFixSv = static_cast<uint8_t>(nMode << 6 | 8);
    return r;
}

inline std::vector<Case> KnownTracks() {
    return {
        // 0.02 degrees of longitude at 60 degrees north are as long as 0.01 of latitude.
        {"square",
         {At(60.00, 10.00, 2, 0), At(60.00, 10.02, 2, 1), At(60.01, 10.02, 2, 2),
          At(60.01, 10.00, 2, 3), At(60.00, 10.00, 2, 4)}},
        // Eastwards over 180 degrees; the line into each fix has that fix's colour.
        {"date line",
         {At(0, 179.97, 2, 0), At(0, 179.99, 1, 1), At(0, -179.99, 2, 2), At(0, -179.97, 3, 3)}},
        {"single fix", {At(25.03, 121.56, 2, 0)}},
        // What a logger writes without a fix: mode 0 at 0, 0.
        {"no fix", {At(0, 0, 0, 0), At(0, 0, 0, 1)}}};
}

using PixelAt = std::function<PlotColor(int x, int y)>;

inline bool Near(PlotColor a, PlotColor b) {
    return std::abs(a.r - b.r) < 40 && std::abs(a.g - b.g) < 40 && std::abs(a.b - b.b) < 40;
}

// The raw fix mode 1..3 whose colour a pixel has, or 0.
inline unsigned ModeAt(const PixelAt& pixel, int x, int y) {
    for (unsigned nMode = 1; nMode < 4; ++nMode) {
        if (Near(pixel(x, y), FixModeColor(nMode))) return nMode;
    }
    return 0;
}

// Empty when the picture of the case is right, else what is wrong; area is where the plot fits
// the positions (the legend and the scale bar lie outside it).
inline std::string CheckPicture(const Case& c, const PlotRect& area, const PixelAt& pixel) {
    const std::string strName = c.pszName;
    int nLeft = INT32_MAX, nRight = INT32_MIN, nTop = INT32_MAX, nBottom = INT32_MIN;
    for (int y = area.y - 2; y < area.y + area.cy + 2; ++y) {  // lines may reach 2 pixels out
        for (int x = area.x - 2; x < area.x + area.cx + 2; ++x) {
            if (ModeAt(pixel, x, y) == 0) continue;
            nLeft = std::min(nLeft, x), nRight = std::max(nRight, x);
            nTop = std::min(nTop, y), nBottom = std::max(nBottom, y);
        }
    }
    if (strName == "no fix") return nLeft == INT32_MAX ? "" : "a track colour on an empty map";
    if (nLeft == INT32_MAX) return "nothing drawn";
    const int cx = nRight - nLeft + 1, cy = nBottom - nTop + 1;
    const bool bCentred = std::abs((nLeft + nRight) / 2 - (area.x + area.cx / 2)) <= 3 &&
                          std::abs((nTop + nBottom) / 2 - (area.y + area.cy / 2)) <= 3;
    if (strName == "single fix")
        return bCentred && cx <= 7 && cy <= 7 ? "" : "not a dot in the middle";
    if (strName == "square") {
        int nSides = 0;  // all four sides drawn, not just corners
        for (int i = 0; i < std::max(cx, cy); ++i) {
            nSides += ModeAt(pixel, nLeft + i, nTop) == 2 &&
                      ModeAt(pixel, nLeft + i, nBottom) == 2 &&
                      ModeAt(pixel, nLeft, nTop + i) == 2 && ModeAt(pixel, nRight, nTop + i) == 2;
        }
        return std::abs(cx - cy) > 3
                   ? "not square: " + std::to_string(cx) + " by " + std::to_string(cy)
               : std::max(cx, cy) < std::min(area.cx, area.cy) * 9 / 10 ? "not fitted to the map"
               : !bCentred                                              ? "not centred"
               : nSides < std::max(cx, cy) * 8 / 10                     ? "sides with gaps"
                                                                        : "";
    }
    // The date line: one straight unbroken line across the area, blue, green, red from west to
    // east.
    if (cy > 4 || cx < area.cx * 9 / 10) return "not one east-west line across the map";
    const int y = (nTop + nBottom) / 2;
    for (int nThird = 0; nThird < 3; ++nThird) {
        if (ModeAt(pixel, nLeft + cx * (2 * nThird + 1) / 6, y) != unsigned(nThird + 1))
            return "third " + std::to_string(nThird + 1) + " of the line has the wrong colour";
    }
    for (int x = nLeft; x <= nRight; ++x) {
        if (Near(pixel(x, y), kMapBackground))
            return "the line is broken at x " + std::to_string(x);
    }
    return {};
}

}  // namespace track_pictures
