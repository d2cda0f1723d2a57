#include <sys/stat.h>

#include "WindowFixture.h"
#include "export/OutputBuffer.h"
#include "export/TrackWriters.h"
#include "track/Calendar.h"

namespace {

uint32_t Seconds(uint16_t y, uint8_t mo, uint8_t d, uint8_t h, uint8_t mi, uint8_t s) {
    uint32_t dw = 0;
    EXPECT_TRUE(DateTimeToSeconds(LogDateTime{y, mo, d, h, mi, s}, dw));
    return dw;
}

class TranslateTest : public WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        // One record a minute from 2009-05-01 00:00:00 GPS time; record 3 has no fix.
        m_dwStart = Seconds(2009, 5, 1, 0, 0, 0);
        for (uint32_t i = 0; i < 10; ++i) {
            m_records.push_back(Fix(m_dwStart + 60 * i, i == 2 ? 0 : 2));
        }
        OpenFile(WriteLog("track.dlg", m_records));
        ASSERT_TRUE(m_view.m_boxes.empty());
        m_view.m_log.clear();
    }

    void SetPair(int nDateId, int nTimeId, const PickerTime& t) {
        // The date picker's time of day and the time picker's date must not matter.
        PickerTime date = t;
        date.wHour = 23;
        date.wMinute = 59;
        PickerTime time = t;
        time.wYear = 1999;
        time.wDay = 28;
        m_view.SetPickerTime(nDateId, date);
        m_view.SetPickerTime(nTimeId, time);
    }

    void Select(int nId) {
        m_view.At(IDC_BY_TIME).bChecked = nId == IDC_BY_TIME;
        m_view.At(IDC_BY_SIZE).bChecked = nId == IDC_BY_SIZE;
        m_view.At(IDC_ALL).bChecked = nId == IDC_ALL;
        ASSERT_TRUE(m_dlg.OnCommand(nId));
    }

    // Runs Translate with the Save dialog answering strName (in the test folder).
    std::string Translate(const std::string& strName) {
        const std::string strPath = PathOf(strName);
        m_view.m_fileAnswers.push_back(strPath);
        m_dlg.OnTranslate();
        return strPath;
    }

    // What the writers make of the loaded records for a selection, as the window should call them.
    std::string Expected(OutputFormat format, int32_t nMode, uint32_t dwFrom, uint32_t dwTo,
                         int32_t nLimit, bool bDrop, int32_t nOffset = 28800) {
        RecordSelection sel;
        sel.nSelectMode = nMode;
        sel.dwFromTime = dwFrom;
        sel.dwToTime = dwTo;
        sel.nLimit = nLimit;
        sel.bDropNoFix = bDrop;
        StringOutput out;
        if (format == OutputFormat::Kml) {
            (void)WriteKml(out, *m_dlg.m_RawLog.m_pRawData, sel, TimeZone::Fixed(nOffset));
        } else {
            (void)WriteCsv(out, *m_dlg.m_RawLog.m_pRawData, sel, TimeZone::Fixed(nOffset));
        }
        return out.Str();
    }

    uint32_t m_dwStart = 0;
    std::vector<FixRecord> m_records;
};

TEST_F(TranslateTest, FailureTable) {
    struct Case {
        const char* legend;
        std::optional<std::string> answer;  // the Save dialog's answer
        std::vector<std::string> boxes;
        bool bOutPathSet;
    };
    const Case cases[] = {
        {"cancelled", std::nullopt, {}, false},
        {"no dot", "/tmp/quorvel-out", {"Unknown file format."}, true},
        {"upper-case kml", "/tmp/x/out.KML", {"File format not supported."}, true},
        {"mixed-case csv", "/tmp/x/out.Csv", {"File format not supported."}, true},
        {"other extension", "/tmp/x/out.gpz", {"File format not supported."}, true},
        {"dot in a folder only", "/tmp/x.d/out", {"File format not supported."}, true},
        {"folder missing", "/nonexistent-quorvel/out.kml", {"Can't generate output file."}, true},
    };
    for (const Case& c : cases) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_OUT_PATH, "");
        m_view.SetControlText(IDC_RECORDS, "7");
        if (c.answer) {
            m_view.m_fileAnswers.push_back(*c.answer);
        }
        m_dlg.OnTranslate();
        EXPECT_EQ(BoxTexts(), c.boxes) << c.legend;
        for (const auto& box : m_view.m_boxes) {
            EXPECT_EQ(box.strTitle, "Error") << c.legend;
            EXPECT_EQ(box.nStyle, MB_ICONERROR) << c.legend;
        }
        EXPECT_EQ(m_view.GetControlText(IDC_OUT_PATH), c.bOutPathSet ? *c.answer : "") << c.legend;
        // Nothing was read from the records box: no output was created.
        EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), "7") << c.legend;
    }
    EXPECT_FALSE(std::filesystem::exists("/tmp/quorvel-out"));
}

