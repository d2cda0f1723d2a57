#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "PhotoTime.h"

// The track points of a GPX file (1.0 or 1.1, as other devices and programs write them): each
// <trkpt> with its lat and lon and a <time>, and its <ele> when it has one. Points without a time
// cannot place a photo and are passed over; so are waypoints and route points.

struct GpxPoint {
    UtcMillis nTime = 0;
    double dLatitude = 0.0;
    double dLongitude = 0.0;
    double dAltitude = 0.0;  // metres; 0 without <ele>
};

// Reads GPX text as it comes, in pieces of any size.
class GpxReader {
  public:
    GpxReader();
    ~GpxReader();
    GpxReader(const GpxReader&) = delete;
    GpxReader& operator=(const GpxReader&) = delete;

    // False, with Error() saying what and on which line, for text that is not well-formed XML or
    // a point whose lat, lon, ele or time does not read; nothing more is taken after that.
    [[nodiscard]] bool Feed(std::string_view text, bool bLast);
    const std::vector<GpxPoint>& Points() const;
    const std::string& Error() const;

  private:
    struct Impl;
    std::unique_ptr<Impl> m_p;
};

// "2009-05-01T15:30:00Z" as GPX writes a time, with a fraction of a second ("...:00.250Z") or an
// offset ("+02:00") instead of the Z, and blanks around it. Nothing for other text.
std::optional<UtcMillis> ParseGpxTime(std::string_view text);

// The points of a GPX file; false with a message naming the file when it cannot be read, is no
// GPX or has no track point with a time.
[[nodiscard]] bool LoadGpxFile(const std::string& strPath, std::vector<GpxPoint>& points,
                               std::string& strError);
