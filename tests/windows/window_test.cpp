// The Win32 view under Wine, for what only it can get wrong: the dialog resource against the layout
// table, the control calls through the real controls, the queue, keys and drops reaching the
// handler, the Save dialog's file type, the choices' INI file and the track view drawn by GDI.
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
#include "app/Resource.h"
#include "app/win32/IniSettingsStore.h"
#include "app/win32/TrackViewWin32.h"
#include "app/win32/Win32DialogView.h"
#include "platform/Text.h"
#include "tests/common/TrackPictures.h"

namespace {

// Records what reaches the window's side.
class RecordingHandler : public DialogHandler {
  public:
    bool OnInitDialog() override { return true; }
    bool OnCommand(int nId) override { return Note("command " + std::to_string(nId)); }
    bool OnSysCommand(unsigned, uint32_t) override { return false; }
    void OnClose() override { Note("close"); }
    void OnControlChange(int nId) override { Note("change " + std::to_string(nId)); }
    void OnDropFiles(const std::vector<std::string>& paths) override {
        for (const std::string& path : paths) Note("drop " + path);
    }
    bool OnWndMsg(uint32_t nMessage, uint32_t wParam, uint32_t lParam, intptr_t*) override {
        return Note(std::to_string(nMessage) + " " + std::to_string(wParam) + " " +
                    std::to_string(lParam));
    }
    bool Note(const std::string& strEvent) {
        m_events.push_back(strEvent);
        return true;
    }
    std::vector<std::string> m_events;
};

class Win32WindowTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
        ::InitCommonControlsEx(&controls);
    }
    void SetUp() override {
        m_view.SetHandler(&m_handler);
        ASSERT_TRUE(m_view.CreateModeless()) << "error " << ::GetLastError();
        Pump();
        m_handler.m_events.clear();
    }
    void TearDown() override {
        m_view.EndDialog(IDCANCEL);
        m_view.SetHandler(nullptr);
    }
    // The messages as the modal run handles them.
    void Pump() {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (m_view.TranslateKeys(msg) || ::IsDialogMessageW(m_view.Window(), &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    HWND Item(int nId) { return ::GetDlgItem(m_view.Window(), nId); }

    Win32DialogView m_view{::GetModuleHandleW(nullptr)};
    RecordingHandler m_handler;
};

TEST_F(Win32WindowTest, ControlsStandWhereAndAsTheLayoutTablePutsThem) {
    const HWND hWnd = m_view.Window();
    for (const ControlLayout& c : MainWindowControls()) {
        if (c.nId == IDC_STATIC) continue;
        SCOPED_TRACE(c.nId);
        const HWND hItem = Item(c.nId);
        ASSERT_NE(hItem, nullptr);
        wchar_t name[64] = {};
        ::GetClassNameW(hItem, name, 64);
        const std::wstring expected =
            c.kind == ControlKind::Edit          ? L"Edit"
            : c.kind == ControlKind::Label       ? L"Static"
            : c.kind == ControlKind::ListBox     ? L"ListBox"
            : c.kind == ControlKind::ProgressBar ? PROGRESS_CLASSW
            : c.kind == ControlKind::DatePicker || c.kind == ControlKind::TimePicker
                ? DATETIMEPICK_CLASSW
            : c.kind == ControlKind::EditableCombo || c.kind == ControlKind::DropListCombo
                ? L"ComboBox"
                : L"Button";
        EXPECT_EQ(::lstrcmpiW(name, expected.c_str()), 0);
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
        EXPECT_TRUE(expected == L"ComboBox" || actual.bottom - actual.top == place.bottom);
        EXPECT_TRUE(expected != L"Button" || m_view.GetControlText(c.nId) == c.pszText);
        EXPECT_EQ((::GetWindowLongW(hItem, GWL_STYLE) & WS_VISIBLE) != 0, c.bVisible);
        EXPECT_EQ(::IsWindowEnabled(hItem) != 0, c.bEnabled);
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

TEST_F(Win32WindowTest, ControlCallsThroughTheRealControls) {
    // Texts beyond the ANSI code page survive the wide calls.
    const std::string strPath = "C:\\\xCE\xB4\xCE\xB9\xCE\xB1\\\xE8\xBD\xA8.dlg";
    m_view.SetControlText(IDC_RAW_PATH, strPath);
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), strPath);
    for (int nId : {IDC_TIME_ZONE, IDC_LOG_LIST}) {
        m_view.ResetList(nId);
        EXPECT_EQ(m_view.AddListEntry(nId, "first", -5), 0);
        EXPECT_EQ(m_view.AddListEntry(nId, "second", 28800), 1);
        m_view.SelectListEntry(nId, 1);
        EXPECT_EQ(m_view.GetSelectedListValue(nId), 28800);
        m_view.DeleteListEntry(nId, 0);
        EXPECT_EQ(m_view.GetListCount(nId), 1);
    }
    EXPECT_EQ(m_view.GetControlText(IDC_TIME_ZONE), "second");
    // The bar counts in int: the whole unsigned range shows the same proportion.
    const auto Bar = [&](UINT nMessage) {
        return ::SendMessageW(Item(IDC_PROGRESS), nMessage, 0, 0);
    };
    m_view.SetProgressRange(IDC_PROGRESS, 0, 600);
    m_view.SetProgressPosition(IDC_PROGRESS, 420);
    EXPECT_EQ(Bar(PBM_GETPOS), 420);
    m_view.SetProgressRange(IDC_PROGRESS, 0, 4000000000u);
    m_view.SetProgressPosition(IDC_PROGRESS, 3000000000u);
    EXPECT_EQ(Bar(PBM_GETPOS) * 4, Bar(PBM_GETRANGE) * 3);
    const PickerTime when{2024, 2, 4, 29, 23, 59, 58, 0};
    m_view.SetPickerTime(IDC_TIME_FROM_DATE, when);
    m_view.SetPickerTime(IDC_TIME_FROM_TIME, when);
    EXPECT_EQ(m_view.GetPickerTime(IDC_TIME_FROM_DATE).wDay, 29);
    EXPECT_EQ(m_view.GetPickerTime(IDC_TIME_FROM_TIME).wSecond, 58);
    // None of that was a user's edit.
    Pump();
    EXPECT_TRUE(m_handler.m_events.empty());
}

// Posts from another thread, in order; Escape and the close button go through the close steps;
// typing, Enter on a focused button, Ctrl+T and a shell drop reach the handler.
TEST_F(Win32WindowTest, PostsKeysAndDropsReachTheHandlerInOrder) {
    std::thread worker([&] {
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, 600, 0);
        m_view.PostTask([&] { m_handler.Note("task"); });
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, 0, 0);
    });
    worker.join();
    Pump();
    const HWND hWnd = m_view.Window();
    ::SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    ::SendMessageW(hWnd, WM_CLOSE, 0, 0);
    ::SendMessageW(hWnd, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    ::SendMessageW(Item(IDC_RECORDS), WM_CHAR, '3', 0);
    ::SetFocus(Item(IDC_DELETE));
    ::PostMessageW(Item(IDC_DELETE), WM_KEYDOWN, VK_RETURN, 0);
    Pump();
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    ::PostMessageW(Item(IDC_RAW_PATH), WM_KEYDOWN, 'T', 0);
    Pump();
    // A drop as the shell delivers it: DROPFILES and UTF-16 names, each ended by a zero.
    const std::wstring names(L"C:\\logs\\a.dlg\0D:\\b.dlg\0\0", 24);
    const HGLOBAL hDrop = ::GlobalAlloc(GHND, sizeof(DROPFILES) + names.size() * sizeof(wchar_t));
    auto* pDrop = static_cast<DROPFILES*>(::GlobalLock(hDrop));
    pDrop->pFiles = sizeof(DROPFILES);
    pDrop->fWide = TRUE;
    std::memcpy(pDrop + 1, names.data(), names.size() * sizeof(wchar_t));
    ::GlobalUnlock(hDrop);
    ::SendMessageW(hWnd, WM_DROPFILES, reinterpret_cast<WPARAM>(hDrop), 0);
    EXPECT_EQ(m_handler.m_events,
              (std::vector<std::string>{"2724 600 0", "task", "2725 0 0", "close", "close",
                                        "command 1", "change 1014", "command 1015", "command 1033",
                                        "drop C:\\logs\\a.dlg", "drop D:\\b.dlg"}));
}

// The Save dialog proposes the name asked for; the file type picked gives a typed name its
// extension and is reported.
TEST_F(Win32WindowTest, SaveDialogsFileTypeGivesTheExtension) {
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
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::optional<FileDialogResult> chosen = m_view.ShowSaveDialog(
        {NarrowToUtf8(folder),
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
}

TEST(Win32Settings, IniFileRoundTrip) {
    wchar_t folder[MAX_PATH] = {};
    ::GetTempPathW(MAX_PATH, folder);
    const std::wstring path = std::wstring(folder) + L"quorvel-test\\quorvel.ini";
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

}  // namespace