TEST_F(TranslateTest, NoRecordsLoaded) {
    FakeDialogView view;
    CQuorvelDlg dlg(view);
    ASSERT_TRUE(dlg.OnInitDialog());
    dlg.OnTranslate();
    ASSERT_EQ(view.m_boxes.size(), 1u);
    EXPECT_EQ(view.m_boxes[0].strHead, "No raw data available.");
    EXPECT_EQ(view.m_boxes[0].strTitle, "Error");
    EXPECT_TRUE(view.m_saveRequests.empty());
    EXPECT_FALSE(dlg.WriteOutputFile({}));
}

TEST_F(TranslateTest, SaveDialogRequest) {
    // The loaded file's name and folder first; once an output went elsewhere, that folder.
    m_view.SetControlText(IDC_OUT_PATH, "/srv/out/old.kml");
    m_view.m_fileAnswers = {std::nullopt, "/srv/out/new.csv", std::nullopt};
    for (int i = 0; i < 3; ++i) m_dlg.OnTranslate();
    ASSERT_EQ(m_view.m_saveRequests.size(), 3u);
    EXPECT_EQ(m_view.m_saveRequests[0].strInitialFolder, m_dir.string());
    EXPECT_EQ(m_view.m_saveRequests[1].strInitialFolder, m_dir.string());
    EXPECT_EQ(m_view.m_saveRequests[2].strInitialFolder, "/srv/out");
    const FileDialogRequest& request = m_view.m_saveRequests[0];
    EXPECT_EQ(request.strInitialName, "track.kml");
    ASSERT_EQ(request.filters.size(), 4u);
    EXPECT_EQ(request.filters[0].strLabel, "Google earth file(*.kml)");
    EXPECT_EQ(request.filters[0].strPattern, "*.kml");
    EXPECT_EQ(request.filters[1].strLabel, "Excel file(*.csv)");
    EXPECT_EQ(request.filters[1].strPattern, "*.csv");
    EXPECT_EQ(request.filters[2].strLabel, "Google Earth track(*.kml)");
    EXPECT_EQ(request.filters[3].strPattern, "*.gpx");
    EXPECT_EQ(request.strDefaultExtension, "kml");
    EXPECT_EQ(request.nOptions, kOverwritePrompt | kHideReadOnly | kPathMustExist);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can't generate output file."});
}

// The Save dialog's file type decides between the two KML outputs; .gpx writes GPX. The box says
// how many records went where.
TEST_F(TranslateTest, TrackAndGpxTypesAndTheSummary) {
    Select(IDC_ALL);
    m_view.At(IDC_DROP_NOFIX).bChecked = false;
    const struct {
        const char* name;
        size_t nFilter;
        const char* marker;
    } cases[] = {{"t.kml", 2, "<gx:Track>"}, {"p.kml", 0, "<Placemark>"}, {"g.gpx", 3, "<trkpt "}};
    for (const auto& c : cases) {
        m_view.m_boxes.clear();
        m_view.m_fileAnswers.push_back(PathOf(c.name));
        m_view.m_filterAnswers.push_back(c.nFilter);
        m_dlg.OnTranslate();
        ASSERT_EQ(m_view.m_boxes.size(), 1u) << c.name;
        EXPECT_EQ(m_view.m_boxes[0].strHead, "Translate OK.");
        EXPECT_EQ(m_view.m_boxes[0].strDetail, std::to_string(m_dlg.m_RawLog.m_nRecordCount) +
                                                   " of " +
                                                   std::to_string(m_dlg.m_RawLog.m_nRecordCount) +
                                                   " records written to " + PathOf(c.name));
        EXPECT_NE(ReadFile(PathOf(c.name)).find(c.marker), std::string::npos) << c.name;
    }
}

TEST_F(TranslateTest, BoundsAreLocalPickersOnTheRecordScale) {
    // GMT+8:00: 08:02:00 local is record 3's 00:02:00 GPS time.
    SetPair(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, Picker(2009, 5, 1, 8, 2, 0));
    SetPair(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME, Picker(2009, 5, 1, 8, 5, 0));
    const std::string strOut = Translate("window.kml");
    EXPECT_EQ(m_dlg.m_RawLog.m_dwFromTime, m_dwStart + 120);
    EXPECT_EQ(m_dlg.m_RawLog.m_dwToTime, m_dwStart + 300);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Translate OK."});
    EXPECT_EQ(m_view.m_boxes[0].strTitle, "Info");
    EXPECT_EQ(m_view.m_boxes[0].nStyle, MB_ICONINFORMATION);
    EXPECT_EQ(ReadFile(strOut),
              Expected(OutputFormat::Kml, 0, m_dwStart + 120, m_dwStart + 300, 0, true));
    EXPECT_EQ(m_view.GetControlText(IDC_OUT_PATH), strOut);

    // Another zone moves the same picker values to other records.
    m_view.SelectListEntry(IDC_TIME_ZONE, 24);
    (void)Translate("window-gmt.kml");
    EXPECT_EQ(m_dlg.m_RawLog.m_dwFromTime, m_dwStart + 8 * 3600 + 120);
}

