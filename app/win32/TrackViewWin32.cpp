#include "TrackViewWin32.h"

#include <windowsx.h>

#include <cmath>

#include "platform/Text.h"

namespace {

constexpr wchar_t kClassName[] = L"QuorvelTrackView";
// Posted by the tile fetchers when a tile is ready (or failed).
constexpr UINT kTilesArrived = WM_APP + 0x51;

MapTileOptions& DefaultMapOptions() {
    static MapTileOptions options = [] {
        MapTileOptions disabled;
        disabled.bEnabled = false;
        return disabled;
    }();
    return options;
}

COLORREF ToColorRef(PlotColor c) {
    return RGB(c.r, c.g, c.b);
}

// A pen selected for the lifetime of the object.
class SelectedPen {
  public:
    SelectedPen(HDC hDc, int nStyle, int nWidth, PlotColor color)
        : m_hDc(hDc), m_hPen(::CreatePen(nStyle, nWidth, ToColorRef(color))) {
        m_hOld = ::SelectObject(hDc, m_hPen);
    }
    ~SelectedPen() {
        ::SelectObject(m_hDc, m_hOld);
        ::DeleteObject(m_hPen);
    }
    SelectedPen(const SelectedPen&) = delete;
    SelectedPen& operator=(const SelectedPen&) = delete;

