#include "Win32DialogView.h"

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shellapi.h>

#include <vector>

#include "TrackViewWin32.h"
#include "app/Resource.h"
#ifdef QUORVEL_HAVE_GEOTAG
#include "GeotagDialogWin32.h"
#endif
#include "platform/Text.h"

namespace {

// Posted once per task; tasks and window messages share the window's posted-message queue, which
// keeps them in posting order.
constexpr UINT kTaskMessage = WM_APP + 1;
// Geotag photos..., outside the layout's identifiers.
constexpr int kGeotagButtonId = 1990;

std::wstring Wide(const std::string& str) {
    return WidenUtf8(str);
}

std::string WindowText(HWND hWnd) {
    const int nLength = ::GetWindowTextLengthW(hWnd);
    if (nLength <= 0) return {};
    std::wstring text(static_cast<size_t>(nLength) + 1, L'\0');
    const int nCopied = ::GetWindowTextW(hWnd, text.data(), nLength + 1);
    text.resize(static_cast<size_t>(nCopied > 0 ? nCopied : 0));
    return NarrowToUtf8(text);
}

// The view of the window whose modal loop runs on this thread, for the message-filter hook.
thread_local Win32DialogView* t_pModalView = nullptr;

// A dialog's modal loop translates no accelerators: Ctrl+T and Enter on a button are caught on
// their way to a control.
LRESULT CALLBACK ShortcutHook(int nCode, WPARAM wParam, LPARAM lParam) {
    if (nCode == MSGF_DIALOGBOX && t_pModalView != nullptr &&
        t_pModalView->TranslateKeys(*reinterpret_cast<const MSG*>(lParam))) {
        return TRUE;
    }
    return ::CallNextHookEx(nullptr, nCode, wParam, lParam);
}

// The extension of a filter pattern "*.csv"; empty for any other pattern.
std::wstring PatternExtension(const std::wstring& pattern) {
    return pattern.size() > 2 && pattern.compare(0, 2, L"*.") == 0 &&
                   pattern.find_first_of(L"*?;", 2) == std::wstring::npos
               ? pattern.substr(2)
               : std::wstring();
}

// A Save dialog's hook: a name that still carries the extension of one of the file types gets
// the extension of the type the user picks (the dialog itself only fills in missing ones).
UINT_PTR CALLBACK SaveDialogHook(HWND hHook, UINT nMessage, WPARAM, LPARAM lParam) {
    if (nMessage == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hHook, GWLP_USERDATA,
                            reinterpret_cast<const OPENFILENAMEW*>(lParam)->lCustData);
        return 0;
    }
    if (nMessage != WM_NOTIFY) return 0;
    const auto* pNotify = reinterpret_cast<const OFNOTIFYW*>(lParam);
    const auto* pExtensions = reinterpret_cast<const std::vector<std::wstring>*>(
        ::GetWindowLongPtrW(hHook, GWLP_USERDATA));
    if (pNotify->hdr.code != CDN_TYPECHANGE || pExtensions == nullptr) return 0;
    const size_t nType = pNotify->lpOFN->nFilterIndex - 1;
    if (nType >= pExtensions->size() || (*pExtensions)[nType].empty()) return 0;
    const HWND hDialog = ::GetParent(hHook);
    std::wstring name(MAX_PATH, L'\0');
    const LRESULT nLength =
        ::SendMessageW(hDialog, CDM_GETSPEC, MAX_PATH, reinterpret_cast<LPARAM>(name.data()));
    if (nLength <= 1) return 0;
    name.resize(static_cast<size_t>(nLength - 1));
    const size_t nDot = name.find_last_of(L'.');
    if (nDot == std::wstring::npos) return 0;
    const std::wstring extension = name.substr(nDot + 1);
    bool bOurs = false;
    for (const std::wstring& e : *pExtensions)
        bOurs = bOurs || ::lstrcmpiW(e.c_str(), extension.c_str()) == 0;
    if (!bOurs) return 0;
    name = name.substr(0, nDot + 1) + (*pExtensions)[nType];
    // The name box is cmb13 in the dialogs with a name history, edt1 in the older ones.
    ::SendMessageW(hDialog, CDM_SETCONTROLTEXT, cmb13, reinterpret_cast<LPARAM>(name.c_str()));
    ::SendMessageW(hDialog, CDM_SETCONTROLTEXT, edt1, reinterpret_cast<LPARAM>(name.c_str()));
    return 0;
}

