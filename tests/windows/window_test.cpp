#include <gtest/gtest.h>
#include <windows.h>

#include <commctrl.h>

#include <string>
#include <thread>
#include <vector>

#include "app/DialogLayout.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "app/win32/Win32DialogView.h"

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
