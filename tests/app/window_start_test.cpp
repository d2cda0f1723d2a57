#include <atomic>
#include <thread>

#include "WindowFixture.h"

namespace {

using StartTest = WindowTest;

TEST_F(StartTest, ListsAndChecksAfterInitialisation) {
    const auto& baud = m_view.At(IDC_BAUD_LIST);
    ASSERT_EQ(baud.entries.size(), 7u);
    const char* rates[] = {"4800", "9600", "19200", "38400", "57600", "115200", "230400"};
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(baud.entries[i].first, rates[i]);
    EXPECT_EQ(baud.nSelected, 5);
    EXPECT_EQ(m_view.GetControlText(IDC_BAUD_LIST), "115200");

    const auto& zones = m_view.At(IDC_TIME_ZONE);
    ASSERT_EQ(zones.entries.size(), 51u);
    const struct {
        size_t nIndex;
        const char* text;
        int64_t nSeconds;
    } rows[] = {{0, "GMT-12:00", -43200}, {1, "GMT-11:30", -41400}, {23, "GMT-0:30", -1800},
                {24, "GMT+0:00", 0},      {25, "GMT+0:30", 1800},   {40, "GMT+8:00", 28800},
                {50, "GMT+13:00", 46800}};
    for (const auto& row : rows) {
        EXPECT_EQ(zones.entries[row.nIndex].first, row.text) << row.nIndex;
        EXPECT_EQ(zones.entries[row.nIndex].second, row.nSeconds) << row.nIndex;
    }
    EXPECT_EQ(zones.nSelected, 40);
    EXPECT_EQ(m_view.GetControlText(IDC_TIME_ZONE), "GMT+8:00");
    EXPECT_EQ(m_dlg.GetTimeZone().OffsetAt(0), 28800);

    // The scan found no port: the list stays empty and the port closed.
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 0);
    EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
    EXPECT_EQ(m_dlg.m_bPortOpened, 0);

    EXPECT_TRUE(m_view.GetCheck(IDC_BY_TIME));
    EXPECT_FALSE(m_view.GetCheck(IDC_BY_SIZE));
    EXPECT_FALSE(m_view.GetCheck(IDC_ALL));
    EXPECT_TRUE(m_view.GetCheck(IDC_DROP_NOFIX));
    EXPECT_FALSE(m_view.GetCheck(IDC_GPS_ALWAYS_ON));
    EXPECT_EQ(m_dlg.m_nSelectMode, 0);
}

TEST_F(StartTest, ControlStatesAndMembers) {
    struct Row {
        int nId;
        bool bVisible;
        bool bEnabled;
    };
    const Row rows[] = {
        {IDC_PROGRESS, false, true},       {IDC_TIME_LABEL, false, true},
        {IDC_SIZE_LABEL, false, true},     {IDC_SCAN, false, false},
        {IDC_GPS_ALWAYS_ON, false, false}, {IDC_SET_CONFIG, true, false},
        {IDC_LOAD_CONFIG, true, false},    {IDC_INTERVAL, true, false},
        {IDC_DISTANCE, true, false},       {IDC_OPEN_CLOSE, true, true},
        {IDC_GET_DATA, true, true},        {IDC_DELETE, true, true},
        {IDC_OPEN_FILE, true, true},       {IDC_TRANSLATE, true, true},
        {IDC_PORT_LIST, true, true},       {IDC_BAUD_LIST, true, true},
        {IDC_RAW_PATH, true, true},        {IDC_OUT_PATH, true, true},
        {IDC_RECORDS, true, true},         {IDC_LOG_LIST, true, true},
    };
    for (const Row& row : rows) {
        EXPECT_EQ(m_view.At(row.nId).bVisible, row.bVisible) << row.nId;
        EXPECT_EQ(m_view.At(row.nId).bEnabled, row.bEnabled) << row.nId;
    }
    EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "GET data from device");
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), "Size:");
    EXPECT_EQ(m_view.GetControlText(IDC_TIME_LABEL), "Time:");
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), "");
    EXPECT_EQ(m_view.GetControlText(IDC_INTERVAL), "");

    EXPECT_EQ(m_dlg.m_bStopWorker, 0);
    EXPECT_EQ(m_dlg.m_bDownloadMode, 0);
    EXPECT_EQ(m_dlg.m_bIntervalReceived, 0);
    EXPECT_EQ(m_dlg.m_bDistanceReceived, 0);
    EXPECT_EQ(m_dlg.m_RawLog.m_pRawData, nullptr);

    ASSERT_EQ(m_view.m_menuCommands.size(), 2u);
    EXPECT_EQ(m_view.m_menuCommands[0].first, "&About Quorvel...");
    EXPECT_EQ(m_view.m_menuCommands[0].second, 16u);
    EXPECT_EQ(m_view.m_menuCommands[1].second, unsigned{IDM_TRACKVIEW});
    EXPECT_FALSE(m_view.At(IDC_TRACK_VIEW).bEnabled);
    EXPECT_EQ(m_view.m_nIcon, IDR_MAINFRAME);
    EXPECT_TRUE(m_view.m_bCentered);
}

