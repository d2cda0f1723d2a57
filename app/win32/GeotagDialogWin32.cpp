#include "GeotagDialogWin32.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "platform/Text.h"
#include "track/TimeZone.h"

namespace {

constexpr wchar_t kClassName[] = L"QuorvelGeotag";
constexpr UINT kTaskMessage = WM_APP + 7;

std::wstring Wide(const std::string& str) {
    return WidenUtf8(str);
}

}  // namespace

GeotagDialogWin32::GeotagDialogWin32(HINSTANCE hInstance, HWND hOwner, HFONT hFont,
                                     std::shared_ptr<const RawLogImage> pTrack,
                                     const std::string& strZone)
    : m_tasks(kTaskMessage), m_job(std::move(pTrack), [this](std::function<void()> task) {
          m_tasks.Post(m_hWnd, std::move(task));
      }) {
    static const ATOM atom = [hInstance] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof wc;
        wc.lpfnWndProc = &GeotagDialogWin32::WindowProc;
        wc.hInstance = hInstance;
        wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
        wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
        wc.lpszClassName = kClassName;
        return ::RegisterClassExW(&wc);
    }();
    static_cast<void>(atom);
    m_hWnd = ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, L"Geotag photos",
                               WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT,
                               920, 540, hOwner, nullptr, hInstance, this);
    if (m_hWnd == nullptr) return;
    CreateControls(hFont, strZone);
    Layout();
    m_job.onProgress = [this](size_t nDone, size_t nTotal) {
        ::SendMessageW(Item(kProgress), PBM_SETRANGE32, 0, static_cast<LPARAM>(nTotal));
        ::SendMessageW(Item(kProgress), PBM_SETPOS, nDone, 0);
    };
    m_job.onFinished = [this](const GeotagReport& report) { Finish(report); };
    ::ShowWindow(m_hWnd, SW_SHOW);
}

GeotagDialogWin32::~GeotagDialogWin32() {
    m_job.Stop();
    if (m_hWnd != nullptr) {
        ::SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        ::DestroyWindow(m_hWnd);
    }
}

LRESULT CALLBACK GeotagDialogWin32::WindowProc(HWND hWnd, UINT nMessage, WPARAM wParam,
                                               LPARAM lParam) {
    if (nMessage == WM_NCCREATE) {
        const auto* pCreate = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        ::SetWindowLongPtrW(hWnd, GWLP_USERDATA,
                            reinterpret_cast<LONG_PTR>(pCreate->lpCreateParams));
        static_cast<GeotagDialogWin32*>(pCreate->lpCreateParams)->m_hWnd = hWnd;
    }
    auto* pDialog = reinterpret_cast<GeotagDialogWin32*>(::GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    return pDialog ? pDialog->OnMessage(nMessage, wParam, lParam)
                   : ::DefWindowProcW(hWnd, nMessage, wParam, lParam);
}

LRESULT GeotagDialogWin32::OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam) {
    switch (nMessage) {
        case WM_SIZE:
            Layout();
            return 0;
        case WM_COMMAND:
            OnCommand(LOWORD(wParam), HIWORD(wParam));
            return 0;
        case WM_CLOSE:
            // The photos under way are finished, no other is begun; the window only hides, its
            // owner destroys it when it is opened again.
            m_job.Stop();
            SetRunning(false);
            ::ShowWindow(m_hWnd, SW_HIDE);
            return 0;
        case kTaskMessage:
            m_tasks.RunNext();
            return 0;
        default:
            return ::DefWindowProcW(m_hWnd, nMessage, wParam, lParam);
    }
}

