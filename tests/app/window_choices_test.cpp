// What the window adds around its written controls: remembered choices, dropped and command-line
// files, the stable port names and the track view's data.
#include <map>

#include "WindowFixture.h"
#include "app/SettingsStore.h"

namespace {

class MapStore : public SettingsStore {
  public:
    std::optional<std::string> Read(const std::string& strKey) const override {
        const auto it = m_values.find(strKey);
        return it == m_values.end() ? std::nullopt : std::optional(it->second);
    }
    void Write(const std::string& strKey, const std::string& strValue) override {
        m_values[strKey] = strValue;
    }
    std::map<std::string, std::string> m_values;
};

using ChoicesTest = WindowTest;

TEST_F(ChoicesTest, ChoicesSurviveARestartAndNothingRememberedIsTheStartState) {
    MapStore store;
    m_ports = {{"/dev/ttyUSB0", ""}, {"/dev/ttyUSB1", ""}};
    const std::string strLog = WriteLog("a.dlg", {Fix(0)});
    const auto Start = [&](CQuorvelDlg& dlg) {
        dlg.SetSettingsStore(&store);
        ASSERT_TRUE(dlg.OnInitDialog());
    };
    {
        FakeDialogView view;
        CQuorvelDlg dlg(view, [this] { return m_ports; });
        Start(dlg);
        // Nothing remembered yet: the written start state.
        EXPECT_EQ(view.GetControlText(IDC_BAUD_LIST), "115200");
        EXPECT_EQ(view.GetControlText(IDC_TIME_ZONE), "GMT+8:00");
        EXPECT_TRUE(view.GetCheck(IDC_BY_TIME) && view.GetCheck(IDC_DROP_NOFIX));
        EXPECT_EQ(view.GetControlText(IDC_PORT_LIST), "/dev/ttyUSB1");

        view.SelectListEntry(IDC_PORT_LIST, 0);
        view.SelectListEntry(IDC_BAUD_LIST, 1);
        view.SetControlText(IDC_TIME_ZONE, "Europe/Berlin");
        view.SetCheck(IDC_DROP_NOFIX, false);
        view.SetCheck(IDC_ALL, true);
        (void)dlg.OnCommand(IDC_ALL);
        view.m_fileAnswers = {strLog};
        dlg.OnOpenFile();
        dlg.OnClose();
    }
    FakeDialogView view;
    CQuorvelDlg dlg(view, [this] { return m_ports; });
    Start(dlg);
    EXPECT_EQ(view.GetControlText(IDC_PORT_LIST), "/dev/ttyUSB0");
    EXPECT_EQ(view.GetControlText(IDC_BAUD_LIST), "9600");
    EXPECT_EQ(view.GetControlText(IDC_TIME_ZONE), "Europe/Berlin");
    EXPECT_EQ(dlg.GetTimeZone().DisplayName(), "Europe/Berlin");
    EXPECT_FALSE(view.GetCheck(IDC_DROP_NOFIX));
    EXPECT_EQ(dlg.m_nSelectMode, kSelectAll);
    EXPECT_FALSE(view.GetCheck(IDC_BY_TIME));
    EXPECT_TRUE(view.GetCheck(IDC_ALL));
    dlg.OnOpenFile();
    ASSERT_EQ(view.m_openRequests.size(), 1u);
    EXPECT_EQ(view.m_openRequests[0].strInitialFolder, m_dir.string());
}

TEST_F(ChoicesTest, DroppedAndCommandLineFilesOpenLikeOpenExistingFile) {
    const std::string strFirst = WriteLog("first.dlg", {Fix(0), Fix(60)});
    m_dlg.OnDropFiles({strFirst, PathOf("second.dlg")});
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), strFirst);
    EXPECT_EQ(m_dlg.m_RawLog.m_nRecordCount, 2u);
    EXPECT_TRUE(m_view.At(IDC_TRACK_VIEW).bEnabled);

    // A drop during a download is refused, as the disabled OPEN button would be.
    m_dlg.m_bDownloadMode = 1;
    m_dlg.OnDropFiles({PathOf("second.dlg")});
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), strFirst);
    m_dlg.m_bDownloadMode = 0;

    FakeDialogView view;
    CQuorvelDlg dlg(view);
    dlg.SetStartupFile(WriteBytes("bad.dlg", std::vector<uint8_t>(21)));
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_TRUE(view.m_boxes.empty());  // not before the window is up
    view.DrainQueue(dlg);
    ASSERT_EQ(view.m_boxes.size(), 1u);
    EXPECT_EQ(view.m_boxes[0].strHead, "Error data in raw file.");
}

