#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>
#include <dlgs.h>
#include <shlobj.h>

#include <cstring>

#include <string>
#include <thread>
#include <vector>

#include "app/DialogLayout.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/win32/IniSettingsStore.h"
#include "app/win32/TrackViewWin32.h"
#include "app/win32/Win32DialogView.h"
#include "common/TrackPictures.h"
#include "platform/Text.h"

namespace {

void PumpMessages() {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

const wchar_t* ExpectedClass(ControlKind kind) {
    switch (kind) {
        case ControlKind::Edit:
            return L"Edit";
        case ControlKind::EditableCombo:
        case ControlKind::DropListCombo:
            return L"ComboBox";
        case ControlKind::PushButton:
        case ControlKind::RadioButton:
        case ControlKind::CheckBox:
        case ControlKind::GroupFrame:
            return L"Button";
        case ControlKind::Label:
            return L"Static";
        case ControlKind::ProgressBar:
            return PROGRESS_CLASSW;
        case ControlKind::DatePicker:
        case ControlKind::TimePicker:
            return DATETIMEPICK_CLASSW;
        case ControlKind::ListBox:
            return L"ListBox";
    }
    return L"";
}

class Win32WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        m_view.SetHandler(&m_dlg);
        ASSERT_TRUE(m_view.CreateModeless()) << "error " << ::GetLastError();
        PumpMessages();
    }
    void TearDown() override {
        if (m_view.Window() != nullptr) m_view.EndDialog(IDCANCEL);
        m_view.SetHandler(nullptr);
    }

    Win32DialogView m_view{::GetModuleHandleW(nullptr)};
    CQuorvelDlg m_dlg{m_view};
};

TEST_F(Win32WindowTest, ControlsStandWhereTheLayoutTablePutsThem) {
    const HWND hWnd = m_view.Window();
    // Every addressed control of the table, in its place in dialog units, of its kind.
    for (const ControlLayout& c : MainWindowControls()) {
        if (c.nId == IDC_STATIC) continue;
        SCOPED_TRACE(c.nId);
        const HWND hItem = ::GetDlgItem(hWnd, c.nId);
        ASSERT_NE(hItem, nullptr);
        wchar_t name[64] = {};
        ::GetClassNameW(hItem, name, 64);
        EXPECT_EQ(::lstrcmpiW(name, ExpectedClass(c.kind)), 0);
        // Place and size convert separately, as the dialog manager does.
        RECT place{c.x, c.y, c.cx, c.cy};
        ::MapDialogRect(hWnd, &place);
        RECT actual{};
        ::GetWindowRect(hItem, &actual);
        ::MapWindowPoints(nullptr, hWnd, reinterpret_cast<POINT*>(&actual), 2);
        EXPECT_EQ(actual.left, place.left);
        EXPECT_EQ(actual.top, place.top);
        EXPECT_EQ(actual.right - actual.left, place.right);
        // A combo box's layout height is that of its opened list.
        if (c.kind != ControlKind::EditableCombo && c.kind != ControlKind::DropListCombo) {
            EXPECT_EQ(actual.bottom - actual.top, place.bottom);
        }
        if (c.kind == ControlKind::PushButton || c.kind == ControlKind::CheckBox ||
            c.kind == ControlKind::RadioButton) {
            EXPECT_EQ(m_view.GetControlText(c.nId), c.pszText);
        }
    }
    RECT client{0, 0, MainWindowLayout().cx, MainWindowLayout().cy};
    ::MapDialogRect(hWnd, &client);
    RECT actual{};
    ::GetClientRect(hWnd, &actual);
    EXPECT_EQ(actual.right, client.right);
    EXPECT_EQ(actual.bottom, client.bottom);
    wchar_t title[128] = {};
    ::GetWindowTextW(hWnd, title, 128);
    EXPECT_STREQ(title, L"Vendrimax QM-900 Ostrello v0.3(1003231)");
}

