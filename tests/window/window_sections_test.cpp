// Each section of the window alone over the fake view, the others stood in by the rig's stub.
#include "protocol/DownloadResult.h"
#include "tests/common/WindowRig.h"

namespace {

using Calls = std::vector<std::string>;

TEST_F(WindowSectionTest, ConfigFollowsThePortAndAsksOverIt) {
    LinkFlags flags;
    ConfigSection config(m_view, flags, m_others);
    config.OnPortOpened();
    EXPECT_TRUE(Enabled(IDC_LOAD_CONFIG));
    flags.m_bIntervalReceived = 1;
    m_view.SetControlText(IDC_INTERVAL, "9");
    config.EnableSettingsControls(true);
    config.OnLoadConfig();
    EXPECT_EQ(flags.m_bIntervalReceived.load(), 0);
    EXPECT_EQ(Text(IDC_INTERVAL), "");
    EXPECT_FALSE(Enabled(IDC_SET_CONFIG) || Enabled(IDC_INTERVAL));
    m_view.SetControlText(IDC_INTERVAL, "5");
    m_view.SetControlText(IDC_DISTANCE, "7");
    config.OnSetConfig();
    EXPECT_EQ(m_view.BoxHeads(), Calls{"Set config OK."});
    config.EnableSettingsControls(true);
    config.OnPortClosed();
    EXPECT_FALSE(Enabled(IDC_LOAD_CONFIG) || Enabled(IDC_SET_CONFIG) || Enabled(IDC_DISTANCE));
    m_others.bOpen = false;
    config.OnLoadConfig();
    config.OnSetConfig();
    EXPECT_EQ(m_others.calls, (Calls{"port closed", "port closed"}));
    EXPECT_EQ(m_others.sent,
              (std::vector<std::u16string>{u"VXC,VendrimaxQM-518,L1(C0,O2,OH)",
                                           u"VXS,VendrimaxQM-518,3,0,C0=0,O2=5,OH=7"}));
}

// A download drops the records loaded before and loads the file it wrote.
TEST_F(WindowSectionTest, DownloadReplacesTheLoadedRecords) {
    DownloadSection download(m_view, m_link, m_others, m_others, m_folders);
    m_folders.SetFolder(FolderUse::Download, "/logs");
    m_view.m_fileAnswers.push_back(FileDialogResult{"/trips/may/a.dlg"});
    download.OnGetData();
    EXPECT_EQ(m_view.m_saveRequests.at(0).strInitialFolder, "/logs");
    EXPECT_EQ(m_folders.Folder(FolderUse::Download), "/trips/may");
    EXPECT_EQ(m_others.sent, std::vector<std::u16string>{u"VXC,VendrimaxQM-518,LB"});
    EXPECT_TRUE(download.IsDownloading() && Text(IDC_GET_DATA) == "Cancel");
    EXPECT_FALSE(Enabled(IDC_OPEN_FILE) || Enabled(IDC_TRANSLATE));
    download.OnDownloadDone(DR_OK);
    EXPECT_EQ(m_others.calls, (Calls{"drop", "load"}));
    EXPECT_TRUE(!download.IsDownloading() && Text(IDC_GET_DATA) == "GET data from device");
    EXPECT_TRUE(Enabled(IDC_OPEN_FILE) && Enabled(IDC_TRANSLATE));
}

// Every change of the records, the mode or the zone reaches the track view.
TEST_F(WindowSectionTest, TranslateTellsTheTrackViewOfEachChange) {
    TranslateSection translate(m_view, m_folders, m_others);
    translate.FillTimeZoneList();
    ASSERT_TRUE(translate.OpenRawLogPath(WriteFile(m_dir / "a.dlg", Records({{1000}, {2000}}))));
    EXPECT_EQ(m_folders.Folder(FolderUse::Open), m_dir.Path().string());
    EXPECT_TRUE(Enabled(IDC_TRACK_VIEW));
    translate.ChooseSelectMode(kSelectAll);
    EXPECT_TRUE(m_view.At(IDC_ALL).bChecked && !m_view.At(IDC_BY_TIME).bChecked);
    m_view.SelectListEntry(IDC_TIME_ZONE, 24);
    translate.OnTimeZoneChange();
    m_view.m_fileAnswers.push_back(FileDialogResult{m_dir / "b.csv"});
    translate.OnTranslate();
    EXPECT_EQ(m_folders.Folder(FolderUse::Output), m_dir.Path().string());
    translate.DropRawImage();
    EXPECT_FALSE(Enabled(IDC_TRACK_VIEW));
    translate.OnTranslate();
    EXPECT_EQ(m_view.BoxHeads(), (Calls{"Translate OK.", "No raw data available."}));
    EXPECT_EQ(m_others.calls, Calls(4, "track"));
}

TEST_F(WindowSectionTest, TrackViewShowsTheLoadedRecordsAsTheyChange) {
    TrackViewSection trackView(m_view, m_others);
    trackView.OnTrackView();
    EXPECT_EQ(m_view.BoxHeads(), Calls{"No raw data available."});
    m_others.pImage = std::make_shared<const RawLogImage>();
    m_others.strPath = "/a.dlg";
    trackView.OnTrackView();
    m_others.strPath = "/b.dlg";
    trackView.OnTrackChanged();
    ASSERT_TRUE(m_view.m_trackView);
    EXPECT_EQ(m_view.m_trackView->strTitle, "/b.dlg");
    EXPECT_EQ(m_view.m_trackView->zone.DisplayName(), "GMT-1:30");
}

// What a store holds comes back into the controls, the mode and the folders, and is saved as
// they stand; a zone typed wrong is saved as the zone in effect.
TEST_F(WindowSectionTest, ChoicesComeBackAndAreSavedAsTheyStand) {
    const std::map<std::string, std::string> kept = {
        {"Speed", "4800"},        {"DropNoFix", "0"},       {"SelectMode", "1"},
        {"Port", "/dev/ttyS9"},   {"TimeZone", "GMT-1:30"}, {"OpenFolder", "/o"},
        {"DownloadFolder", "/d"}, {"OutputFolder", "/t"},
    };
    MemorySettingsStore store;
    store.values = kept;
    for (const char* pszRate : kBaudRates) (void)m_view.AddListEntry(IDC_BAUD_LIST, pszRate, 0);
    RememberedChoices choices(m_view, m_others, m_folders);
    choices.SetSettingsStore(&store);
    choices.RestoreSettings();
    EXPECT_EQ(Text(IDC_BAUD_LIST), "4800");
    EXPECT_EQ(Text(IDC_PORT_LIST), "/dev/ttyS9");  // typed: no port is listed
    EXPECT_FALSE(m_view.At(IDC_DROP_NOFIX).bChecked);
    EXPECT_EQ(m_others.calls, Calls{"1"});
    EXPECT_EQ(choices.RememberedZone(), "GMT-1:30");
    store.values.clear();
    m_view.SetControlText(IDC_TIME_ZONE, "GMT+8:0x");
    choices.SaveSettings();
    EXPECT_EQ(store.values, kept);
}

}  // namespace
