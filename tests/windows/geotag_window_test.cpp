// Geotag photos... in the Win32 window under Wine, driven as a user drives it: the button, the
// folder, Preview, the table, Write, and the pins in the track view. wine_geotag_test.sh makes the
// photos and the raw log, and reads the photos back with exiftool afterwards.
// Environment: QUORVEL_GEOTAG_PHOTOS (a folder of photos), QUORVEL_GEOTAG_TRACK (a raw log).
#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>

#include "app/DialogHandler.h"
#include "app/Resource.h"
#include "app/win32/GeotagDialogWin32.h"
#include "app/win32/TrackViewWin32.h"
#include "app/win32/Win32DialogView.h"
#include "platform/Text.h"

namespace {

class QuietHandler : public DialogHandler {
  public:
    bool OnInitDialog() override { return true; }
    bool OnCommand(int) override { return true; }
    bool OnSysCommand(unsigned, uint32_t) override { return false; }
    void OnClose() override {}
    void OnControlChange(int) override {}
    void OnDropFiles(const std::vector<std::string>&) override {}
    bool OnWndMsg(uint32_t, uint32_t, uint32_t, intptr_t*) override { return false; }
};

std::string Env(const char* pszName) {
    const char* psz = std::getenv(pszName);
    return psz ? psz : "";
}

std::string ReadAll(const std::string& strPath) {
    std::ifstream in(std::filesystem::path(std::u8string(strPath.begin(), strPath.end())),
                     std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string WindowText(HWND hWnd) {
    wchar_t text[512] = {};
    ::GetWindowTextW(hWnd, text, 512);
    return NarrowToUtf8(text);
}

std::string Cell(HWND hTable, int nRow, int nColumn) {
    wchar_t text[512] = {};
    LVITEMW item{};
    item.iSubItem = nColumn;
    item.pszText = text;
    item.cchTextMax = 512;
    ::SendMessageW(hTable, LVM_GETITEMTEXTW, nRow, reinterpret_cast<LPARAM>(&item));
    return NarrowToUtf8(text);
}

}  // namespace

TEST(Win32Geotag, PreviewThenWriteFromTheWindow) {
    const std::string strPhotos = Env("QUORVEL_GEOTAG_PHOTOS");
    const std::string strTrack = Env("QUORVEL_GEOTAG_TRACK");
    if (strPhotos.empty() || strTrack.empty()) GTEST_SKIP() << "run by wine_geotag_test.sh";
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_WIN95_CLASSES | ICC_DATE_CLASSES};
    ::InitCommonControlsEx(&controls);

    auto pImage = std::make_shared<RawLogImage>();
    ASSERT_EQ(LoadRawLogImage(strTrack, *pImage, nullptr), RawLogStatus::Ok);
    std::shared_ptr<const RawLogImage> pTrack = pImage;
    Win32DialogView view(::GetModuleHandleW(nullptr));
    QuietHandler handler;
    view.SetHandler(&handler);
    view.SetLoadedTrackSource([&pTrack] { return pTrack; });
    ASSERT_TRUE(view.CreateModeless());
    view.SetControlText(IDC_TIME_ZONE, "Europe/Berlin");
    const auto pump = [&view] {
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (view.TranslateKeys(msg) || ::IsDialogMessageW(view.Window(), &msg)) continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    };
    const auto pumpUntil = [&pump](auto done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        for (pump(); !done(); pump()) {
            if (std::chrono::steady_clock::now() > deadline) return false;  // only a hang fails
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    };
    const auto click = [&pump](HWND hButton) {
        ::SendMessageW(hButton, BM_CLICK, 0, 0);
        pump();
    };

    // Usable, like Track view, once a file is loaded; Ctrl+G as well as the button.
    const HWND hButton = view.GeotagButton();
    ASSERT_NE(hButton, nullptr);
    EXPECT_EQ(WindowText(hButton), "Geotag photos...");
    BYTE keys[256] = {};
    ::GetKeyboardState(keys);
    keys[VK_CONTROL] = 0x80;
    ::SetKeyboardState(keys);
    const auto pressCtrlG = [&] {
        ::PostMessageW(::GetDlgItem(view.Window(), IDC_RAW_PATH), WM_KEYDOWN, 'G', 0);
        pump();
    };
    pressCtrlG();
    EXPECT_FALSE(::IsWindowEnabled(hButton));
    EXPECT_EQ(view.GeotagWindow(), nullptr);
    view.EnableControl(IDC_TRACK_VIEW, true);
    ASSERT_TRUE(::IsWindowEnabled(hButton));
    pressCtrlG();
    keys[VK_CONTROL] = 0;
    ::SetKeyboardState(keys);
    GeotagDialogWin32* pDialog = view.GeotagWindow();
    ASSERT_NE(pDialog, nullptr);
    const auto item = [pDialog](int nId) { return ::GetDlgItem(pDialog->Window(), nId); };
    // The camera's zone starts as the window's.
    EXPECT_EQ(WindowText(item(GeotagDialogWin32::kZone)), "Europe/Berlin");

    ::SetWindowTextW(item(GeotagDialogWin32::kFolder), WidenUtf8(strPhotos).c_str());
    ::SetWindowTextW(item(GeotagDialogWin32::kOffset), L"+1:00");
    const std::string strBefore = ReadAll(strPhotos + "/mezi.jpg");
    click(item(GeotagDialogWin32::kPreview));
    ASSERT_TRUE(pumpUntil([&] { return !pDialog->IsRunning(); }));
    const HWND hTable = item(GeotagDialogWin32::kTable);
    ASSERT_EQ(::SendMessageW(hTable, LVM_GETITEMCOUNT, 0, 0), 2);
    // Sorted by name; 17:31:10.5 at UTC+2 on a clock a minute fast is 15:30:10.5 UTC.
    EXPECT_EQ(Cell(hTable, 0, 0), "mezi.jpg");
    EXPECT_EQ(Cell(hTable, 0, 2), "2009-05-01 15:30:10.500");
    EXPECT_EQ(Cell(hTable, 0, 3), "25.0001050, 121.0002100, 20.5 m");
    EXPECT_EQ(Cell(hTable, 0, 5), "will be tagged");
    EXPECT_EQ(Cell(hTable, 1, 0), "v mezeře.jpg");
    EXPECT_EQ(Cell(hTable, 1, 5), "outside the track");
    EXPECT_EQ(ReadAll(strPhotos + "/mezi.jpg"), strBefore) << "the preview wrote";
    ASSERT_TRUE(::IsWindowEnabled(item(GeotagDialogWin32::kWrite)));

    // A field changed after the preview: Write waits for another.
    ::SetWindowTextW(item(GeotagDialogWin32::kOffset), L"+1:01");
    pump();
    EXPECT_FALSE(::IsWindowEnabled(item(GeotagDialogWin32::kWrite)));
    ::SetWindowTextW(item(GeotagDialogWin32::kOffset), L"+1:00");
    click(item(GeotagDialogWin32::kPreview));
    ASSERT_TRUE(pumpUntil([&] { return !pDialog->IsRunning(); }));
    click(item(GeotagDialogWin32::kWrite));
    ASSERT_TRUE(pumpUntil([&] { return !pDialog->IsRunning(); }));
    EXPECT_EQ(Cell(hTable, 0, 5), "tagged");
    EXPECT_EQ(
        WindowText(item(GeotagDialogWin32::kSummary)).rfind("2 photos: 1 tagged, 1 outside", 0),
        0u);
    EXPECT_NE(ReadAll(strPhotos + "/mezi.jpg"), strBefore);

    // The photo placed is a pin in the track view of the same track.
    TrackViewData data;
    data.pImage = pTrack;
    data.selection.nSelectMode = kSelectAll;
    view.ShowTrackView(data);
    pump();
    ASSERT_NE(view.TrackView(), nullptr);
    EXPECT_EQ(view.TrackView()->Plot().PinText(0).rfind("Photo mezi.jpg\n", 0), 0u);
    EXPECT_TRUE(view.TrackView()->Plot().PinText(1).empty());

    // Closed, it is made again by the button.
    click(item(GeotagDialogWin32::kClose));
    EXPECT_FALSE(::IsWindowVisible(pDialog->Window()));
    click(hButton);
    ASSERT_NE(view.GeotagWindow(), nullptr);
    EXPECT_TRUE(::IsWindowVisible(view.GeotagWindow()->Window()));

    view.EndDialog(IDCANCEL);
    view.SetHandler(nullptr);
}
