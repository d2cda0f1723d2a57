// The Win32 track view's map under Wine, against the tile server wine_map_test.sh runs on
// 127.0.0.1: tiles fetched by WinHTTP and decoded by WIC land where web-mercator puts them in the
// map's viewport, come back from the disk cache while the server's expiry allows and when the
// server fails, and a failing server leaves a view that takes keys, with a grid and its reason.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>

#include "app/win32/TrackViewWin32.h"
#include "tests/common/TrackPictures.h"

namespace {

// The tiles' disk cache goes to the folder the script made for this run.
const bool g_bCacheSet =
    ::SetEnvironmentVariableW(L"LOCALAPPDATA", _wgetenv(L"QUORVEL_TILE_CACHE")) != FALSE;

std::string Server(const char* pszVariable, const std::string& strMode) {
    const char* psz = std::getenv(pszVariable);
    return std::string(psz ? psz : "http://127.0.0.1:1") + "/" + strMode + "/{z}/{x}/{y}.png";
}

std::unique_ptr<TrackViewWin32> Open(const std::string& strUrl, int nTimeoutMs = 10000) {
    MapTileOptions options;
    options.SetUrl(strUrl);
    options.nTimeoutMs = nTimeoutMs;
    auto pView =
        std::make_unique<TrackViewWin32>(::GetModuleHandleW(nullptr), nullptr,
                                         static_cast<HFONT>(::GetStockObject(DEFAULT_GUI_FONT)));
    pView->SetMapOptions(options);
    ::SetWindowPos(pView->Window(), nullptr, 0, 0, 720, 600, SWP_NOMOVE | SWP_NOZORDER);
    auto pData = std::make_unique<uint8_t[]>(2 * kFixRecordSize);
    EncodeFixRecord(track_pictures::At(47.36, 8.52, 2, 0), pData.get());
    EncodeFixRecord(track_pictures::At(47.39, 8.56, 2, 1), pData.get() + kFixRecordSize);
    pView->SetData({std::make_shared<RawLogImage>(std::move(pData), 2u),
                    {kSelectAll, 0, 0, 0, false},
                    {},
                    "z.dlg"});
    return pView;
}

// The share of sample points of the map, as the window paints it (WM_PRINTCLIENT into a DIB),
// whose pixel has the colour of the tile web-mercator puts there: red 12 per level (plus 5 once
// served again), green x, blue y.
double TilesInPlace(const TrackViewWin32& view, int nServed) {
    RECT client{};
    ::GetClientRect(view.Window(), &client);
    const HDC hDc = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {
        sizeof(BITMAPINFOHEADER), client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    const HBITMAP hBitmap = ::CreateDIBSection(hDc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    const HGDIOBJ hOld = ::SelectObject(hDc, hBitmap);
    ::SendMessageW(view.Window(), WM_PRINTCLIENT, reinterpret_cast<WPARAM>(hDc), PRF_CLIENT);
    ::GdiFlush();
    const MapViewport& map = view.Plot().View();
    int nMatch = 0;
    for (int i = 0; i < 12 * 7; ++i) {
        const int x = map.rect.x + 2 + (map.rect.cx - 4) * (i % 12) / 11;
        const int y = map.rect.y + map.rect.cy * (i / 12 + 1) / 8;
        const uint32_t c = static_cast<const uint32_t*>(pBits)[y * client.right + x] & 0xffffff;
        const int z = int(c >> 16) / 12;
        const double n = std::ldexp(1.0, z) / map.pixelsPerUnit;
        const uint32_t tx =
            uint32_t(std::floor((map.left * map.pixelsPerUnit + x + 0.5 - map.rect.x) * n));
        const uint32_t ty =
            uint32_t(std::floor((map.top * map.pixelsPerUnit + y + 0.5 - map.rect.y) * n));
        nMatch += c == (uint32_t(z * 12 + 5 * nServed) << 16 | (tx & 255) << 8 | (ty & 255));
    }
    ::SelectObject(hDc, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hDc);
    return nMatch / 84.0;
}

bool HasText(const TrackViewWin32& view, const std::string& strText) {
    return std::ranges::any_of(view.Items(), [&](const PlotItem& item) {
        return item.shape == PlotShape::Text && item.strText.find(strText) != std::string::npos;
    });
}

// Runs the window's messages until the condition holds; false after 20 s without.
template <class Condition>
bool PumpUntil(Condition done) {
    const ULONGLONG nEnd = ::GetTickCount64() + 20000;
    while (!done()) {
        if (::GetTickCount64() > nEnd) return false;
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageW(&msg);
    }
    return true;
}

// The second view of a server finds its tiles in the cache: still fresh (served again they
// would be other colours), expired (so asked for again), or expired with the server failing.
TEST(Win32Map, TilesInPlaceThenFromTheCacheAsTheServerSaid) {
    const struct {
        const char* pszMode;
        int nSecondServed;
    } cases[] = {{"fresh", 0}, {"stale", 1}, {"once", 0}};
    for (const auto& c : cases) {
        auto pView = Open(Server("QUORVEL_TILE_SERVER", c.pszMode));
        EXPECT_TRUE(PumpUntil([&] { return TilesInPlace(*pView, 0) > 0.95; })) << c.pszMode;
        EXPECT_TRUE(HasText(*pView, "Map tiles: http://127.0.0.1")) << c.pszMode;
        pView = Open(Server("QUORVEL_TILE_SERVER", c.pszMode));
        EXPECT_TRUE(PumpUntil([&] { return TilesInPlace(*pView, c.nSecondServed) > 0.95; }))
            << c.pszMode;
        EXPECT_FALSE(HasText(*pView, "unavailable")) << c.pszMode;
    }
}

// Keys still zoom while tiles fail; a grid with its degrees stands in for them.
TEST(Win32Map, FailingServersLeaveAResponsiveViewWithItsReason) {
    const struct {
        std::string strUrl;
        int nTimeoutMs;
        const char* pszNotice;
    } cases[] = {
        {Server("QUORVEL_TILE_SERVER", "e500"), 10000, "the server answered HTTP 500"},
        {Server("QUORVEL_TILE_SERVER", "broken"), 10000, "a tile could not be read"},
        {Server("QUORVEL_TILE_SERVER", "stall"), 500, "the server did not answer in time"},
        {Server("QUORVEL_DEAD_SERVER", "fresh"), 10000, "connection refused"},
    };
    for (const auto& c : cases) {
        auto pView = Open(c.strUrl, c.nTimeoutMs);
        const std::string strNotice = std::string("Map tiles unavailable: ") + c.pszNotice;
        TilesInPlace(*pView, 0);  // paints, which asks for the tiles
        ::PostMessageW(pView->Window(), WM_KEYDOWN, VK_ADD, 0);
        EXPECT_TRUE(PumpUntil([&] {
            TilesInPlace(*pView, 0);
            return !pView->Plot().IsFitted() && HasText(*pView, strNotice);
        })) << pView->Plot().MapNotice();
        EXPECT_TRUE(HasText(*pView, "\xC2\xB0 N") && HasText(*pView, "\xC2\xB0 E")) << c.pszNotice;
        ::PostMessageW(pView->Window(), WM_KEYDOWN, VK_HOME, 0);
        EXPECT_TRUE(PumpUntil([&] { return pView->Plot().IsFitted(); })) << c.pszNotice;
    }
}

}  // namespace