// Counts the view's own settings of control values, whose change notifications are not the user's.
class SettingValues {
  public:
    explicit SettingValues(int& nDepth) : m_nDepth(nDepth) { ++m_nDepth; }
    ~SettingValues() { --m_nDepth; }
    SettingValues(const SettingValues&) = delete;
    SettingValues& operator=(const SettingValues&) = delete;

  private:
    int& m_nDepth;
};

INT_PTR CALLBACK AboutProc(HWND hWnd, UINT nMessage, WPARAM wParam, LPARAM) {
    switch (nMessage) {
        case WM_INITDIALOG:
            return TRUE;
        case WM_COMMAND:
            if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
                ::EndDialog(hWnd, LOWORD(wParam));
                return TRUE;
            }
            break;
        default:
            break;
    }
    return FALSE;
}

}  // namespace

Win32DialogView::Win32DialogView(HINSTANCE hInstance)
    : m_hInstance(hInstance), m_tasks(kTaskMessage) {}

Win32DialogView::~Win32DialogView() = default;

void Win32DialogView::AddGeotagButton() {
#ifdef QUORVEL_HAVE_GEOTAG
    // In dialog units: under the time zone, in the row the layout keeps free there (its hidden
    // Scan button's), above the Config frame.
    RECT at{257, 33, 257 + 94, 33 + 11};
    ::MapDialogRect(m_hWnd, &at);
    m_hGeotagButton = ::CreateWindowExW(
        0, L"BUTTON", L"Geotag photos...", WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON,
        at.left, at.top, at.right - at.left, at.bottom - at.top, m_hWnd,
        reinterpret_cast<HMENU>(static_cast<INT_PTR>(kGeotagButtonId)), m_hInstance, nullptr);
    ::SendMessageW(m_hGeotagButton, WM_SETFONT, ::SendMessageW(m_hWnd, WM_GETFONT, 0, 0), FALSE);
    ::EnableWindow(m_hGeotagButton, FALSE);
#endif
}

void Win32DialogView::OpenGeotagDialog() {
#ifdef QUORVEL_HAVE_GEOTAG
    // Open and shown: raised. Closed (hidden): made again over the track loaded now.
    if (m_pGeotag && ::IsWindowVisible(m_pGeotag->Window())) {
        ::SetForegroundWindow(m_pGeotag->Window());
        return;
    }
    std::shared_ptr<const RawLogImage> pTrack = m_loadedTrack ? m_loadedTrack() : nullptr;
    if (!pTrack) return;
    const auto hFont = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
    m_pGeotag.reset();
    m_pGeotag = std::make_unique<GeotagDialogWin32>(m_hInstance, m_hWnd, hFont, pTrack,
                                                    GetControlText(IDC_TIME_ZONE));
    m_pGeotag->SetPinsReceiver([this, pTrack](std::vector<PhotoPin> pins) {
        m_pPinnedTrack = pTrack;
        m_photoPins = std::move(pins);
        ShowPinsInTrackView();
    });
    if (m_hIcon && m_pGeotag->Window()) {
        ::SendMessageW(m_pGeotag->Window(), WM_SETICON, ICON_BIG,
                       reinterpret_cast<LPARAM>(m_hIcon));
        ::SendMessageW(m_pGeotag->Window(), WM_SETICON, ICON_SMALL,
                       reinterpret_cast<LPARAM>(m_hIcon));
    }
#endif
}

void Win32DialogView::ShowPinsInTrackView() {
    if (!m_pTrackView) return;
    m_pTrackView->SetPhotoPins(
        m_pShownTrack && m_pShownTrack == m_pPinnedTrack ? m_photoPins : std::vector<PhotoPin>());
}

INT_PTR Win32DialogView::RunModal() {
    t_pModalView = this;
    const HHOOK hHook =
        ::SetWindowsHookExW(WH_MSGFILTER, &ShortcutHook, nullptr, ::GetCurrentThreadId());
    const INT_PTR nResult =
        ::DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_QUORVEL_DIALOG), nullptr,
                          &Win32DialogView::DialogProc, reinterpret_cast<LPARAM>(this));
    if (hHook) ::UnhookWindowsHookEx(hHook);
    t_pModalView = nullptr;
    return nResult;
}

