// Dropped and command-line files, and the track view's data. (Remembered choices and stable port
// names: tests/qt, through QSettings and the real port list.)
#include "WindowFixture.h"

namespace {

using ChoicesTest = WindowTest;

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

    FakeDialogView view;
    CQuorvelDlg dlg(view);
    dlg.SetStartupFile(WriteBytes("bad.dlg", std::vector<uint8_t>(21)));
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_TRUE(view.m_boxes.empty());  // not before the window is up
    view.DrainQueue(dlg);
    ASSERT_EQ(view.m_boxes.size(), 1u);
    EXPECT_EQ(view.m_boxes[0].strHead, "Error data in raw file.");
}

// The view gets the loaded image and the choices Translate would use, and nothing after a load
// that failed. (The Qt tests follow each control's change through the real window.)
TEST_F(ChoicesTest, TrackViewFollowsTheTranslateChoices) {
    m_dlg.OnTrackView();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No raw data available."});
    OpenFile(WriteLog("a.dlg", {Fix(0), Fix(60, 0), Fix(120)}));
    m_dlg.OnTrackView();
    ASSERT_TRUE(m_view.m_trackView);
    EXPECT_EQ(m_view.m_trackView->pImage, m_dlg.m_RawLog.m_pRawData);
    EXPECT_EQ(m_view.m_trackView->selection.dwToTime, 120u);
    m_view.SetCheck(IDC_DROP_NOFIX, false);
    (void)m_dlg.OnCommand(IDC_DROP_NOFIX);
    EXPECT_FALSE(m_view.m_trackView->selection.bDropNoFix);
    OpenFile(WriteBytes("bad.dlg", std::vector<uint8_t>(39)));
    EXPECT_EQ(m_view.m_trackView->pImage, nullptr);
    EXPECT_FALSE(m_view.At(IDC_TRACK_VIEW).bEnabled);
    EXPECT_EQ(m_view.m_nTrackViewShows, 1);
}

}  // namespace