TEST_F(StartTest, RadioHandlersOnlySetTheMode) {
    const PickerTime before = Picker(2020, 3, 4, 5, 6, 7);
    for (int nId : {IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, IDC_TIME_TO_DATE, IDC_TIME_TO_TIME,
                    IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME}) {
        m_view.SetPickerTime(nId, before);
    }
    m_view.SetControlText(IDC_RECORDS, "12");
    m_view.m_log.clear();

    struct Click {
        int nId;
        int32_t nMode;
        int nClearedA;
        int nClearedB;
    };
    const Click clicks[] = {{IDC_BY_SIZE, 1, IDC_BY_TIME, IDC_ALL},
                            {IDC_ALL, 2, IDC_BY_TIME, IDC_BY_SIZE},
                            {IDC_BY_TIME, 0, IDC_BY_SIZE, IDC_ALL},
                            {IDC_ALL, 2, IDC_BY_TIME, IDC_BY_SIZE}};
    for (const Click& click : clicks) {
        // The radio group checks the clicked button itself before the handler runs.
        m_view.At(click.nId).bChecked = true;
        EXPECT_TRUE(m_dlg.OnCommand(click.nId));
        EXPECT_EQ(m_dlg.m_nSelectMode, click.nMode);
        EXPECT_TRUE(m_view.GetCheck(click.nId));
        EXPECT_FALSE(m_view.GetCheck(click.nClearedA));
        EXPECT_FALSE(m_view.GetCheck(click.nClearedB));
    }
    for (const std::string& entry : m_view.m_log) {
        EXPECT_TRUE(entry.starts_with("uncheck ")) << entry;
    }
    EXPECT_EQ(m_view.GetPickerTime(IDC_TIME_FROM_DATE), before);
    EXPECT_EQ(m_view.GetPickerTime(IDC_SIZE_FROM_TIME), before);
    EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), "12");
}

TEST_F(StartTest, TimeZoneOffsetFromSelectionOrTypedText) {
    struct Case {
        int nSelect;        // entry to pick first; -1 keeps the current one
        const char* typed;  // then text typed into the box; null types nothing
        int32_t nExpected;
    };
    const Case cases[] = {
        {24, nullptr, 0},     {23, nullptr, -1800},    {0, nullptr, -43200},
        {50, nullptr, 46800}, {40, "GMT+5:45", 20700}, {40, "GMT-3:30", -12600},
        {40, " GMT+0:00", 0}, {40, "Berlin", 28800},  // not a zone: the selected entry counts
        {24, "", 0},          {25, "GMT+99:00", 1800},
    };
    for (const Case& c : cases) {
        if (c.nSelect >= 0) m_view.SelectListEntry(IDC_TIME_ZONE, c.nSelect);
        if (c.typed) m_view.At(IDC_TIME_ZONE).strText = c.typed;
        EXPECT_EQ(m_dlg.GetTimeZone().OffsetAt(0), c.nExpected)
            << c.nSelect << " " << (c.typed ? c.typed : "");
    }
}

