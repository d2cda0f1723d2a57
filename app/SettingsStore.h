#pragma once

#include <optional>
#include <string>

// Where the window keeps what the user set between runs: QSettings on Linux, an INI file in the
// user's application-data folder on Windows. Values are UTF-8 text.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    // Nothing when the key was never written.
    virtual std::optional<std::string> Read(const std::string& strKey) const = 0;
    virtual void Write(const std::string& strKey, const std::string& strValue) = 0;
};

// The keys the window uses.
namespace settings_key {
inline constexpr char kPort[] = "Port";
inline constexpr char kSpeed[] = "Speed";
inline constexpr char kTimeZone[] = "TimeZone";
inline constexpr char kDropNoFix[] = "DropNoFix";
inline constexpr char kSelectMode[] = "SelectMode";
inline constexpr char kOpenFolder[] = "OpenFolder";
inline constexpr char kDownloadFolder[] = "DownloadFolder";
inline constexpr char kOutputFolder[] = "OutputFolder";
// The track view's map: "0" shows no tiles; the tile server's address with {z}/{x}/{y}.
inline constexpr char kMapTiles[] = "MapTiles";
inline constexpr char kTileUrl[] = "TileUrl";
}  // namespace settings_key