bool Win32DialogView::TranslateKeys(const MSG& msg) {
    if (msg.message != WM_KEYDOWN || m_hWnd == nullptr || m_pHandler == nullptr ||
        (msg.hwnd != m_hWnd && !::IsChild(m_hWnd, msg.hwnd))) {
        return false;
    }
    if (msg.wParam == 'T' && (::GetKeyState(VK_CONTROL) & 0x8000) != 0) {
        (void)m_pHandler->OnCommand(IDC_TRACK_VIEW);
        return true;
    }
    if (msg.wParam == 'G' && (::GetKeyState(VK_CONTROL) & 0x8000) != 0 && m_hGeotagButton) {
        if (::IsWindowEnabled(m_hGeotagButton)) OpenGeotagDialog();
        return true;
    }
    // The dialog manager presses only a default button on Enter, and the window has none (Enter
    // elsewhere does nothing): a focused push button is pressed here.
    if (msg.wParam == VK_RETURN && ::IsWindowEnabled(msg.hwnd)) {
        wchar_t name[16] = {};
        ::GetClassNameW(msg.hwnd, name, 16);
        const LONG nType = ::GetWindowLongW(msg.hwnd, GWL_STYLE) & BS_TYPEMASK;
        if (::lstrcmpiW(name, L"Button") == 0 &&
            (nType == BS_PUSHBUTTON || nType == BS_DEFPUSHBUTTON)) {
            ::SendMessageW(m_hWnd, WM_COMMAND, MAKEWPARAM(::GetDlgCtrlID(msg.hwnd), BN_CLICKED),
                           reinterpret_cast<LPARAM>(msg.hwnd));
            return true;
        }
    }
    return false;
}

bool Win32DialogView::CreateModeless() {
    m_bModeless = true;
    return ::CreateDialogParamW(m_hInstance, MAKEINTRESOURCEW(IDD_QUORVEL_DIALOG), nullptr,
                                &Win32DialogView::DialogProc,
                                reinterpret_cast<LPARAM>(this)) != nullptr;
}

INT_PTR CALLBACK Win32DialogView::DialogProc(HWND hWnd, UINT nMessage, WPARAM wParam,
                                             LPARAM lParam) {
    if (nMessage == WM_INITDIALOG) {
        ::SetWindowLongPtrW(hWnd, DWLP_USER, lParam);
        reinterpret_cast<Win32DialogView*>(lParam)->m_hWnd = hWnd;
    }
    auto* pView = reinterpret_cast<Win32DialogView*>(::GetWindowLongPtrW(hWnd, DWLP_USER));
    return pView ? pView->OnMessage(nMessage, wParam, lParam) : FALSE;
}

INT_PTR Win32DialogView::OnMessage(UINT nMessage, WPARAM wParam, LPARAM lParam) {
    if (m_pHandler == nullptr) return FALSE;
    switch (nMessage) {
        case WM_INITDIALOG:
            // A raw log dropped on the window opens as OPEN existing file would open it.
            ::DragAcceptFiles(m_hWnd, TRUE);
            AddGeotagButton();
            return m_pHandler->OnInitDialog() ? TRUE : FALSE;
        case WM_DROPFILES:
            OnDropFiles(reinterpret_cast<HDROP>(wParam));
            return TRUE;
        case WM_CONTEXTMENU:
            ShowContextMenu(lParam);
            return TRUE;
        case WM_NOTIFY: {
            const auto* pHeader = reinterpret_cast<const NMHDR*>(lParam);
            if (pHeader->code == DTN_DATETIMECHANGE) {
                OnValueChange(static_cast<int>(pHeader->idFrom));
                return TRUE;
            }
            return FALSE;
        }
        case WM_COMMAND:
            return OnCommandMessage(wParam);
        case WM_SYSCOMMAND:
            if (m_pHandler->OnSysCommand(static_cast<unsigned>(wParam),
                                         static_cast<uint32_t>(lParam))) {
                return TRUE;
            }
            return FALSE;  // the default handling: move, minimise, close...
        case WM_CLOSE:
            m_pHandler->OnClose();
            return TRUE;
        case WM_PAINT:
            if (::IsIconic(m_hWnd)) {
                OnPaintMinimised();
                return TRUE;
            }
            return FALSE;
        case WM_QUERYDRAGICON:
            ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, reinterpret_cast<LONG_PTR>(m_hIcon));
            return TRUE;
        case kTaskMessage:
            m_tasks.RunNext();
            return TRUE;
        case WM_DOWNLOAD_PROGRESS:
        case WM_DOWNLOAD_DONE:
        case WM_DEVICECHANGE: {
            intptr_t nResult = 0;
            const bool bHandled = m_pHandler->OnWndMsg(nMessage, static_cast<uint32_t>(wParam),
                                                       static_cast<uint32_t>(lParam), &nResult);
            if (bHandled) ::SetWindowLongPtrW(m_hWnd, DWLP_MSGRESULT, nResult);
            // Device-change broadcasts go on to the default handling, which answers TRUE.
            return nMessage == WM_DEVICECHANGE ? FALSE : TRUE;
        }
        default:
            return FALSE;
    }
}