void GeotagDialogWin32::CreateControls(HFONT hFont, const std::string& strZone) {
    const auto make = [this, hFont](const wchar_t* pszClass, const wchar_t* pszText, DWORD dwStyle,
                                    int nId, DWORD dwExStyle = 0) {
        const HWND hControl = ::CreateWindowExW(
            dwExStyle, pszClass, pszText, WS_CHILD | WS_VISIBLE | dwStyle, 0, 0, 10, 10, m_hWnd,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(nId)), nullptr, nullptr);
        ::SendMessageW(hControl, WM_SETFONT, reinterpret_cast<WPARAM>(hFont), FALSE);
        return hControl;
    };
    make(L"STATIC", L"Photos' folder", 0, 1);
    make(L"EDIT", L"", WS_TABSTOP | ES_AUTOHSCROLL, kFolder, WS_EX_CLIENTEDGE);
    make(L"BUTTON", L"Browse...", WS_TABSTOP | BS_PUSHBUTTON, kBrowse);
    make(L"BUTTON", L"Include subfolders", WS_TABSTOP | BS_AUTOCHECKBOX, kSubfolders);
    make(L"STATIC", L"Camera's zone", 0, 2);
    // The window's list of zones, and its zone to start with: a camera set to the zone the user
    // reads the track in is the common case.
    const HWND hZone =
        make(WC_COMBOBOXW, L"", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWN | CBS_AUTOHSCROLL, kZone);
    for (int i = 0; i < kTimeZoneCount; ++i) {
        ::SendMessageW(hZone, CB_ADDSTRING, 0,
                       reinterpret_cast<LPARAM>(Wide(TimeZoneText(TimeZoneOffsetAt(i))).c_str()));
    }
    make(L"STATIC", L"Camera offset", 0, 3);
    make(L"EDIT", L"0", WS_TABSTOP | ES_AUTOHSCROLL, kOffset, WS_EX_CLIENTEDGE);
    make(L"STATIC", L"Max gap (s)", 0, 4);
    make(L"EDIT", L"300", WS_TABSTOP | ES_NUMBER, kMaxGap, WS_EX_CLIENTEDGE);
    make(L"BUTTON", L"Replace positions photos already have", WS_TABSTOP | BS_AUTOCHECKBOX,
         kOverwrite);
    const HWND hTable = make(WC_LISTVIEWW, L"", WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS, kTable,
                             WS_EX_CLIENTEDGE);
    ::SendMessageW(hTable, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (size_t i = 0; i < kGeotagColumns.size(); ++i) {
        std::wstring heading = Wide(kGeotagColumns[i]);
        LVCOLUMNW column{};
        column.mask = LVCF_TEXT | LVCF_WIDTH;
        column.cx = i == 0 ? 160 : 120;
        column.pszText = heading.data();
        ::SendMessageW(hTable, LVM_INSERTCOLUMNW, i, reinterpret_cast<LPARAM>(&column));
    }
    make(PROGRESS_CLASSW, L"", 0, kProgress);
    make(L"STATIC", L"", SS_LEFT, kSummary);
    make(L"BUTTON", L"Preview", WS_TABSTOP | BS_PUSHBUTTON, kPreview);
    make(L"BUTTON", L"Write", WS_TABSTOP | BS_PUSHBUTTON | WS_DISABLED, kWrite);
    make(L"BUTTON", L"Close", WS_TABSTOP | BS_PUSHBUTTON, kClose);
    m_bFilling = true;
    SetText(kZone, strZone);
    m_bFilling = false;
}

void GeotagDialogWin32::Layout() {
    RECT client{};
    ::GetClientRect(m_hWnd, &client);
    const int w = client.right, h = client.bottom;
    constexpr int kMargin = 10, kRow = 26, kLine = 22, kLabel = 110, kButton = 90;
    const int x = kMargin + kLabel;
    const auto place = [this](int nId, int nX, int nY, int nW, int nH) {
        ::MoveWindow(Item(nId), nX, nY, std::max(nW, 10), std::max(nH, 10), TRUE);
    };
    int y = kMargin;
    place(1, kMargin, y + 3, kLabel, kLine);
    place(kFolder, x, y, w - x - kButton - 2 * kMargin, kLine);
    place(kBrowse, w - kMargin - kButton, y, kButton, kLine);
    place(kSubfolders, x, y += kRow, 300, kLine);
    place(2, kMargin, (y += kRow) + 3, kLabel, kLine);
    place(kZone, x, y, 260, 300);
    place(3, kMargin, (y += kRow) + 3, kLabel, kLine);
    place(kOffset, x, y, 120, kLine);
    place(4, kMargin, (y += kRow) + 3, kLabel, kLine);
    place(kMaxGap, x, y, 80, kLine);
    place(kOverwrite, x, y += kRow, 400, kLine);
    y += kRow + 4;
    const int nBottom = h - kMargin - kLine;  // the buttons' row
    const int nSummary = nBottom - 8 - 2 * 16;
    const int nProgress = nSummary - 6 - 16;
    place(kTable, kMargin, y, w - 2 * kMargin, nProgress - 6 - y);
    place(kProgress, kMargin, nProgress, w - 2 * kMargin, 16);
    place(kSummary, kMargin, nSummary, w - 2 * kMargin, 2 * 16);
    place(kClose, w - kMargin - kButton, nBottom, kButton, kLine);
    place(kWrite, w - kMargin - 2 * kButton - 6, nBottom, kButton, kLine);
    place(kPreview, w - kMargin - 3 * kButton - 12, nBottom, kButton, kLine);
}

void GeotagDialogWin32::OnCommand(int nId, int nCode) {
    switch (nId) {
        case kBrowse:
            if (nCode == BN_CLICKED) Browse();
            return;
        case kPreview:
            if (nCode == BN_CLICKED) Started(m_job.Preview(Fields()));
            return;
        case kWrite:
            if (nCode == BN_CLICKED) Started(m_job.Write(Fields()));
            return;
        case kClose:
            if (nCode != BN_CLICKED) return;
            if (m_job.IsRunning()) {
                m_job.Cancel();
            } else {
                ::SendMessageW(m_hWnd, WM_CLOSE, 0, 0);
            }
            return;
        default:
            break;
    }
    // A field changed after a preview: its table no longer says what Write would do.
    const bool bChange = nCode == EN_CHANGE || nCode == CBN_EDITCHANGE || nCode == CBN_SELCHANGE ||
                         (nCode == BN_CLICKED && (nId == kSubfolders || nId == kOverwrite));
    if (bChange && !m_bFilling) {
        m_job.ForgetPreview();
        ::EnableWindow(Item(kWrite), FALSE);
    }
}