TEST_F(TranslateTest, ByTimeExchangesReversedBoundsOnly) {
    SetPair(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, Picker(2009, 5, 1, 8, 6, 0));
    SetPair(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME, Picker(2009, 5, 1, 8, 1, 0));
    const std::string strOut = Translate("swapped.csv");
    EXPECT_EQ(m_dlg.m_RawLog.m_dwFromTime, m_dwStart + 60);
    EXPECT_EQ(m_dlg.m_RawLog.m_dwToTime, m_dwStart + 360);
    EXPECT_EQ(ReadFile(strOut),
              Expected(OutputFormat::Csv, 0, m_dwStart + 60, m_dwStart + 360, 0, true));

    // By Size reads its own start pickers and leaves a later start alone.
    Select(IDC_BY_SIZE);
    SetPair(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME, Picker(2009, 5, 1, 8, 7, 0));
    m_view.SetControlText(IDC_RECORDS, "2");
    const std::string strSize = Translate("size.csv");
    EXPECT_EQ(m_dlg.m_RawLog.m_dwFromTime, m_dwStart + 420);
    EXPECT_EQ(m_dlg.m_RawLog.m_dwToTime, m_dwStart + 60);
    EXPECT_EQ(ReadFile(strSize),
              Expected(OutputFormat::Csv, 1, m_dwStart + 420, m_dwStart + 60, 2, true));
    EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), "2");
}

TEST_F(TranslateTest, BoundsAreStoredWhenTheSaveDialogIsCancelled) {
    SetPair(IDC_TIME_FROM_DATE, IDC_TIME_FROM_TIME, Picker(1999, 12, 31, 23, 0, 0));
    SetPair(IDC_TIME_TO_DATE, IDC_TIME_TO_TIME, Picker(2009, 5, 1, 8, 3, 0));
    m_dlg.OnTranslate();
    // A moment before the record scale is its first second: no wrap turns the window around.
    EXPECT_EQ(m_dlg.m_RawLog.m_dwFromTime, 0u);
    EXPECT_EQ(m_dlg.m_RawLog.m_dwToTime, m_dwStart + 180);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(TranslateTest, ExtensionChoosesTheWriter) {
    Select(IDC_ALL);
    m_view.At(IDC_DROP_NOFIX).bChecked = false;
    const struct {
        const char* name;
        OutputFormat format;
    } cases[] = {{"all.kml", OutputFormat::Kml},
                 {"all.csv", OutputFormat::Csv},
                 {"all.txt", OutputFormat::Csv},
                 {"all.v2.kml", OutputFormat::Kml}};
    for (const auto& c : cases) {
        const std::string strOut = Translate(c.name);
        EXPECT_EQ(ReadFile(strOut), Expected(c.format, 2, m_dlg.m_RawLog.m_dwFromTime,
                                             m_dlg.m_RawLog.m_dwToTime, 0, false))
            << c.name;
    }
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(4, "Translate OK."));
}

TEST_F(TranslateTest, RecordsBoxReadAsLimit) {
    Select(IDC_BY_SIZE);
    SetPair(IDC_SIZE_FROM_DATE, IDC_SIZE_FROM_TIME, Picker(2009, 5, 1, 8, 1, 0));
    const struct {
        const char* typed;
        const char* after;
        int32_t nLimit;
    } cases[] = {{"", "0", 0},     {"0", "0", 0},   {"abc", "0", 0}, {"  3rd", "  3rd", 3},
                 {"-2", "-2", -2}, {"+4", "+4", 4}, {"3", "3", 3}};
    for (const auto& c : cases) {
        m_view.SetControlText(IDC_RECORDS, c.typed);
        const std::string strOut = Translate("limit.csv");
        EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), c.after) << c.typed;
        EXPECT_EQ(ReadFile(strOut), Expected(OutputFormat::Csv, 1, m_dwStart + 60,
                                             m_dlg.m_RawLog.m_dwToTime, c.nLimit, true))
            << c.typed;
    }
    // The box is normalised in every mode.
    Select(IDC_BY_TIME);
    m_view.SetControlText(IDC_RECORDS, "none");
    (void)Translate("time.kml");
    EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), "0");
}

TEST_F(TranslateTest, OutputThatCannotBeFinishedIsNoSuccess) {
    // The target name is taken by a folder: the finished file cannot be moved into place.
    const std::string strTarget = PathOf("taken.kml");
    std::filesystem::create_directory(strTarget);
    m_view.SetControlText(IDC_RECORDS, "");
    (void)Translate("taken.kml");
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can't generate output file."});
    EXPECT_TRUE(std::filesystem::is_directory(strTarget));
    // The records box was read: the output had been created.
    EXPECT_EQ(m_view.GetControlText(IDC_RECORDS), "0");
    // No temporary file is left behind.
    size_t nFiles = 0;
    for (const auto& entry : std::filesystem::directory_iterator(m_dir)) {
        (void)entry;
        ++nFiles;
    }
    EXPECT_EQ(nFiles, 2u);  // track.dlg and the folder
}

}  // namespace