TEST_F(ChoicesTest, StableNamesAreListedWithTheKernelNameBeside) {
    m_ports = {{"/dev/ttyUSB0", "FTDI", "/dev/serial/by-id/usb-FTDI_A1-if00-port0"},
               {"/dev/ttyS0", "UART"}};
    m_dlg.ScanComPorts();
    const FakeDialogView::Control& list = m_view.At(IDC_PORT_LIST);
    ASSERT_EQ(list.entries.size(), 2u);
    EXPECT_EQ(list.entries[0].first, "/dev/serial/by-id/usb-FTDI_A1-if00-port0");
    EXPECT_EQ(list.entries[1].first, "/dev/ttyS0");
    EXPECT_EQ(list.notes, (std::map<int, std::string>{{0, "/dev/ttyUSB0"}}));
}

TEST_F(ChoicesTest, TrackViewFollowsTheTranslateChoices) {
    m_dlg.OnTrackView();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No raw data available."});
    EXPECT_EQ(m_view.m_nTrackViewShows, 0);
    OpenFile(WriteLog("a.dlg", {Fix(0), Fix(60, 0), Fix(120)}));
    m_dlg.OnTrackView();
    ASSERT_TRUE(m_view.m_trackView && m_view.m_trackView->pImage);
    EXPECT_EQ(m_view.m_trackView->pImage, m_dlg.m_RawLog.m_pRawData);
    const auto Current = [this] { return m_view.m_trackView->selection; };
    EXPECT_EQ(Current().nSelectMode, kSelectByTime);
    EXPECT_EQ(Current().dwToTime, 120u);

    m_view.SetCheck(IDC_BY_SIZE, true);
    (void)m_dlg.OnCommand(IDC_BY_SIZE);
    EXPECT_EQ(Current().nSelectMode, kSelectBySize);
    m_view.SetControlText(IDC_RECORDS, "2");
    m_dlg.OnControlChange(IDC_RECORDS);
    EXPECT_EQ(Current().nLimit, 2);
    m_view.SetCheck(IDC_DROP_NOFIX, false);
    (void)m_dlg.OnCommand(IDC_DROP_NOFIX);
    EXPECT_FALSE(Current().bDropNoFix);
    m_view.SetPickerTime(IDC_SIZE_FROM_TIME, Picker(2000, 1, 1, 8, 1, 0));
    m_dlg.OnControlChange(IDC_SIZE_FROM_TIME);
    EXPECT_EQ(Current().dwFromTime, 60u);
    m_view.SelectListEntry(IDC_TIME_ZONE, 24);
    m_dlg.OnControlChange(IDC_TIME_ZONE);
    EXPECT_EQ(m_view.m_trackView->zone.DisplayName(), "GMT+0:00");
    EXPECT_EQ(Current().dwFromTime, 60u);

    // A load that fails leaves nothing to show.
    OpenFile(WriteBytes("bad.dlg", std::vector<uint8_t>(39)));
    EXPECT_EQ(m_view.m_trackView->pImage, nullptr);
    EXPECT_FALSE(m_view.At(IDC_TRACK_VIEW).bEnabled);
    EXPECT_EQ(m_view.m_nTrackViewShows, 1);
}

}  // namespace
