// The window's logic as a user drives it, without a logger: raw logs opened and translated, the
// zone, the track view's choices and the worker's notifications.
#include <cstdio>
#include <sstream>

#include "protocol/DownloadResult.h"
#include "tests/common/WindowRig.h"

namespace {

// 2009-05-01 00:00:00 on the record scale: 3408 days after 2000-01-01.
constexpr uint32_t kStart = 3408 * 86400;

// A first start shows the system's zone: these tests run at GMT+8:00 (TZ in their environment).

PickerTime Local(uint16_t y, uint16_t mo, uint16_t d, uint16_t h, uint16_t mi) {
    PickerTime t;
    t.wYear = y, t.wMonth = mo, t.wDay = d, t.wHour = h, t.wMinute = mi;
    return t;
}

// The minutes after kStart of the GPS times in a CSV file's rows (its second field).
std::vector<int> CsvMinutes(const std::string& strPath) {
    std::istringstream in(ReadFile(strPath));
    std::vector<int> minutes;
    std::string line;
    for (std::getline(in, line); std::getline(in, line);) {
        minutes.push_back(std::stoi(line.substr(line.find(",=\"") + 17, 2)));
    }
    return minutes;
}

class TrackTest : public WindowTest {
  protected:
    // Ten records a minute apart from kStart, the third without a fix.
    void SetUp() override {
        WindowTest::SetUp();
        std::vector<Rec> records;
        for (uint32_t i = 0; i < 10; ++i) records.push_back({.dwTime = kStart + 60 * i});
        records[2].bFix = 0;
        Open(WriteLog("track.dlg", records));
    }
    // The date picker's time of day and the time picker's date must not count.
    void SetPair(int nDateId, int nTimeId, PickerTime t) {
        PickerTime date = t;
        date.wHour = 23;
        m_view.SetPickerTime(nDateId, date);
        t.wYear = 1999;
        m_view.SetPickerTime(nTimeId, t);
    }
    void Click(int nRadio) {
        for (int nId : {IDC_BY_TIME, IDC_BY_SIZE, IDC_ALL}) m_view.SetCheck(nId, nId == nRadio);
        ASSERT_TRUE(m_dlg.OnCommand(nRadio));
    }
    // Translate, the Save dialog answering strName in the test's folder and file type nFilter.
    std::string Translate(const std::string& strName, size_t nFilter = 0) {
        m_view.m_fileAnswers.push_back(FileDialogResult{PathOf(strName), nFilter});
        m_dlg.OnTranslate();
        return PathOf(strName);
    }
};

// The span label, and the pickers at its ends, in the zone chosen.
TEST_F(WindowTest, OpenShowsTheSpanInTheChosenZone) {
    const auto Shown = [&](int nDateId, int nTimeId) {
        const PickerTime d = m_view.GetPickerTime(nDateId), t = m_view.GetPickerTime(nTimeId);
        char text[64];
        std::snprintf(text, sizeof text, "%04u/%02u/%02u %02u:%02u:%02u", d.wYear, d.wMonth, d.wDay,
                      t.wHour, t.wMinute, t.wSecond);
        return std::string(text);
    };
    const struct {
        int nZone;  // entry of the zone list: 40 is GMT+8:00, 24 GMT, 22 GMT-1:00
        std::vector<Rec> records;
        const char* span;
    } rows[] = {
        {40,
         {{kStart + 1800}, {.dwTime = kStart + 1860, .bFix = 0}, {kStart + 35110}},
         "Time: 2009/05/01 08:30:00 ~ 2009/05/01 17:45:10"},
        // First and last in file order, not in time order.
        {24, {{5000}, {100}, {9000}, {3000}}, "Time: 2000/01/01 01:23:20 ~ 2000/01/01 00:50:00"},
        // West of GMT the scale's first second is on 1999-12-31.
        {22, {{0}}, "Time: 1999/12/31 23:00:00 ~ 1999/12/31 23:00:00"},
    };
    for (const auto& row : rows) {
        m_view.SelectListEntry(IDC_TIME_ZONE, row.nZone);
        Open(WriteLog("a.dlg", row.records));
        EXPECT_EQ(Text(IDC_TIME_LABEL), row.span);
        EXPECT_EQ(Text(IDC_SIZE_LABEL), "Size(Record): " + std::to_string(row.records.size()));
        EXPECT_TRUE(Visible(IDC_TIME_LABEL) && Visible(IDC_SIZE_LABEL));
        const std::string strFrom = Shown(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME);
        EXPECT_EQ("Time: " + strFrom + " ~ " + Shown(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME), row.span);
        EXPECT_EQ(Shown(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME), strFrom);
    }
    EXPECT_TRUE(m_view.m_boxes.empty());
}

// A file that is no raw log says why and leaves the labels of the file before; nothing is ever
// translated from records that are not the file the raw path names.
TEST_F(WindowTest, BadFilesAreRefusedAndNeverTranslated) {
    const struct {
        std::string path;
        const char* message;
    } rows[] = {
        {WriteFile(PathOf("empty.dlg"), ""), "No valid GPS data in raw file."},
        {WriteFile(PathOf("short.dlg"), std::string(39, '\1')), "Error data in raw file."},
        {WriteFile(PathOf("long.dlg"), std::string(41, '\1')), "Error data in raw file."},
        // Text of a whole number of records is no log either.
        {WriteFile(PathOf("notes.txt"), "Bring water. Caf\xc3\xa9 at the top, back by6\n"),
         "This is a text file, not a raw log: open a .dlg file that a download made."},
        {WriteFile(PathOf("t.gpx"), "\xef\xbb\xbf <?xml version=\"1.0\"?>\n<gpx>  </gpx>\n"),
         "This is an XML file (a GPX or KML track, say), not a raw log: open a .dlg file that a "
         "download made."},
        {m_dir.Path().string(), "Can't open raw data file."},
        {PathOf("missing.dlg"), "Can't open raw data file."},
    };
    for (const auto& row : rows) {
        m_view.m_boxes.clear();
        Open(WriteLog("good.dlg", {{1000}, {2000}}));
        const std::string strSpan = Text(IDC_TIME_LABEL);
        Open(row.path);
        ASSERT_EQ(m_view.BoxHeads(), std::vector<std::string>{row.message}) << row.path;
        EXPECT_EQ(m_view.m_boxes[0].strTitle, "Error");
        EXPECT_EQ(m_view.m_boxes[0].icon, BoxIcon::Error);
        EXPECT_EQ(Text(IDC_TIME_LABEL), strSpan);
        EXPECT_EQ(Text(IDC_RAW_PATH), row.path);
        m_dlg.OnTranslate();
        EXPECT_EQ(m_view.m_boxes.back().Head(), "No raw data available.") << row.path;
    }
    EXPECT_TRUE(m_view.m_saveRequests.empty());
    // Cancelling the Open dialog is no file either.
    m_view.m_boxes.clear();
    m_dlg.OnOpenFile();
    EXPECT_EQ(m_view.BoxHeads(), std::vector<std::string>{"Can't open raw data file."});
}

TEST_F(TrackTest, TranslateWritesTheRecordsTheChoicesSelect) {
    // Local times in GMT+8:00: minute m after 2009-05-01 08:00, the first record's time.
    const auto M = [](uint16_t m) { return Local(2009, 5, 1, 8, m); };
    const PickerTime kOther = M(8);  // the start pickers of the other mode
    const struct {
        int nRadio;
        PickerTime from, to;
        const char* records;
        bool bDrop;
        std::vector<int> minutes;
        const char* recordsAfter;
    } rows[] = {
        // The end is inclusive, the record without a fix dropped.
        {IDC_BY_TIME, M(2), M(5), "", true, {3, 4, 5}, "0"},
        // Reversed ends are exchanged.
        {IDC_BY_TIME, M(6), M(1), "1", false, {1, 2, 3, 4, 5, 6}, "1"},  // no limit either
        // A start before the record scale is its first second, not a wrap to its end.
        {IDC_BY_TIME, Local(1999, 12, 31, 23, 0), M(3), "", true, {0, 1, 3}, "0"},
        // By Size counts the records written, from its own start pickers.
        {IDC_BY_SIZE, M(1), kOther, "2", true, {1, 3}, "2"},
        {IDC_BY_SIZE, M(1), kOther, "2", false, {1, 2}, "2"},  // kept no-fix records count
        {IDC_BY_SIZE, M(6), kOther, "  3rd", true, {6, 7, 8}, "  3rd"},
        {IDC_BY_SIZE, M(6), M(1), "abc", true, {6, 7, 8, 9}, "0"},  // an earlier end: no swap
        {IDC_ALL, kOther, kOther, "-2", false, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, "-2"},
    };
    for (const auto& row : rows) {
        Click(row.nRadio);
        const bool bBySize = row.nRadio == IDC_BY_SIZE;
        SetPair(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, bBySize ? kOther : row.from);
        SetPair(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME, bBySize ? row.from : kOther);
        SetPair(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME, row.to);
        m_view.SetControlText(IDC_RECORDS, row.records);
        m_view.SetCheck(IDC_DROP_NOFIX, row.bDrop);
        EXPECT_EQ(CsvMinutes(Translate("out.csv")), row.minutes) << row.records;
        EXPECT_EQ(Text(IDC_RECORDS), row.recordsAfter);
    }
    EXPECT_EQ(m_view.BoxHeads(), std::vector<std::string>(std::size(rows), "Translate OK."));
}

// The extension, and for KML the file type chosen, pick the writer; failures say why.
TEST_F(TrackTest, TranslateFormatsAndFailures) {
    Click(IDC_ALL);
    fs::create_directory(PathOf("taken.kml"));
    const struct {
        const char* name;  // null: the dialog is cancelled
        size_t nFilter;
        const char* message;  // null: no box
        const char* content;
    } rows[] = {
        {nullptr, 0, nullptr, nullptr},
        {"out", 0, "Unknown file format.", nullptr},
        {"out.kml.bak", 0, "File format not supported.", nullptr},
        {"track.v2/out", 0, "File format not supported.", nullptr},  // the whole path's last dot
        {"missing/out.kml", 0, "Can't generate output file.", nullptr},
        {"taken.kml", 0, "Can't generate output file.", nullptr},
        {"p.KML", 0, "Translate OK.", "<Placemark>"},
        {"t.kml", 2, "Translate OK.", "<gx:Track>"},
        {"g.gpx", 3, "Translate OK.", "<trkpt "},
        {"c.txt", 0, "Translate OK.", "Local time,GPS time,"},
        {"j.geojson", 4, "Translate OK.", "{\"type\":\"FeatureCollection\""},
    };
    for (const auto& row : rows) {
        m_view.m_boxes.clear();
        const std::string strPath = row.name ? Translate(row.name, row.nFilter) : "";
        if (!row.name) m_dlg.OnTranslate();
        ASSERT_EQ(m_view.m_boxes.size(), row.message ? 1u : 0u) << strPath;
        if (!row.message) continue;
        const FakeDialogView::Box& box = m_view.m_boxes[0];
        EXPECT_EQ(box.Head(), row.message) << strPath;
        EXPECT_EQ(box.strTitle, row.content ? "Info" : "Error");
        EXPECT_EQ(Text(IDC_OUT_PATH), strPath);
        if (!row.content) continue;
        EXPECT_EQ(box.strText, "Translate OK.\n\n9 of 10 records written to " + strPath);
        EXPECT_NE(ReadFile(strPath).find(row.content), std::string::npos) << strPath;
    }
    // The loaded file's name and folder are offered, then the folder an output went to.
    EXPECT_EQ(m_view.m_saveRequests[0].strInitialName, "track.kml");
    EXPECT_EQ(m_view.m_saveRequests[0].strInitialFolder, m_dir.Path().string());
    EXPECT_EQ(m_view.m_saveRequests[5].strInitialFolder, PathOf("missing"));
    std::string strTypes;  // the file types offered, in order
    for (const FileFilter& f : m_view.m_saveRequests[0].filters) {
        strTypes += f.strLabel + f.strPattern;
    }
    EXPECT_EQ(strTypes,
              "Google earth file(*.kml)*.kmlExcel file(*.csv)*.csvGoogle Earth track(*.kml)*.kml"
              "GPS exchange file(*.gpx)*.gpxGeoJSON file(*.geojson)*.geojson"
              "Plain CSV file(*.csv)*.csv");
    // Nothing half-written is left beside the outputs.
    EXPECT_EQ(std::distance(fs::directory_iterator(m_dir.Path()), {}), 7);
}

// A zone picked or typed after loading moves the pickers so that they keep their instants, and the
// track view follows; a load that fails takes the records from the view.
TEST_F(TrackTest, PickersAndTrackViewFollowTheZone) {
    m_dlg.OnTrackView();
    ASSERT_TRUE(m_view.m_trackView && m_view.m_trackView->pImage);
    SetPair(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, Local(2009, 5, 1, 8, 3));
    const struct {
        const char* zone;  // typed; null: entry 24 (GMT+0:00) picked
        const char* span;
        uint16_t nHour, nMinute;  // the From picker
    } rows[] = {
        {nullptr, "Time: 2009/05/01 00:00:00 ~ 2009/05/01 00:09:00", 0, 3},
        {"GMT-3:30", "Time: 2009/04/30 20:30:00 ~ 2009/04/30 20:39:00", 20, 33},
        {"Europe/Berlin", "Time: 2009/05/01 02:00:00 ~ 2009/05/01 02:09:00", 2, 3},
        // Text that names no zone: the entry picked last counts.
        {"GMT+8:0x", "Time: 2009/05/01 00:00:00 ~ 2009/05/01 00:09:00", 0, 3},
    };
    for (const auto& row : rows) {
        if (row.zone) m_view.SetControlText(IDC_TIME_ZONE, row.zone);
        if (!row.zone) m_view.SelectListEntry(IDC_TIME_ZONE, 24);
        m_dlg.OnControlChange(IDC_TIME_ZONE);
        EXPECT_EQ(Text(IDC_TIME_LABEL), row.span);
        const PickerTime from = m_view.GetPickerTime(IDC_TIME_FROM_TIME);
        EXPECT_EQ(from.wHour * 60 + from.wMinute, row.nHour * 60 + row.nMinute) << row.span;
        EXPECT_EQ(m_view.m_trackView->selection.dwFromTime, kStart + 180) << row.span;
    }
    Open(WriteFile(PathOf("bad.dlg"), std::string(39, '\1')));
    EXPECT_EQ(m_view.m_trackView->pImage, nullptr);
    EXPECT_FALSE(Enabled(IDC_TRACK_VIEW));
    m_dlg.OnTrackView();
    EXPECT_EQ(m_view.m_boxes.back().Head(), "No raw data available.");
}

#ifndef _WIN32
// A first start (nothing remembered) takes the system's zone by its name, or as "local" when it
// has none; a later start the zone the user chose. (Windows reads its zone from the system.)
TEST(StartZone, SystemsOnFirstStartThenTheRemembered) {
    MemorySettingsStore store;
    const struct {
        const char* tz;
        bool bForget;  // nothing remembered
        const char* shown;
        int32_t nOffset;     // at kStart, May 2009 (zdump)
        const char* picked;  // typed before the window closes
    } rows[] = {
        {"Europe/Berlin", true, "Europe/Berlin", 7200, "GMT+5:45"},
        {"America/New_York", false, "GMT+5:45", 20700, nullptr},
        {"<-03>3", true, "local", -10800, nullptr},      // a rule, no zone of the database
        {"Asia/Tokyo", false, "local", 32400, nullptr},  // "local" follows the system
    };
    for (const auto& row : rows) {
        if (row.bForget) store.values.clear();
        ASSERT_EQ(setenv("TZ", row.tz, 1), 0);
        FakeDialogView view;
        CQuorvelDlg dlg{view, [] { return std::vector<SerialPortInfo>{}; }, 1000};
        view.m_pHandler = &dlg;
        dlg.SetSettingsStore(&store);
        ASSERT_TRUE(dlg.OnInitDialog());
        EXPECT_EQ(view.GetControlText(IDC_TIME_ZONE), row.shown) << row.tz;
        EXPECT_EQ(dlg.GetTimeZone().OffsetAt(kStart), row.nOffset) << row.tz;
        if (row.picked) view.SetControlText(IDC_TIME_ZONE, row.picked);
        dlg.OnClose();
    }
    ASSERT_EQ(setenv("TZ", "Etc/GMT-8", 1), 0);
}
#endif

// What the worker posts during a download, and every result it can end with.
TEST_F(WindowTest, NotificationsShowTheDownloadAndItsResult) {
    const std::string strGood = WriteLog("good.dlg", {{0}, {3600}, {7200}});
    const std::string strShort = WriteFile(PathOf("short.dlg"), std::string(41, '\1'));
    const struct {
        uint32_t nResult;
        std::vector<std::string> boxes;
        BoxIcon icon;
        const std::string& rawPath;
    } rows[] = {
        {DR_OK, {"Download OK."}, BoxIcon::Information, strGood},
        {DR_OK, {"Download OK.", "Error data in raw file."}, BoxIcon::Information, strShort},
        {DR_NO_DATA, {"No data in device."}, BoxIcon::Information, strGood},
        {DR_FILE_ERROR, {"Can't write raw data file."}, BoxIcon::Error, strGood},
        {DR_DATA_LOST, {"Data lost in download process."}, BoxIcon::Error, strGood},
        {DR_ABORTED, {"Abort download process."}, BoxIcon::Error, strGood},
        {DR_NO_ANSWER, {"No answer from the logger."}, BoxIcon::Error, strGood},
        {DR_MORE_THAN_ANNOUNCED,
         {"The logger sent more records than it announced: 0 kept."},
         BoxIcon::Error,
         strGood},
        {8, {}, BoxIcon::None, strGood},
    };
    for (const auto& row : rows) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_RAW_PATH, row.rawPath);
        for (int nId : {IDC_DELETE, IDC_OPEN_FILE, IDC_TRANSLATE, IDC_OPEN_CLOSE})
            m_view.EnableControl(nId, false);
        m_view.SetControlText(IDC_GET_DATA, "Cancel");
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, 600, 0);
        m_view.Drain();
        EXPECT_TRUE(Visible(IDC_PROGRESS) && Visible(IDC_SIZE_LABEL) && !Visible(IDC_TIME_LABEL));
        EXPECT_EQ(m_view.At(IDC_PROGRESS).nUpper, 600u);
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, 600, 240);
        m_view.Drain();
        EXPECT_EQ(m_view.At(IDC_PROGRESS).nPosition, 240u);
        EXPECT_EQ(Text(IDC_SIZE_LABEL), "240 / 600");

        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, row.nResult, 0);
        m_view.Drain();
        EXPECT_EQ(m_view.BoxHeads(), row.boxes) << row.nResult;
        EXPECT_EQ(m_view.m_boxes.empty() ? BoxIcon::None : m_view.m_boxes[0].icon, row.icon);
        ExpectIdle();
        // Only a good download leaves the new file loaded and its labels shown.
        const bool bLoaded = row.boxes.size() == 1 && row.nResult == DR_OK;
        EXPECT_TRUE(Visible(IDC_SIZE_LABEL) == bLoaded && Visible(IDC_TIME_LABEL) == bLoaded);
    }
    EXPECT_EQ(Text(IDC_TIME_LABEL), "Time: 2000/01/01 08:00:00 ~ 2000/01/01 10:00:00");
}

}  // namespace
