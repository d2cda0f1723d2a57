#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

class SettingsStore;

// Web-mercator map tiles without a toolkit: the projection, which tiles a view needs, the
// address of a tile, and the two policies every fetcher shares (a queue that keeps few requests
// open and drops those that left the view, and a memory cache bounded in bytes). A view's
// fetcher (Qt's network access, later WinHTTP) only moves bytes and decodes pictures.

// The world is the unit square: x east from longitude -180, y south from latitude 85.0511
// (the latitude at which the square's projection ends).
namespace mercator {
inline constexpr double kMaxLatitude = 85.0511287798066;
inline constexpr int kTileSize = 256;  // pixels per tile side
inline constexpr int kMaxZoom = 19;    // the deepest level the common servers draw
double XOfLongitude(double lon);
double YOfLatitude(double lat);
double LongitudeOfX(double x);
double LatitudeOfY(double y);
}  // namespace mercator

struct TileKey {
    int z = 0;
    int x = 0;  // 0 .. 2^z - 1, wrapped around the globe
    int y = 0;
    friend bool operator==(const TileKey&, const TileKey&) = default;
};

struct TileKeyHash {
    size_t operator()(const TileKey& k) const {
        return std::hash<uint64_t>()(uint64_t(uint32_t(k.z)) << 58 ^ uint64_t(uint32_t(k.x)) << 29 ^
                                     uint64_t(uint32_t(k.y)));
    }
};

// Where a tile lands in a view: its key and the pixel rectangle it covers (it may be scaled when
// the view's scale lies between two levels). A tile shown twice (a wide view of the whole world)
// has one placement per copy.
struct TilePlacement {
    TileKey key;
    double x = 0;
    double y = 0;
    double size = 0;
};

// The tile level drawn at a scale of pixels per world unit: the nearest, within the servers'.
int TileZoomForScale(double pixelsPerUnit);

// The tiles that cover a view of cx by cy pixels whose top left corner shows world point
// (left, top) at pixelsPerUnit; nearest the view's centre first, so that a fetcher starts there.
std::vector<TilePlacement> TilesInView(double left, double top, double pixelsPerUnit, int cx,
                                       int cy);

// "https://tile.openstreetmap.org/{z}/{x}/{y}.png" with the placeholders filled.
std::string TileUrl(const std::string& strTemplate, const TileKey& key);

// OpenStreetMap's standard layer and the notice its tile usage policy asks for on the map.
inline constexpr char kDefaultTileUrl[] = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";
inline constexpr char kOsmAttribution[] = "\xC2\xA9 OpenStreetMap contributors";

struct MapTileOptions {
    bool bEnabled = true;
    std::string strUrlTemplate = kDefaultTileUrl;
    std::string strAttribution = kOsmAttribution;
    int nTimeoutMs = 10000;           // a stalled server gives up after this
    int nMaxConnections = 2;          // the usage policy's limit per client
    size_t nMemoryBytes = 48u << 20;  // decoded tiles kept in memory

    // Another server: its address becomes the attribution unless it is OpenStreetMap's.
    void SetUrl(std::string strTemplate);
};

// The map settings the user keeps (settings_key::kMapTiles, settings_key::kTileUrl).
MapTileOptions ReadMapTileOptions(const SettingsStore& store);

// The requests of a fetcher: the tiles wanted now in the order given, at most n open at a time.
// A tile that left the view before its turn is never fetched; one being fetched is reported to
// the fetcher to cancel. Failed tiles are not asked for again until Retry.
class TileQueue {
  public:
    explicit TileQueue(int nMaxOpen = 2) : m_nMaxOpen(nMaxOpen) {}

    // The tiles the view needs and has not got; returns those open that it no longer needs.
    std::vector<TileKey> Want(const std::vector<TileKey>& keys);
    // The view moved and shows these tiles, of which it holds those `held` names: the others
    // are wanted, and tiles that failed get another chance. Returns, as Want, those open that it
    // no longer needs.
    std::vector<TileKey> ViewMoved(const std::vector<TileKey>& keys,
                                   const std::function<bool(const TileKey&)>& held);
    // The next tile to request, when fewer than the limit are open; it counts as open.
    std::optional<TileKey> Next();
    // An open request ended (arrived, failed or cancelled).
    void Finished(const TileKey& key, bool bFailed);
    // Tiles that failed may be asked for again (the view moved, or the user asked).
    void Retry() { m_failed.clear(); }
    size_t OpenCount() const { return m_open.size(); }

  private:
    bool IsOpen(const TileKey& key) const;
    bool HasFailed(const TileKey& key) const;

    int m_nMaxOpen;
    std::vector<TileKey> m_waiting;
    std::vector<TileKey> m_open;
    std::vector<TileKey> m_failed;
};

// Which decoded tiles stay in memory: the least recently used go first once their bytes pass
// the limit. The owner keeps the pictures and drops the keys Insert returns.
class TileLru {
  public:
    explicit TileLru(size_t nLimitBytes) : m_nLimit(nLimitBytes) {}

    // A tile was drawn: it becomes the most recent.
    void Touch(const TileKey& key);
    // A tile of n bytes was added; returns the tiles to drop.
    std::vector<TileKey> Insert(const TileKey& key, size_t nBytes);
    size_t Bytes() const { return m_nBytes; }

  private:
    struct Entry {
        TileKey key;
        size_t nBytes;
    };
    size_t m_nLimit;
    size_t m_nBytes = 0;
    std::list<Entry> m_order;  // most recent first
    std::unordered_map<TileKey, std::list<Entry>::iterator, TileKeyHash> m_where;
};
