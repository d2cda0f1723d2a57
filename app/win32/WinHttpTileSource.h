#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "app/MapTiles.h"

// A decoded tile: 32-bit BGRA pixels, top row first, as StretchDIBits takes them.
struct TilePicture {
    int cx = 0;
    int cy = 0;
    std::vector<uint32_t> pixels;
};

// Map tiles over HTTP as a tile server's usage policy asks: a User-Agent naming the program, at
// most two connections, only the tiles in view, and a disk cache (a file per tile under
// %LOCALAPPDATA%\Quorvel\tiles) that honours the server's expiry, keeps tiles a week when the
// server says nothing, and answers when the server does not. WinHTTP and the PNG decoder run on
// threads of their own, one per connection; the window's thread only takes what they post.
class WinHttpTileSource {
  public:
    // Each finished tile is announced to hWnd with nMessage, on which the window calls Arrived.
    WinHttpTileSource(const MapTileOptions& options, HWND hWnd, UINT nMessage,
                      const std::wstring& strCacheFolder = DefaultCacheFolder());
    // Returns at once: a fetch under way ends on its own thread and its result is dropped.
    ~WinHttpTileSource();
    WinHttpTileSource(const WinHttpTileSource&) = delete;
    WinHttpTileSource& operator=(const WinHttpTileSource&) = delete;

    // The tiles a view shows now, nearest its centre first.
    void Want(const std::vector<TileKey>& keys);
    // Takes the finished tiles into memory; true when a tile or the notice changed.
    bool Arrived();
    // A tile in memory, or null.
    const TilePicture* Tile(const TileKey& key);
    // Why tiles are missing ("Map tiles unavailable: connection refused"), or empty.
    const std::string& Notice() const { return m_strNotice; }

    // %LOCALAPPDATA%\Quorvel\tiles; the variable moves it, as it does for every program.
    static std::wstring DefaultCacheFolder();

  private:
    struct Shared;  // what the fetching threads share with the window's thread

    void StartNext();

    std::shared_ptr<Shared> m_pShared;
    TileQueue m_queue;
    TileLru m_lru;
    std::unordered_map<TileKey, TilePicture, TileKeyHash> m_tiles;
    std::vector<TileKey> m_wanted;
    std::string m_strNotice;
};