TEST_F(StartTest, NoSelectedZoneKeepsTheLastSelection) {
    m_view.SelectListEntry(IDC_TIME_ZONE, 30);  // GMT+3:00
    EXPECT_EQ(m_dlg.GetTimeZone().OffsetAt(0), 10800);
    m_view.At(IDC_TIME_ZONE).nSelected = -1;
    m_view.At(IDC_TIME_ZONE).strText = "somewhere";
    EXPECT_EQ(m_dlg.GetTimeZone().OffsetAt(0), 10800);
}

TEST(StartWithoutSelection, NoZoneEverSelectedIsGmt) {
    FakeDialogView view;
    CQuorvelDlg dlg(view);
    EXPECT_EQ(dlg.GetTimeZone().OffsetAt(0), 0);
}

TEST_F(StartTest, SystemCommandsOpenAboutOnlyForItsCommand) {
    EXPECT_TRUE(m_dlg.OnSysCommand(16, 0));
    EXPECT_TRUE(m_dlg.OnSysCommand(0x1F, 0));  // low four bits do not matter
    EXPECT_EQ(m_view.m_nAboutBoxes, 2);
    for (unsigned nCommand : {0xF020u, 0xF060u, 0xF010u, 0x30u, 0u}) {
        EXPECT_FALSE(m_dlg.OnSysCommand(nCommand, 0)) << nCommand;
    }
    EXPECT_EQ(m_view.m_nAboutBoxes, 2);
}

TEST_F(StartTest, EnterKeepsTheWindowOpen) {
    EXPECT_TRUE(m_dlg.OnCommand(IDOK));
    EXPECT_FALSE(m_view.m_nEndResult.has_value());
    EXPECT_TRUE(m_view.m_log.empty());
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(StartTest, LoggerButtonsWithoutAPortSayWhyAndSendNothing) {
    // No port listed: opening fails silently, the operations that need the port say so.
    const struct {
        int nId;
        bool bBox;
    } cases[] = {{IDC_OPEN_CLOSE, false}, {IDC_GET_DATA, true},   {IDC_DELETE, true},
                 {IDC_LOAD_CONFIG, true}, {IDC_SET_CONFIG, true}, {IDC_SCAN, false}};
    for (const auto& c : cases) {
        m_view.m_boxes.clear();
        EXPECT_TRUE(m_dlg.OnCommand(c.nId)) << c.nId;
        if (c.bBox) {
            ASSERT_EQ(m_view.m_boxes.size(), 1u) << c.nId;
            EXPECT_EQ(m_view.m_boxes[0].strHead, "Can't open COM port. Action cancelled.");
            EXPECT_EQ(m_view.m_boxes[0].strTitle, "Error");
            EXPECT_EQ(m_view.m_boxes[0].nStyle, 0x10u);
        } else {
            EXPECT_TRUE(m_view.m_boxes.empty()) << c.nId;
        }
        EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
        EXPECT_EQ(m_dlg.m_bPortOpened, 0);
    }
    EXPECT_TRUE(m_view.m_saveRequests.empty());
    EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "GET data from device");
}

TEST_F(StartTest, CloseWithThePortClosedEndsAtOnce) {
    m_dlg.OnClose();
    ASSERT_TRUE(m_view.m_nEndResult.has_value());
    EXPECT_EQ(*m_view.m_nEndResult, IDCANCEL);
    EXPECT_EQ(m_dlg.m_bStopWorker, 0);
    EXPECT_TRUE(m_view.m_log.empty());
}

TEST(InitialFolder, CutAtTheLastSeparator) {
    const struct {
        const char* path;
        const char* folder;
    } cases[] = {{"", ""},
                 {"track.dlg", "track.dlg"},
                 {"/home/u/logs/track.dlg", "/home/u/logs"},
                 {"/track.dlg", ""},
                 {"/home/u/logs/", "/home/u/logs"},
#ifdef _WIN32
                 {"C:\\logs\\track.dlg", "C:\\logs"}};
#else
                 {"C:\\logs\\track.dlg", "C:\\logs\\track.dlg"}};
#endif
    for (const auto& c : cases) EXPECT_EQ(InitialFolderOf(c.path), c.folder) << c.path;
}

}  // namespace