  private:
    HDC m_hDc;
    HPEN m_hPen;
    HGDIOBJ m_hOld;
};

void PaintTilesGdi(HDC hDc, const MapViewport& view, const GdiTileLookup& tiles) {
    if (!tiles) return;
    const int nSaved = ::SaveDC(hDc);
    ::IntersectClipRect(hDc, view.rect.x, view.rect.y, view.rect.x + view.rect.cx,
                        view.rect.y + view.rect.cy);
    // Scaled tiles are smoothed; at their own size they are copied.
    ::SetStretchBltMode(hDc, HALFTONE);
    ::SetBrushOrgEx(hDc, 0, 0, nullptr);
    for (const TilePlacement& tile :
         TilesInView(view.left, view.top, view.pixelsPerUnit, view.rect.cx, view.rect.cy)) {
        const TilePicture* pTile = tiles(tile.key);
        if (!pTile) continue;
        // Both edges rounded the same way, so that neighbours meet without a gap.
        const int x0 = view.rect.x + static_cast<int>(std::lround(tile.x));
        const int y0 = view.rect.y + static_cast<int>(std::lround(tile.y));
        const int x1 = view.rect.x + static_cast<int>(std::lround(tile.x + tile.size));
        const int y1 = view.rect.y + static_cast<int>(std::lround(tile.y + tile.size));
        BITMAPINFO info{};
        info.bmiHeader = {
            sizeof(BITMAPINFOHEADER), pTile->cx, -pTile->cy, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        ::StretchDIBits(hDc, x0, y0, x1 - x0, y1 - y0, 0, 0, pTile->cx, pTile->cy,
                        pTile->pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
    }
    ::RestoreDC(hDc, nSaved);
}

}  // namespace

PlotMetrics PlotMetricsOf(HDC hDc) {
    TEXTMETRICW metrics{};
    ::GetTextMetricsW(hDc, &metrics);
    // Measured on a screen context of its own, as texts are measured after this one is gone.
    const auto hFont = static_cast<HFONT>(::GetCurrentObject(hDc, OBJ_FONT));
    const auto TextWidth = [hFont](std::string_view text) {
        const std::wstring wide = WidenUtf8(std::string(text));
        const HDC hScreen = ::GetDC(nullptr);
        const HGDIOBJ hOld = ::SelectObject(hScreen, hFont);
        SIZE size{};
        ::GetTextExtentPoint32W(hScreen, wide.c_str(), static_cast<int>(wide.size()), &size);
        ::SelectObject(hScreen, hOld);
        ::ReleaseDC(nullptr, hScreen);
        return static_cast<int>(size.cx);
    };
    return {static_cast<int>(metrics.tmAveCharWidth), static_cast<int>(metrics.tmHeight),
            TextWidth};
}

void PaintPlotItemsGdi(HDC hDc, const std::vector<PlotItem>& items, const MapViewport& view,
                       const GdiTileLookup& tiles) {
    ::SetBkMode(hDc, TRANSPARENT);
    const HGDIOBJ hOldBrush = ::SelectObject(hDc, ::GetStockObject(NULL_BRUSH));
    std::vector<POINT> points;
    std::vector<DWORD> counts;
    for (const PlotItem& item : items) {
        const RECT rect{item.rect.x, item.rect.y, item.rect.x + item.rect.cx,
                        item.rect.y + item.rect.cy};
        switch (item.shape) {
            case PlotShape::FillRect:
                ::SetDCBrushColor(hDc, ToColorRef(item.color));
                ::FillRect(hDc, &rect, static_cast<HBRUSH>(::GetStockObject(DC_BRUSH)));
                break;
            case PlotShape::FrameRect: {
                const SelectedPen pen(hDc, PS_INSIDEFRAME, item.nWidth, item.color);
                ::Rectangle(hDc, rect.left, rect.top, rect.right, rect.bottom);
                break;
            }
            case PlotShape::Ring: {
                const SelectedPen pen(hDc, PS_INSIDEFRAME, item.nWidth, item.color);
                ::Ellipse(hDc, rect.left, rect.top, rect.right, rect.bottom);
                break;
            }
            case PlotShape::Polyline: {
                if (item.points.size() < 2) break;
                const SelectedPen pen(hDc, PS_SOLID, item.nWidth, item.color);
                points.clear();
                for (const PlotPoint& p : item.points) points.push_back({p.x, p.y});
                ::Polyline(hDc, points.data(), static_cast<int>(points.size()));
                break;
            }
            case PlotShape::Lines: {
                if (item.points.size() < 2) break;
                const SelectedPen pen(hDc, PS_SOLID, item.nWidth, item.color);
                points.clear();
                counts.clear();
                for (size_t i = 0; i + 1 < item.points.size(); i += 2) {
                    const PlotPoint a = item.points[i];
                    const PlotPoint b = item.points[i + 1];
                    // A thin pen leaves out a line's last pixel: one more makes the span whole.
                    // A wide one caps both ends itself, and a pixel more would stick out past a
                    // corner; a dot still needs a length to be drawn at all.
                    const bool bDot = a == b;
                    const bool bExtend = bDot || item.nWidth <= 1;
                    const int dx = bExtend ? (b.x > a.x ? 1 : b.x < a.x ? -1 : 0) : 0;
                    const int dy = bExtend ? (b.y > a.y ? 1 : b.y < a.y ? -1 : 0) : 0;
                    points.push_back({a.x, a.y});
                    points.push_back({b.x + dx, b.y + (bDot ? 1 : dy)});
                    counts.push_back(2);
                }
                ::PolyPolyline(hDc, points.data(), counts.data(),
                               static_cast<DWORD>(counts.size()));
                break;
            }
            case PlotShape::Text: {
                const std::wstring text = WidenUtf8(item.strText);
                ::SetTextColor(hDc, ToColorRef(item.color));
                const UINT nAlign = item.align == TextAlign::Center  ? TA_CENTER
                                    : item.align == TextAlign::Right ? TA_RIGHT
                                                                     : TA_LEFT;
                ::SetTextAlign(hDc, nAlign | TA_TOP | TA_NOUPDATECP);
                ::TextOutW(hDc, item.rect.x, item.rect.y, text.c_str(),
                           static_cast<int>(text.size()));
                break;
            }
            case PlotShape::Clip:
                ::SelectClipRgn(hDc, nullptr);
                if (item.rect.cx > 0 && item.rect.cy > 0)
                    ::IntersectClipRect(hDc, rect.left, rect.top, rect.right, rect.bottom);
                break;
            case PlotShape::Tiles:
                PaintTilesGdi(hDc, view, tiles);
                break;
        }
    }
    ::SelectClipRgn(hDc, nullptr);
    ::SelectObject(hDc, hOldBrush);
}

TrackViewWin32::TrackViewWin32(HINSTANCE hInstance, HWND hOwner, HFONT hFont) : m_hFont(hFont) {
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    if (!::GetClassInfoExW(hInstance, kClassName, &wc)) {
        wc.cbSize = sizeof wc;
        wc.style = CS_HREDRAW | CS_VREDRAW;
        wc.lpfnWndProc = &TrackViewWin32::WindowProc;
        wc.hInstance = hInstance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.lpszClassName = kClassName;
        ::RegisterClassExW(&wc);
    }
    m_hWnd = ::CreateWindowExW(0, kClassName, L"Track", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                               CW_USEDEFAULT, 900, 700, hOwner, nullptr, hInstance, this);
    SetMapOptions(DefaultMapOptions());
}

void TrackViewWin32::SetDefaultMapOptions(const MapTileOptions& options) {
    DefaultMapOptions() = options;
}

void TrackViewWin32::SetMapOptions(const MapTileOptions& options) {
    m_pTiles.reset();
    if (options.bEnabled && m_hWnd)
        m_pTiles = std::make_unique<WinHttpTileSource>(options, m_hWnd, kTilesArrived);
    m_plot.SetMapTiles(m_pTiles != nullptr, options.strAttribution);
    m_plot.SetMapNotice({});
    Rebuild();
}

void TrackViewWin32::Rebuild() {
    m_bStale = true;
    m_nHover.reset();
    DropPicture();
    if (m_hWnd) ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

void TrackViewWin32::OnTilesArrived() {
    if (!m_pTiles || !m_pTiles->Arrived()) return;
    // A notice is part of the items; a tile only of the picture.
    if (m_pTiles->Notice() != m_plot.MapNotice()) {
        m_plot.SetMapNotice(m_pTiles->Notice());
        m_bStale = true;
    }
    DropPicture();
    ::InvalidateRect(m_hWnd, nullptr, FALSE);
}

TrackViewWin32::~TrackViewWin32() {
    DropPicture();
    if (m_hWnd) ::DestroyWindow(m_hWnd);
}

void TrackViewWin32::DropPicture() {
    if (m_hPicture) ::DeleteObject(m_hPicture);
    m_hPicture = nullptr;
}

void TrackViewWin32::SetData(const TrackViewData& view) {
    m_plot.SetTrack(view.pImage);
    m_plot.SetSelection(view.selection);
    m_plot.SetZone(view.zone);
    std::wstring title = L"Track";
    const std::wstring path = WidenUtf8(view.strTitle);
    const size_t nSlash = path.find_last_of(L"\\/");
    if (!path.empty())
        title += L" - " + (nSlash == std::wstring::npos ? path : path.substr(nSlash + 1));
    if (m_hWnd) ::SetWindowTextW(m_hWnd, title.c_str());
    Rebuild();
}

void TrackViewWin32::SetPhotoPins(std::vector<PhotoPin> pins) {
    m_plot.SetPhotoPins(std::move(pins));
    Rebuild();
}

void TrackViewWin32::Show() {
    if (!m_hWnd) return;
    ::ShowWindow(m_hWnd, SW_SHOWNORMAL);
    ::SetForegroundWindow(m_hWnd);
}

LRESULT CALLBACK TrackViewWin32::WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam,
                                            LPARAM lParam) {
    if (nMessage == WM_NCCREATE) {
        const auto* pCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
        static_cast<TrackViewWin32*>(pCreate->lpCreateParams)->m_hWnd = hWnd;
    }
    auto* pView = reinterpret_cast<TrackViewWin32*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (!pView) return ::DefWindowProcW(hWnd, nMessage, wParam, lParam);
    return pView->OnMessage(nMessage, wParam, lParam);
}

LRESULT TrackViewWin32::OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam) {
    switch (nMessage) {
        case WM_PAINT:
            OnPaint();
            return 0;
        case WM_PRINTCLIENT:
            PaintClient(reinterpret_cast<HDC>(wParam));
            return 0;
        case kTilesArrived:
            OnTilesArrived();
            return 0;
        case WM_ERASEBKGND:
            return 1;  // the picture covers everything
        case WM_SIZE:
            DropPicture();
            m_nHover.reset();
            return 0;
        case WM_GETMINMAXINFO: {
            auto* pInfo = reinterpret_cast<MINMAXINFO*>(lParam);
            pInfo->ptMinTrackSize = {420, 360};
            return 0;
        }
        case WM_LBUTTONDOWN: {
            const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (m_plot.View().rect.Contains({at.x, at.y})) {
                m_dragFrom = at;
                ::SetCapture(m_hWnd);
            }
            return 0;
        }
        case WM_LBUTTONUP:
            m_dragFrom.reset();
            ::ReleaseCapture();
            return 0;
        case WM_CAPTURECHANGED:
            m_dragFrom.reset();
            return 0;
        case WM_MOUSEWHEEL: {
            POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            ::ScreenToClient(m_hWnd, &at);
            const int nSteps = GET_WHEEL_DELTA_WPARAM(wParam) / WHEEL_DELTA;
            if (nSteps == 0 || !m_plot.View().rect.Contains({at.x, at.y})) return 0;
            m_plot.ZoomBy(nSteps, {at.x, at.y});
            Rebuild();
            return 0;
        }
        case WM_MOUSEMOVE: {
            if (m_dragFrom && (wParam & MK_LBUTTON)) {
                const POINT at{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
                m_plot.PanBy(at.x - m_dragFrom->x, at.y - m_dragFrom->y);
                m_dragFrom = at;
                Rebuild();
                return 0;
            }
            if (!m_bTrackingLeave) {
                TRACKMOUSEEVENT track{sizeof track, TME_LEAVE, m_hWnd, 0};
                m_bTrackingLeave = ::TrackMouseEvent(&track) != FALSE;
            }
            const std::optional<uint32_t> nHover =
                m_plot.HitTest({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            if (nHover != m_nHover) {
                m_nHover = nHover;
                ::InvalidateRect(m_hWnd, nullptr, FALSE);
            }
            return 0;
        }
        case WM_MOUSELEAVE:
            m_bTrackingLeave = false;
            if (m_nHover) {
                m_nHover.reset();
                ::InvalidateRect(m_hWnd, nullptr, FALSE);
            }
            return 0;
        case WM_KEYDOWN: {
            const PlotRect& map = m_plot.View().rect;
            switch (wParam) {
                case VK_ESCAPE:
                    ::ShowWindow(m_hWnd, SW_HIDE);
                    return 0;
                case VK_ADD:
                case VK_OEM_PLUS:
                    m_plot.ZoomBy(1);
                    break;
                case VK_SUBTRACT:
                case VK_OEM_MINUS:
                    m_plot.ZoomBy(-1);
                    break;
                case VK_LEFT:
                    m_plot.PanBy(map.cx / 4, 0);
                    break;
                case VK_RIGHT:
                    m_plot.PanBy(-map.cx / 4, 0);
                    break;
                case VK_UP:
                    m_plot.PanBy(0, map.cy / 4);
                    break;
                case VK_DOWN:
                    m_plot.PanBy(0, -map.cy / 4);
                    break;
                case VK_HOME:
                    m_plot.FitToTrack();
                    break;
                default:
                    return 0;
            }
            Rebuild();
            return 0;
        }
        case WM_CLOSE:
            // Kept for the next time: the main window owns it and ends it.
            ::ShowWindow(m_hWnd, SW_HIDE);
            return 0;
        case WM_NCDESTROY:
            // The fetchers post to this window no more.
            m_pTiles.reset();
            ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
            m_hWnd = nullptr;
            return 0;
        default:
            return ::DefWindowProcW(m_hWnd, nMessage, wParam, lParam);
    }
}

void TrackViewWin32::OnPaint() {
    PAINTSTRUCT ps{};
    const HDC hDc = ::BeginPaint(m_hWnd, &ps);
    PaintClient(hDc);
    ::EndPaint(m_hWnd, &ps);
}

void TrackViewWin32::PaintClient(HDC hDc) {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const SIZE size{client.right, client.bottom};
    if (size.cx <= 0 || size.cy <= 0) return;
    const HDC hMemory = ::CreateCompatibleDC(hDc);
    const HGDIOBJ hOldFont = ::SelectObject(hMemory, m_hFont);
    if (size.cx != m_pictureSize.cx || size.cy != m_pictureSize.cy) {
        DropPicture();
        m_bStale = true;
    }
    if (m_bStale) {
        m_pItems = &m_plot.Build(size.cx, size.cy, PlotMetricsOf(hMemory));
        m_bStale = false;
        DropPicture();
        // Only the tiles this view shows are asked for.
        if (m_pTiles) m_pTiles->Want(m_plot.TilesShown());
    }
    if (!m_hPicture) {
        m_hPicture = ::CreateCompatibleBitmap(hDc, size.cx, size.cy);
        m_pictureSize = size;
        const HGDIOBJ hOld = ::SelectObject(hMemory, m_hPicture);
        GdiTileLookup lookup;
        if (m_pTiles) lookup = [this](const TileKey& key) { return m_pTiles->Tile(key); };
        PaintPlotItemsGdi(hMemory, *m_pItems, m_plot.View(), lookup);
        ::SelectObject(hMemory, hOld);
    }
    // The pointer's marks go on a copy, so the picture stays clean for the next move.
    const HBITMAP hFrame = ::CreateCompatibleBitmap(hDc, size.cx, size.cy);
    const HGDIOBJ hOldFrame = ::SelectObject(hMemory, hFrame);
    const HDC hPicture = ::CreateCompatibleDC(hDc);
    const HGDIOBJ hOldPicture = ::SelectObject(hPicture, m_hPicture);
    ::BitBlt(hMemory, 0, 0, size.cx, size.cy, hPicture, 0, 0, SRCCOPY);
    ::SelectObject(hPicture, hOldPicture);
    ::DeleteDC(hPicture);
    if (m_nHover) PaintPlotItemsGdi(hMemory, m_plot.HoverItems(*m_nHover));
    ::BitBlt(hDc, 0, 0, size.cx, size.cy, hMemory, 0, 0, SRCCOPY);
    ::SelectObject(hMemory, hOldFrame);
    ::DeleteObject(hFrame);
    ::SelectObject(hMemory, hOldFont);
    ::DeleteDC(hMemory);
}
