#include <windows.h>

#include <shellapi.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "IniSettingsStore.h"
#include "QuorvelApp.h"
#include "QuorvelVersion.h"
#include "TrackViewWin32.h"
#include "app/MapTiles.h"
#include "platform/Text.h"

namespace {

constexpr char kUsage[] = "Usage: quorvel [--tile-url TEMPLATE] [raw-log.dlg]\r\n";

// A window program has no console of its own: what it has to say goes to a redirected standard
// output (or error), else to the console it was started from, else into a box.
void Say(const std::string& text, bool bError) {
    HANDLE hOut = ::GetStdHandle(bError ? STD_ERROR_HANDLE : STD_OUTPUT_HANDLE);
    if ((hOut == nullptr || hOut == INVALID_HANDLE_VALUE) &&
        ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        hOut = ::CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                             nullptr);
    }
    DWORD nWritten = 0;
    if (hOut != nullptr && hOut != INVALID_HANDLE_VALUE &&
        ::WriteFile(hOut, text.data(), static_cast<DWORD>(text.size()), &nWritten, nullptr)) {
        return;
    }
    ::MessageBoxW(nullptr, WidenUtf8(text).c_str(), L"Quorvel",
                  MB_OK | (bError ? MB_ICONERROR : MB_ICONINFORMATION));
}

}  // namespace

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE, LPSTR, int) {
    // The UTF-16 command line keeps any name intact.
    std::vector<std::string> arguments;
    int nArgs = 0;
    if (LPWSTR* pArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs)) {
        for (int i = 1; i < nArgs; ++i) arguments.push_back(NarrowToUtf8(pArgs[i]));
        ::LocalFree(pArgs);
    }
    // "quorvel track.dlg": the file opens at start. An option nobody knows is refused rather
    // than taken for a file.
    std::string strStartupFile;
    std::optional<std::string> strTileUrl;
    bool bOptions = true;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string_view arg = arguments[i];
        if (bOptions && arg == "--version") {
            Say(std::string("quorvel ") + kQuorvelVersion + "\r\n", false);
            return 0;
        } else if (bOptions && (arg == "--help" || arg == "-h")) {
            Say(std::string(kUsage) +
                    "The Quorvel window: download, erase and configure a GPS track logger on a\r\n"
                    "serial port, and translate its raw logs (.dlg) into KML or CSV. A raw log\r\n"
                    "named here is opened at start.\r\n\r\n"
                    "Options:\r\n"
                    "  --tile-url TEMPLATE  Map tiles for the track view from this server for "
                    "this\r\n"
                    "                       run, e.g. "
                    "https://tile.openstreetmap.org/{z}/{x}/{y}.png\r\n"
                    "  -h, --help           Show this help and exit\r\n"
                    "  --version            Show the version and exit\r\n",
                false);
            return 0;
        } else if (bOptions && arg == "--") {
            bOptions = false;
        } else if (bOptions && arg == "--tile-url" && i + 1 < arguments.size()) {
            strTileUrl = arguments[++i];
        } else if (bOptions && arg.starts_with("--tile-url=")) {
            strTileUrl = std::string(arg.substr(11));
        } else if (bOptions && arg.starts_with("-")) {
            Say("quorvel: unknown option " + std::string(arg) + "\r\n" + kUsage, true);
            return 2;
        } else if (strStartupFile.empty()) {
            strStartupFile = arg;
        }
    }
    MapTileOptions tiles = ReadMapTileOptions(IniSettingsStore());
    if (strTileUrl) {
        tiles.SetUrl(*strTileUrl);
        tiles.bEnabled = true;
    }
    TrackViewWin32::SetDefaultMapOptions(tiles);
    CQuorvelApp app(hInstance);
    app.m_strStartupFile = strStartupFile;
    static_cast<void>(app.InitInstance());
    return 0;
}