TEST_F(Win32WindowTest, StartStatesThroughTheRealControls) {
    const HWND hWnd = m_view.Window();
    for (const ControlLayout& c : MainWindowControls()) {
        if (c.nId == IDC_STATIC) continue;
        SCOPED_TRACE(c.nId);
        const HWND hItem = ::GetDlgItem(hWnd, c.nId);
        const bool bShownAtStart = c.bVisible && c.nId != IDC_PROGRESS && c.nId != IDC_TIME_LABEL &&
                                   c.nId != IDC_SIZE_LABEL;
        EXPECT_EQ((::GetWindowLongW(hItem, GWL_STYLE) & WS_VISIBLE) != 0, bShownAtStart);
        EXPECT_EQ(::IsWindowEnabled(hItem) != 0, c.bEnabled);
    }
    EXPECT_TRUE(m_view.GetCheck(IDC_BY_TIME));
    EXPECT_FALSE(m_view.GetCheck(IDC_BY_SIZE));
    EXPECT_TRUE(m_view.GetCheck(IDC_DROP_NOFIX));
    EXPECT_EQ(m_view.GetListCount(IDC_BAUD_LIST), 7);
    EXPECT_EQ(m_view.GetControlText(IDC_BAUD_LIST), "115200");
    EXPECT_EQ(m_view.GetListCount(IDC_TIME_ZONE), 51);
    EXPECT_EQ(m_view.GetControlText(IDC_TIME_ZONE), "GMT+8:00");
    EXPECT_EQ(m_view.GetSelectedListValue(IDC_TIME_ZONE), 28800);
    // The About entry joined the window menu with its resource text.
    const HMENU hMenu = ::GetSystemMenu(hWnd, FALSE);
    wchar_t text[64] = {};
    ASSERT_GT(::GetMenuStringW(hMenu, IDM_ABOUTBOX, text, 64, MF_BYCOMMAND), 0);
    EXPECT_STREQ(text, L"&About Quorvel...");
}

TEST_F(Win32WindowTest, ControlOperationsRoundTrip) {
    // Texts beyond the ANSI code page survive the wide calls.
    const std::string strPath = "C:\\\xCE\xB4\xCE\xB9\xCE\xB1\\\xE8\xBD\xA8.dlg";
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), strPath);

    m_view.ResetList(IDC_LOG_LIST);
    EXPECT_EQ(m_view.AddListEntry(IDC_LOG_LIST, "first", -5), 0);
    EXPECT_EQ(m_view.AddListEntry(IDC_LOG_LIST, "second", 7), 1);
    m_view.SelectListEntry(IDC_LOG_LIST, 0);
    EXPECT_EQ(m_view.GetSelectedListValue(IDC_LOG_LIST), -5);
    m_view.DeleteListEntry(IDC_LOG_LIST, 0);
    EXPECT_EQ(m_view.GetListCount(IDC_LOG_LIST), 1);
    EXPECT_EQ(m_view.GetSelectedListValue(IDC_LOG_LIST), std::nullopt);

    // The whole unsigned 32-bit range: the bar, which counts in int, shows the same proportion.
    const auto Position = [&] {
        return ::SendDlgItemMessageW(m_view.Window(), IDC_PROGRESS, PBM_GETPOS, 0, 0);
    };
    const auto Upper = [&] {
        return ::SendDlgItemMessageW(m_view.Window(), IDC_PROGRESS, PBM_GETRANGE, FALSE, 0);
    };
    m_view.SetProgressRange(IDC_PROGRESS, 0, 600);
    m_view.SetProgressPosition(IDC_PROGRESS, 420);
    EXPECT_EQ(Position(), 420);
    m_view.SetProgressRange(IDC_PROGRESS, 0, 4000000000u);
    m_view.SetProgressPosition(IDC_PROGRESS, 3000000000u);
    EXPECT_EQ(Upper(), 2000000000);
    EXPECT_EQ(Position(), 1500000000);
    m_view.SetProgressPosition(IDC_PROGRESS, 4000000000u);
    EXPECT_EQ(Position(), Upper());

    const PickerTime when{2024, 2, 4, 29, 23, 59, 58, 0};
    m_view.SetPickerTime(IDC_TIME_FROM_DATE, when);
    const PickerTime back = m_view.GetPickerTime(IDC_TIME_FROM_DATE);
    EXPECT_EQ(back.wYear, 2024);
    EXPECT_EQ(back.wMonth, 2);
    EXPECT_EQ(back.wDay, 29);
}