INT_PTR Win32DialogView::OnCommandMessage(WPARAM wParam) {
    switch (HIWORD(wParam)) {
        case EN_CHANGE:
        case CBN_SELCHANGE:
        case CBN_EDITCHANGE:
            OnValueChange(LOWORD(wParam));
            return TRUE;
        case BN_CLICKED:
            break;
        default:
            return FALSE;
    }
    if (LOWORD(wParam) == kGeotagButtonId) {
        OpenGeotagDialog();
        return TRUE;
    }
    if (LOWORD(wParam) == IDCANCEL) {
        // Escape goes through the close steps like every other way of ending the window.
        m_pHandler->OnClose();
        return TRUE;
    }
    return m_pHandler->OnCommand(LOWORD(wParam)) ? TRUE : FALSE;
}

void Win32DialogView::OnValueChange(int nId) {
    if (m_nSettingValues == 0 && m_pHandler != nullptr) m_pHandler->OnControlChange(nId);
}

void Win32DialogView::OnDropFiles(HDROP hDrop) {
    std::vector<std::string> paths;
    const UINT nCount = ::DragQueryFileW(hDrop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < nCount; ++i) {
        std::wstring path(::DragQueryFileW(hDrop, i, nullptr, 0) + 1, L'\0');
        const UINT nLength =
            ::DragQueryFileW(hDrop, i, path.data(), static_cast<UINT>(path.size()));
        path.resize(nLength);
        if (!path.empty()) paths.push_back(NarrowToUtf8(path));
    }
    ::DragFinish(hDrop);
    if (!paths.empty() && m_pHandler != nullptr) m_pHandler->OnDropFiles(paths);
}

