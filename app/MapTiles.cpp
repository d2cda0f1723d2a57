#include "MapTiles.h"

#include <algorithm>
#include <cmath>

#include "SettingsStore.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

bool Contains(const std::vector<TileKey>& keys, const TileKey& key) {
    return std::find(keys.begin(), keys.end(), key) != keys.end();
}

}  // namespace

namespace mercator {

double XOfLongitude(double lon) {
    return (lon + 180.0) / 360.0;
}

double YOfLatitude(double lat) {
    const double phi = std::clamp(lat, -kMaxLatitude, kMaxLatitude) * kPi / 180.0;
    return (1.0 - std::log(std::tan(kPi / 4 + phi / 2)) / kPi) / 2.0;
}

double LongitudeOfX(double x) {
    return x * 360.0 - 180.0;
}

double LatitudeOfY(double y) {
    return std::atan(std::sinh(kPi * (1.0 - 2.0 * y))) * 180.0 / kPi;
}

}  // namespace mercator

int TileZoomForScale(double pixelsPerUnit) {
    const double level = std::log2(std::max(pixelsPerUnit, 1.0) / mercator::kTileSize);
    return std::clamp(static_cast<int>(std::lround(level)), 0, mercator::kMaxZoom);
}

std::vector<TilePlacement> TilesInView(double left, double top, double pixelsPerUnit, int cx,
                                       int cy) {
    std::vector<TilePlacement> tiles;
    if (cx <= 0 || cy <= 0 || !(pixelsPerUnit > 0)) return tiles;
    const int z = TileZoomForScale(pixelsPerUnit);
    const int64_t nTiles = int64_t{1} << z;
    const double tileUnits = 1.0 / static_cast<double>(nTiles);
    const double size = tileUnits * pixelsPerUnit;
    const auto First = [&](double v) { return static_cast<int64_t>(std::floor(v / tileUnits)); };
    const int64_t x0 = First(left), x1 = First(left + cx / pixelsPerUnit);
    const int64_t y0 = std::max<int64_t>(0, First(top));
    const int64_t y1 = std::min<int64_t>(nTiles - 1, First(top + cy / pixelsPerUnit));
    for (int64_t ty = y0; ty <= y1; ++ty) {
        for (int64_t tx = x0; tx <= x1; ++tx) {
            const int64_t nWrapped = ((tx % nTiles) + nTiles) % nTiles;
            tiles.push_back({{z, static_cast<int>(nWrapped), static_cast<int>(ty)},
                             (static_cast<double>(tx) * tileUnits - left) * pixelsPerUnit,
                             (static_cast<double>(ty) * tileUnits - top) * pixelsPerUnit,
                             size});
        }
    }
    const auto Distance = [&](const TilePlacement& t) {
        const double dx = t.x + t.size / 2 - cx / 2.0, dy = t.y + t.size / 2 - cy / 2.0;
        return dx * dx + dy * dy;
    };
    std::stable_sort(
        tiles.begin(), tiles.end(),
        [&](const TilePlacement& a, const TilePlacement& b) { return Distance(a) < Distance(b); });
    return tiles;
}

std::string TileUrl(const std::string& strTemplate, const TileKey& key) {
    std::string strUrl;
    for (size_t i = 0; i < strTemplate.size(); ++i) {
        const std::string_view rest = std::string_view(strTemplate).substr(i);
        if (rest.starts_with("{z}")) {
            strUrl += std::to_string(key.z);
        } else if (rest.starts_with("{x}")) {
            strUrl += std::to_string(key.x);
        } else if (rest.starts_with("{y}")) {
            strUrl += std::to_string(key.y);
        } else {
            strUrl += strTemplate[i];
            continue;
        }
        i += 2;
    }
    return strUrl;
}

MapTileOptions ReadMapTileOptions(const SettingsStore& store) {
    MapTileOptions options;
    if (const auto strOn = store.Read(settings_key::kMapTiles)) options.bEnabled = *strOn != "0";
    if (const auto strUrl = store.Read(settings_key::kTileUrl); strUrl && !strUrl->empty())
        options.SetUrl(*strUrl);
    return options;
}

void MapTileOptions::SetUrl(std::string strTemplate) {
    strUrlTemplate = std::move(strTemplate);
    // Another server's tiles are not OpenStreetMap's unless they come from its address.
    strAttribution = strUrlTemplate.find("openstreetmap.org") != std::string::npos
                         ? kOsmAttribution
                         : "Map tiles: " + strUrlTemplate.substr(0, strUrlTemplate.find('{'));
}

std::vector<TileKey> TileQueue::ViewMoved(const std::vector<TileKey>& keys,
                                          const std::function<bool(const TileKey&)>& held) {
    std::vector<TileKey> missing;
    for (const TileKey& key : keys) {
        if (!held(key)) missing.push_back(key);
    }
    Retry();
    return Want(missing);
}

std::vector<TileKey> TileQueue::Want(const std::vector<TileKey>& keys) {
    m_waiting.clear();
    for (const TileKey& key : keys) {
        if (!IsOpen(key) && !HasFailed(key) && !Contains(m_waiting, key)) m_waiting.push_back(key);
    }
    std::vector<TileKey> cancel;
    for (const TileKey& key : m_open) {
        if (!Contains(keys, key)) cancel.push_back(key);
    }
    return cancel;
}

std::optional<TileKey> TileQueue::Next() {
    if (m_waiting.empty() || m_open.size() >= static_cast<size_t>(m_nMaxOpen)) return std::nullopt;
    const TileKey key = m_waiting.front();
    m_waiting.erase(m_waiting.begin());
    m_open.push_back(key);
    return key;
}

void TileQueue::Finished(const TileKey& key, bool bFailed) {
    std::erase(m_open, key);
    if (bFailed && !HasFailed(key)) m_failed.push_back(key);
}

bool TileQueue::IsOpen(const TileKey& key) const {
    return Contains(m_open, key);
}

bool TileQueue::HasFailed(const TileKey& key) const {
    return Contains(m_failed, key);
}

void TileLru::Touch(const TileKey& key) {
    const auto it = m_where.find(key);
    if (it != m_where.end()) m_order.splice(m_order.begin(), m_order, it->second);
}

std::vector<TileKey> TileLru::Insert(const TileKey& key, size_t nBytes) {
    if (const auto it = m_where.find(key); it != m_where.end()) {
        m_nBytes -= it->second->nBytes;
        m_order.erase(it->second);
        m_where.erase(it);
    }
    m_order.push_front({key, nBytes});
    m_where[key] = m_order.begin();
    m_nBytes += nBytes;
    std::vector<TileKey> dropped;
    // The newest stays, even alone over the limit.
    while (m_nBytes > m_nLimit && m_order.size() > 1) {
        const Entry& oldest = m_order.back();
        dropped.push_back(oldest.key);
        m_nBytes -= oldest.nBytes;
        m_where.erase(oldest.key);
        m_order.pop_back();
    }
    return dropped;
}