// Records what reaches the window's side, to see the order of posted messages and tasks.
class RecordingHandler : public DialogHandler {
  public:
    bool OnInitDialog() override { return true; }
    bool OnCommand(int nId) override {
        m_events.push_back("command " + std::to_string(nId));
        return true;
    }
    bool OnSysCommand(unsigned, uint32_t) override { return false; }
    void OnClose() override { m_events.push_back("close"); }
    void OnControlChange(int nId) override { m_events.push_back("change " + std::to_string(nId)); }
    void OnDropFiles(const std::vector<std::string>& paths) override {
        for (const std::string& path : paths) m_events.push_back("drop " + path);
    }
    bool OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam, intptr_t*) override {
        m_events.push_back(std::to_string(nMessage) + " " + std::to_string(wParam) + " " +
                           std::to_string(lParam));
        return true;
    }
    std::vector<std::string> m_events;
};

TEST(Win32WindowQueue, MessagesAndTasksArriveInPostingOrder) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);
    Win32DialogView view(::GetModuleHandleW(nullptr));
    RecordingHandler handler;
    view.SetHandler(&handler);
    ASSERT_TRUE(view.CreateModeless());
    PumpMessages();
    handler.m_events.clear();
    // Posted from another thread, as the receive worker does.
    std::thread worker([&] {
        view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, 600, 0);
        view.PostTask([&] { handler.m_events.push_back("task"); });
        view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, 600, 100);
        view.PostWindowMessage(WM_DOWNLOAD_DONE, 0, 0);
    });
    worker.join();
    PumpMessages();
    EXPECT_EQ(handler.m_events,
              (std::vector<std::string>{"2724 600 0", "task", "2724 600 100", "2725 0 0"}));
    // Escape and the close button both go through the close steps.
    handler.m_events.clear();
    ::SendMessageW(view.Window(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ::SendMessageW(view.Window(), WM_CLOSE, 0, 0);
    ::SendMessageW(view.Window(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    EXPECT_EQ(handler.m_events, (std::vector<std::string>{"close", "close", "command 1"}));
    view.EndDialog(IDCANCEL);
    view.SetHandler(nullptr);
}

}  // namespace

namespace {

std::wstring TempFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    return folder;
}

// The four known tracks drawn by GDI into a bitmap, as the track view window paints them.
TEST(Win32TrackView, KnownTracksDrawnToScale) {
    const HDC hDc = ::CreateCompatibleDC(nullptr);
    BITMAPINFO info{};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 700, -560, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* pBits = nullptr;
    const HBITMAP hBitmap = ::CreateDIBSection(hDc, &info, DIB_RGB_COLORS, &pBits, nullptr, 0);
    ASSERT_NE(hBitmap, nullptr);
    const HGDIOBJ hOld = ::SelectObject(hDc, hBitmap);
    ::SelectObject(hDc, ::GetStockObject(DEFAULT_GUI_FONT));
    for (const track_pictures::Case& c : track_pictures::KnownTracks()) {
        auto pData = std::make_unique<uint8_t[]>(c.records.size() * kFixRecordSize);
        for (size_t i = 0; i < c.records.size(); ++i) {
            EncodeFixRecord(c.records[i], pData.get() + i * kFixRecordSize);
        }
        TrackPlot plot;
        plot.SetTrack(std::make_shared<RawLogImage>(std::move(pData),
                                                    static_cast<uint32_t>(c.records.size())));
        plot.SetSelection({kSelectAll, 0, 0, 0, false});
        PaintPlotItemsGdi(hDc, plot.Build(700, 560, PlotMetricsOf(hDc)));
        ::GdiFlush();
        const auto* pPixels = static_cast<const uint32_t*>(pBits);
        EXPECT_EQ(track_pictures::CheckPicture(
                      c, plot.TrackArea(),
                      [&](int x, int y) {
                          const uint32_t v = pPixels[y * 700 + x];
                          return PlotColor{uint8_t(v >> 16), uint8_t(v >> 8), uint8_t(v)};
                      }),
                  "")
            << c.pszName;
    }
    ::SelectObject(hDc, hOld);
    ::DeleteObject(hBitmap);
    ::DeleteDC(hDc);
}

// Through the real dialog: the user's edits are reported (the view's own settings are not),
// Enter on a focused button presses it, Ctrl+T and dropped files reach the window's logic.
TEST(Win32WindowInput, EditsEnterShortcutAndDrops) {
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);
    Win32DialogView view(::GetModuleHandleW(nullptr));
    RecordingHandler handler;
    view.SetHandler(&handler);
    ASSERT_TRUE(view.CreateModeless());
    const HWND hWnd = view.Window();
    const auto Pump = [&] {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (view.TranslateKeys(msg) || ::IsDialogMessageW(hWnd, &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    };
    Pump();
    handler.m_events.clear();
    view.SetControlText(IDC_RECORDS, "12");
    ::SendDlgItemMessageW(hWnd, IDC_RECORDS, WM_CHAR, '3', 0);
    ::SetFocus(::GetDlgItem(hWnd, IDC_DELETE));
    ::PostMessageW(::GetDlgItem(hWnd, IDC_DELETE), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::PostMessageW(::GetDlgItem(hWnd, IDC_RAW_PATH), WM_KEYDOWN, 'T', 0);
    Pump();

    // A drop as the shell delivers it: DROPFILES and UTF-16 names, each ended by a zero.
    const std::wstring names = std::wstring(L"C:\\logs\\a.dlg\0D:\\b.dlg\0\0", 24);
    const HGLOBAL hDrop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(hDrop));
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    std::memcpy(pDrop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(hDrop);
    ::SendMessageW(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    EXPECT_EQ(handler.m_events,
              (std::vector<std::string>{"change 1014", "command 1015", "command 1033",
                                        "drop C:\\logs\\a.dlg", "drop D:\\b.dlg"}));
    view.EndDialog(IDCANCEL);
    view.SetHandler(nullptr);
}

// The Save dialog proposes the loaded file's name; the file type picked gives a typed name its
// extension.
TEST(Win32FileDialog, FileTypeGivesTheExtension) {
    Win32DialogView view(::GetModuleHandleW(nullptr));
    RecordingHandler handler;
    view.SetHandler(&handler);
    ASSERT_TRUE(view.CreateModeless());
    std::wstring proposed, swapped;
    std::thread user([&] {
        HWND hDialog = nullptr;
        for (int i = 0; i < 500 && !hDialog; ++i) {
            ::Sleep(20);
            hDialog = ::FindWindowW(L"#32770", nullptr);
            if (hDialog && ::GetDlgItem(hDialog, cmb1) == nullptr) hDialog = nullptr;
        }
        if (!hDialog) return;
        ::Sleep(500);  // let it fill its boxes
        const auto hName = reinterpret_cast<HWND>(
            ::SendMessageW(::GetDlgItem(hDialog, cmb13), CBEM_GETEDITCONTROL, 0, 0));
        wchar_t text[MAX_PATH] = {};
        ::GetWindowTextW(hName, text, MAX_PATH);
        proposed = text;
        const HWND hType = ::GetDlgItem(hDialog, cmb1);
        ::SendMessageW(hType, CB_SETCURSEL, 1, 0);
        ::SendMessageW(hDialog, WM_COMMAND, MAKEWPARAM(cmb1, CBN_SELENDOK),
                       reinterpret_cast<LPARAM>(hType));
        ::GetWindowTextW(hName, text, MAX_PATH);
        swapped = text;
        ::SendMessageW(hName, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(L"out"));
        ::PostMessageW(hDialog, WM_COMMAND, IDOK, 0);
    });
    const std::optional<FileDialogResult> chosen = view.ShowSaveDialog(
        {NarrowToUtf8(TempFolder()),
         "walk.kml",
         {{"Google earth file(*.kml)", "*.kml"}, {"Excel file(*.csv)", "*.csv"}},
         "kml",
         0});
    user.join();
    EXPECT_EQ(proposed, L"walk.kml");
    EXPECT_EQ(swapped, L"walk.csv");
    ASSERT_TRUE(chosen);
    EXPECT_EQ(chosen->nFilter, 1u);
    EXPECT_TRUE(chosen->strPath.ends_with("\\out.csv")) << chosen->strPath;
    view.EndDialog(IDCANCEL);
    view.SetHandler(nullptr);
}

TEST(Win32Settings, IniFileRoundTrip) {
    const std::wstring path = TempFolder() + L"quorvel-test\\quorvel.ini";
    ::DeleteFileW(path.c_str());
    IniSettingsStore store(path);
    EXPECT_EQ(store.Read("Port"), std::nullopt);
    store.Write("Port", "COM7");
    store.Write("OpenFolder", "C:\\Daten\\\xC3\xA4");  // beyond the ANSI code page
    store.Write("Records", "");
    const IniSettingsStore again(path);
    EXPECT_EQ(again.Read("Port"), "COM7");
    EXPECT_EQ(again.Read("OpenFolder"), "C:\\Daten\\\xC3\xA4");
    EXPECT_EQ(again.Read("Records"), "");
    ::DeleteFileW(path.c_str());
}

}  // namespace