void Win32DialogView::ShowContextMenu(LPARAM lParam) {
    if (m_menuCommands.empty() || m_pHandler == nullptr) return;
    const HMENU hMenu = ::CreatePopupMenu();
    for (const auto& [text, nCommand] : m_menuCommands) {
        ::AppendMenuW(hMenu, MF_STRING, nCommand, text.c_str());
    }
    POINT at{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
    if (lParam == -1) {
        // From the keyboard: at the window's corner.
        RECT rect{};
        ::GetWindowRect(m_hWnd, &rect);
        at = {rect.left + 16, rect.top + 16};
    }
    const UINT nCommand = static_cast<UINT>(
        ::TrackPopupMenu(hMenu, TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, m_hWnd, nullptr));
    ::DestroyMenu(hMenu);
    if (nCommand != 0) (void)m_pHandler->OnSysCommand(nCommand, 0);
}

void Win32DialogView::OnPaintMinimised() {
    PAINTSTRUCT ps{};
    const HDC hDc = ::BeginPaint(m_hWnd, &ps);
    ::SendMessageW(m_hWnd, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(hDc), 0);
    // The icon centred in the client area.
    const int cxIcon = ::GetSystemMetrics(SM_CXICON);
    const int cyIcon = ::GetSystemMetrics(SM_CYICON);
    RECT rect{};
    ::GetClientRect(m_hWnd, &rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    ::DrawIcon(hDc, x, y, m_hIcon);
    ::EndPaint(m_hWnd, &ps);
}

void Win32DialogView::ShowControl(int nId, bool bShow) {
    ::ShowWindow(Item(nId), bShow ? SW_SHOW : SW_HIDE);
}

void Win32DialogView::EnableControl(int nId, bool bEnable) {
    ::EnableWindow(Item(nId), bEnable ? TRUE : FALSE);
    // Geotag photos..., like Track view, once a file is loaded.
    if (nId == IDC_TRACK_VIEW && m_hGeotagButton) ::EnableWindow(m_hGeotagButton, bEnable);
}

void Win32DialogView::SetControlText(int nId, const std::string& strText) {
    const SettingValues setting(m_nSettingValues);
    ::SetWindowTextW(Item(nId), Wide(strText).c_str());
}

std::string Win32DialogView::GetControlText(int nId) const {
    return WindowText(Item(nId));
}

void Win32DialogView::SetCheck(int nId, bool bChecked) {
    ::CheckDlgButton(m_hWnd, nId, bChecked ? BST_CHECKED : BST_UNCHECKED);
}

bool Win32DialogView::GetCheck(int nId) const {
    return ::IsDlgButtonChecked(m_hWnd, nId) == BST_CHECKED;
}

bool Win32DialogView::IsComboBox(int nId) const {
    wchar_t name[32] = {};
    ::GetClassNameW(Item(nId), name, 32);
    return ::lstrcmpiW(name, WC_COMBOBOXW) == 0;
}

void Win32DialogView::ResetList(int nId) {
    const SettingValues setting(m_nSettingValues);
    ::SendDlgItemMessageW(m_hWnd, nId, IsComboBox(nId) ? CB_RESETCONTENT : LB_RESETCONTENT, 0, 0);
}

int Win32DialogView::AddListEntry(int nId, const std::string& strText, int64_t nValue) {
    const SettingValues setting(m_nSettingValues);
    const bool bCombo = IsComboBox(nId);
    const std::wstring text = Wide(strText);
    const LRESULT nIndex = ::SendDlgItemMessageW(m_hWnd, nId, bCombo ? CB_ADDSTRING : LB_ADDSTRING,
                                                 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (nIndex < 0) return -1;
    ::SendDlgItemMessageW(m_hWnd, nId, bCombo ? CB_SETITEMDATA : LB_SETITEMDATA,
                          static_cast<WPARAM>(nIndex), static_cast<LPARAM>(nValue));
    return static_cast<int>(nIndex);
}

void Win32DialogView::SelectListEntry(int nId, int nIndex) {
    const SettingValues setting(m_nSettingValues);
    ::SendDlgItemMessageW(m_hWnd, nId, IsComboBox(nId) ? CB_SETCURSEL : LB_SETCURSEL,
                          static_cast<WPARAM>(nIndex), 0);
}

std::optional<int64_t> Win32DialogView::GetSelectedListValue(int nId) const {
    const bool bCombo = IsComboBox(nId);
    const LRESULT nIndex =
        ::SendDlgItemMessageW(m_hWnd, nId, bCombo ? CB_GETCURSEL : LB_GETCURSEL, 0, 0);
    if (nIndex < 0) return std::nullopt;
    return static_cast<int64_t>(::SendDlgItemMessageW(
        m_hWnd, nId, bCombo ? CB_GETITEMDATA : LB_GETITEMDATA, static_cast<WPARAM>(nIndex), 0));
}

int Win32DialogView::GetListCount(int nId) const {
    const LRESULT n =
        ::SendDlgItemMessageW(m_hWnd, nId, IsComboBox(nId) ? CB_GETCOUNT : LB_GETCOUNT, 0, 0);
    return n < 0 ? 0 : static_cast<int>(n);
}

void Win32DialogView::DeleteListEntry(int nId, int nIndex) {
    const SettingValues setting(m_nSettingValues);
    ::SendDlgItemMessageW(m_hWnd, nId, IsComboBox(nId) ? CB_DELETESTRING : LB_DELETESTRING,
                          static_cast<WPARAM>(nIndex), 0);
}

void Win32DialogView::SetProgressRange(int nId, uint32_t nLower, uint32_t nUpper) {
    m_nProgressShift = nUpper > 0x7FFFFFFFu ? 1 : 0;
    ::SendDlgItemMessageW(m_hWnd, nId, PBM_SETRANGE32,
                          static_cast<WPARAM>(nLower >> m_nProgressShift),
                          static_cast<LPARAM>(nUpper >> m_nProgressShift));
}

void Win32DialogView::SetProgressPosition(int nId, uint32_t nPosition) {
    ::SendDlgItemMessageW(m_hWnd, nId, PBM_SETPOS,
                          static_cast<WPARAM>(nPosition >> m_nProgressShift), 0);
}

void Win32DialogView::SetPickerTime(int nId, const PickerTime& time) {
    const SettingValues setting(m_nSettingValues);
    SYSTEMTIME st{time.wYear, time.wMonth,  time.wDayOfWeek, time.wDay,
                  time.wHour, time.wMinute, time.wSecond,    time.wMilliseconds};
    ::SendDlgItemMessageW(m_hWnd, nId, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

PickerTime Win32DialogView::GetPickerTime(int nId) const {
    SYSTEMTIME st{};
    ::SendDlgItemMessageW(m_hWnd, nId, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
    return {st.wYear, st.wMonth,  st.wDayOfWeek, st.wDay,
            st.wHour, st.wMinute, st.wSecond,    st.wMilliseconds};
}

BoxAnswer Win32DialogView::ShowMessageBox(const std::string& strText, const std::string& strTitle,
                                          BoxButtons buttons, BoxIcon icon) {
    UINT nStyle = MB_OK;
    switch (buttons) {
        case BoxButtons::Ok:
            nStyle = MB_OK;
            break;
        case BoxButtons::OkCancel:
            nStyle = MB_OKCANCEL;
            break;
        case BoxButtons::YesNo:
            nStyle = MB_YESNO;
            break;
    }
    switch (icon) {
        case BoxIcon::None:
            break;
        case BoxIcon::Error:
            nStyle |= MB_ICONERROR;
            break;
        case BoxIcon::Question:
            nStyle |= MB_ICONQUESTION;
            break;
        case BoxIcon::Information:
            nStyle |= MB_ICONINFORMATION;
            break;
    }
    // Escape and the close button answer IDCANCEL; a Yes/No box offers neither.
    switch (::MessageBoxW(m_hWnd, Wide(strText).c_str(), Wide(strTitle).c_str(), nStyle)) {
        case IDOK:
            return BoxAnswer::Ok;
        case IDYES:
            return BoxAnswer::Yes;
        case IDNO:
            return BoxAnswer::No;
        default:
            return buttons == BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Cancel;
    }
}

std::optional<FileDialogResult> Win32DialogView::ShowSaveDialog(const FileDialogRequest& request) {
    return RunFileDialog(request, true);
}

std::optional<std::string> Win32DialogView::ShowOpenDialog(const FileDialogRequest& request) {
    const std::optional<FileDialogResult> chosen = RunFileDialog(request, false);
    if (!chosen) return std::nullopt;
    return chosen->strPath;
}

std::optional<FileDialogResult> Win32DialogView::RunFileDialog(const FileDialogRequest& request,
                                                               bool bSave) {
    // Filters: label and pattern pairs, each ended by a zero, the whole list by one more.
    std::wstring filter;
    std::vector<std::wstring> extensions;
    for (const FileFilter& f : request.filters) {
        filter += Wide(f.strLabel);
        filter += L'\0';
        filter += Wide(f.strPattern);
        filter += L'\0';
        extensions.push_back(PatternExtension(Wide(f.strPattern)));
    }
    filter += L'\0';
    const std::wstring initialFolder = Wide(request.strInitialFolder);
    const std::wstring defaultExtension = Wide(request.strDefaultExtension);
    std::vector<wchar_t> file(32768, L'\0');  // room for long paths
    // The proposed name; the dialog gives it the extension of the file type the user picks.
    const std::wstring initialName = Wide(request.strInitialName);
    std::copy(initialName.begin(),
              initialName.begin() +
                  static_cast<ptrdiff_t>(std::min<size_t>(initialName.size(), file.size() - 1)),
              file.begin());

    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof ofn;
    ofn.hwndOwner = m_hWnd;
    ofn.lpstrFilter = request.filters.empty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrInitialDir = initialFolder.empty() ? nullptr : initialFolder.c_str();
    // With a default extension set, a name typed without one gets the chosen file type's.
    ofn.lpstrDefExt = defaultExtension.empty() ? nullptr : defaultExtension.c_str();
    ofn.Flags = OFN_EXPLORER;
    if (request.nOptions & kFileMustExist) ofn.Flags |= OFN_FILEMUSTEXIST;
    if (request.nOptions & kPathMustExist) ofn.Flags |= OFN_PATHMUSTEXIST;
    if (request.nOptions & kOverwritePrompt) ofn.Flags |= OFN_OVERWRITEPROMPT;
    if (request.nOptions & kHideReadOnly) ofn.Flags |= OFN_HIDEREADONLY;
    if (bSave && !defaultExtension.empty()) {
        ofn.Flags |= OFN_ENABLEHOOK | OFN_ENABLESIZING;
        ofn.lpfnHook = &SaveDialogHook;
        ofn.lCustData = reinterpret_cast<LPARAM>(&extensions);
    }
    const BOOL bChosen = bSave ? ::GetSaveFileNameW(&ofn) : ::GetOpenFileNameW(&ofn);
    if (!bChosen) return std::nullopt;
    return FileDialogResult{NarrowToUtf8(file.data()),
                            ofn.nFilterIndex > 0 ? ofn.nFilterIndex - 1 : 0};
}

void Win32DialogView::ShowAboutBox() {
    ::DialogBoxParamW(m_hInstance, MAKEINTRESOURCEW(IDD_ABOUTBOX), m_hWnd, &AboutProc, 0);
}

void Win32DialogView::AppendWindowMenuCommand(const std::string& strText, unsigned nCommand) {
    // The About entry's text is the string resource; other commands bring their own.
    std::wstring text = Wide(strText);
    if (nCommand == IDM_ABOUTBOX) {
        wchar_t buffer[128] = {};
        text = ::LoadStringW(m_hInstance, IDS_ABOUTBOX, buffer, 128) > 0 ? buffer : L"";
    }
    if (text.empty()) return;
    // The window's right-click menu offers the same commands.
    m_menuCommands.emplace_back(text, nCommand);
    const HMENU hMenu = ::GetSystemMenu(m_hWnd, FALSE);
    if (hMenu == nullptr) return;
    ::AppendMenuW(hMenu, MF_SEPARATOR, 0, nullptr);
    ::AppendMenuW(hMenu, MF_STRING, nCommand, text.c_str());
}

void Win32DialogView::ShowTrackView(const TrackViewData& view) {
    if (!m_pTrackView) {
        const auto hFont = reinterpret_cast<HFONT>(::SendMessageW(m_hWnd, WM_GETFONT, 0, 0));
        m_pTrackView = std::make_unique<TrackViewWin32>(m_hInstance, m_hWnd, hFont);
        if (m_hIcon && m_pTrackView->Window()) {
            ::SendMessageW(m_pTrackView->Window(), WM_SETICON, ICON_BIG,
                           reinterpret_cast<LPARAM>(m_hIcon));
            ::SendMessageW(m_pTrackView->Window(), WM_SETICON, ICON_SMALL,
                           reinterpret_cast<LPARAM>(m_hIcon));
        }
    }
    m_pTrackView->SetData(view);
    m_pShownTrack = view.pImage;
    ShowPinsInTrackView();
    m_pTrackView->Show();
}

void Win32DialogView::UpdateTrackView(const TrackViewData& view) {
    if (!m_pTrackView || !m_pTrackView->IsVisible()) return;
    m_pTrackView->SetData(view);
    if (view.pImage != m_pShownTrack) {
        m_pShownTrack = view.pImage;
        ShowPinsInTrackView();
    }
}

void Win32DialogView::SetWindowIcon(int nIconId) {
    m_hIcon = ::LoadIconW(m_hInstance, MAKEINTRESOURCEW(nIconId));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    ::SendMessageW(m_hWnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
}

void Win32DialogView::CenterWindow() {
    RECT window{};
    ::GetWindowRect(m_hWnd, &window);
    RECT work{};
    ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    const int cx = window.right - window.left;
    const int cy = window.bottom - window.top;
    const int x = work.left + (work.right - work.left - cx) / 2;
    const int y = work.top + (work.bottom - work.top - cy) / 2;
    ::SetWindowPos(m_hWnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    ::ShowWindow(m_hWnd, SW_SHOW);
}

void Win32DialogView::EndDialog(int nResult) {
    if (m_bModeless) {
        ::DestroyWindow(m_hWnd);
        m_hWnd = nullptr;
        return;
    }
    ::EndDialog(m_hWnd, nResult);
}

void Win32DialogView::PostWindowMessage(uint32_t nMessage, uint32_t wParam, uint32_t lParam) {
    ::PostMessageW(m_hWnd, nMessage, wParam, static_cast<LPARAM>(lParam));
}

void Win32DialogView::PostTask(std::function<void()> task) {
    m_tasks.Post(m_hWnd, std::move(task));
}