void GeotagDialogWin32::Browse() {
    const HRESULT hrCom = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    BROWSEINFOW info{};
    info.hwndOwner = m_hWnd;
    info.lpszTitle = L"Photos' folder";
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    if (PIDLIST_ABSOLUTE pidl = ::SHBrowseForFolderW(&info)) {
        wchar_t path[MAX_PATH] = {};
        if (::SHGetPathFromIDListW(pidl, path)) SetText(kFolder, NarrowToUtf8(path));
        ::CoTaskMemFree(pidl);
    }
    if (SUCCEEDED(hrCom)) ::CoUninitialize();
}

GeotagFields GeotagDialogWin32::Fields() const {
    GeotagFields fields;
    fields.strFolder = Text(kFolder);
    fields.bSubfolders = ::SendMessageW(Item(kSubfolders), BM_GETCHECK, 0, 0) == BST_CHECKED;
    fields.strZone = Text(kZone);
    fields.strOffset = Text(kOffset);
    fields.nMaxGapSeconds =
        static_cast<uint32_t>(std::clamp(std::atol(Text(kMaxGap).c_str()), 1L, 24L * 3600L));
    fields.bOverwrite = ::SendMessageW(Item(kOverwrite), BM_GETCHECK, 0, 0) == BST_CHECKED;
    return fields;
}

void GeotagDialogWin32::Started(const std::string& strStatus) {
    if (!strStatus.empty()) SetText(kSummary, strStatus);
    if (m_job.IsRunning()) SetRunning(true);
}

void GeotagDialogWin32::Finish(const GeotagReport& report) {
    SetRunning(false);
    SetText(kSummary, report.strSummary);
    if (!report.bLookedAt) return;
    ::SendMessageW(Item(kProgress), PBM_SETRANGE32, 0, 1);
    ::SendMessageW(Item(kProgress), PBM_SETPOS, 1, 0);
    const HWND hTable = Item(kTable);
    ::SendMessageW(hTable, WM_SETREDRAW, FALSE, 0);
    ::SendMessageW(hTable, LVM_DELETEALLITEMS, 0, 0);
    for (size_t i = 0; i < report.rows.size(); ++i) {
        for (size_t nColumn = 0; nColumn < report.rows[i].size(); ++nColumn) {
            std::wstring text = Wide(report.rows[i][nColumn]);
            LVITEMW item{};
            item.mask = LVIF_TEXT;
            item.iItem = static_cast<int>(i);
            item.iSubItem = static_cast<int>(nColumn);
            item.pszText = text.data();
            ::SendMessageW(hTable, nColumn == 0 ? LVM_INSERTITEMW : LVM_SETITEMTEXTW, i,
                           reinterpret_cast<LPARAM>(&item));
        }
    }
    for (size_t nColumn = 0; nColumn < kGeotagColumns.size(); ++nColumn) {
        ::SendMessageW(hTable, LVM_SETCOLUMNWIDTH, nColumn, LVSCW_AUTOSIZE_USEHEADER);
    }
    ::SendMessageW(hTable, WM_SETREDRAW, TRUE, 0);
    ::InvalidateRect(hTable, nullptr, TRUE);
    ::EnableWindow(Item(kWrite), m_job.CanWrite() ? TRUE : FALSE);
    if (m_pinsReceiver) m_pinsReceiver(report.pins);
}

void GeotagDialogWin32::SetRunning(bool bRunning) {
    for (int nId : {kFolder, kBrowse, kSubfolders, kZone, kOffset, kMaxGap, kOverwrite, kPreview}) {
        ::EnableWindow(Item(nId), bRunning ? FALSE : TRUE);
    }
    if (bRunning) {
        ::EnableWindow(Item(kWrite), FALSE);
        ::SendMessageW(Item(kProgress), PBM_SETRANGE32, 0, 1);
        ::SendMessageW(Item(kProgress), PBM_SETPOS, 0, 0);
    }
    SetText(kClose, bRunning ? "Cancel" : "Close");
}

void GeotagDialogWin32::SetText(int nId, const std::string& strText) {
    ::SetWindowTextW(Item(nId), Wide(strText).c_str());
}

std::string GeotagDialogWin32::Text(int nId) const {
    const HWND hControl = Item(nId);
    std::wstring text(static_cast<size_t>(::GetWindowTextLengthW(hControl)) + 1, L'\0');
    text.resize(static_cast<size_t>(
        ::GetWindowTextW(hControl, text.data(), static_cast<int>(text.size()))));
    return NarrowToUtf8(text);
}
