#include <thread>

#include "WindowFixture.h"
#include "protocol/DownloadResult.h"

namespace {

using NotifyTest = WindowTest;

void Post(FakeDialogView& view, uint32_t nMessage, uint32_t wParam, uint32_t lParam = 0) {
    view.PostWindowMessage(nMessage, wParam, lParam);
}

std::vector<std::string> Tail(const std::vector<std::string>& log, size_t n) {
    return {log.end() - static_cast<std::ptrdiff_t>(n), log.end()};
}

TEST_F(NotifyTest, StartShowsBarAndCounterWithItsOldText) {
    Post(m_view, WM_DOWNLOAD_PROGRESS, 1000, 0);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(m_view.m_log, (std::vector<std::string>{"hide 1021", "show 1024", "show 1018",
                                                      "range 1018 0..1000", "position 1018 0"}));
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), "Size:");

    m_view.m_log.clear();
    Post(m_view, WM_DOWNLOAD_PROGRESS, 1000, 240);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(m_view.m_log,
              (std::vector<std::string>{"position 1018 240", "text 1024 240 / 1000"}));

    // A second start resets the bar.
    m_view.m_log.clear();
    Post(m_view, WM_DOWNLOAD_PROGRESS, 50, 0);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(m_view.At(IDC_PROGRESS).nUpper, 50u);
    EXPECT_EQ(m_view.At(IDC_PROGRESS).nPosition, 0u);
    EXPECT_TRUE(m_view.At(IDC_PROGRESS).bVisible);
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), "240 / 1000");
}

TEST_F(NotifyTest, StartAfterALoadKeepsTheRecordCount) {
    OpenFile(WriteLog("a.dlg", {Fix(10), Fix(20)}));
    Post(m_view, WM_DOWNLOAD_PROGRESS, 4294967295u, 0);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), "Size(Record): 2");
    EXPECT_FALSE(m_view.At(IDC_TIME_LABEL).bVisible);
    EXPECT_EQ(m_view.At(IDC_PROGRESS).nUpper, 4294967295u);
}

TEST_F(NotifyTest, EveryResultValue) {
    struct Case {
        uint32_t nResult;
        const char* text;  // null: no box
        const char* title;
        unsigned nStyle;
    };
    const Case cases[] = {
        {DR_NO_DATA, "No data in device.", "Info", MB_ICONINFORMATION},
        {DR_FILE_ERROR, "Can't write raw data file.", "Error", MB_ICONERROR},
        {DR_DATA_LOST, "Data lost in download process.", "Error", MB_ICONERROR},
        {DR_ABORTED, "Abort download process.", "Error", MB_ICONERROR},
        {DR_NO_ANSWER, "No answer from the logger.", "Error", MB_ICONERROR},
        {7, nullptr, nullptr, 0},
        {0xFFFFFFFFu, nullptr, nullptr, 0},
    };
    for (const Case& c : cases) {
        m_view.m_boxes.clear();
        m_view.m_log.clear();
        // The state a download leaves the window in.
        for (int nId : {IDC_DELETE, IDC_OPEN_FILE, IDC_TRANSLATE, IDC_OPEN_CLOSE}) {
            m_view.At(nId).bEnabled = false;
        }
        m_view.At(IDC_GET_DATA).strText = "Cancel";
        Post(m_view, WM_DOWNLOAD_PROGRESS, 10, 0);
        Post(m_view, WM_DOWNLOAD_PROGRESS, 10, 3);
        Post(m_view, WM_DOWNLOAD_DONE, c.nResult);
        m_view.DrainQueue(m_dlg);

        std::vector<std::string> expected = {"hide 1021", "hide 1024", "hide 1018"};
        if (c.text) {
            expected.push_back(std::string("box ") + c.text);
            expected.push_back(std::string("closed ") + c.text);
        }
        for (const char* entry : {"enable 1015", "enable 1010", "enable 1016", "enable 1007",
                                  "text 1009 GET data from device"}) {
            expected.push_back(entry);
        }
        EXPECT_EQ(Tail(m_view.m_log, expected.size()), expected) << c.nResult;
        ASSERT_EQ(m_view.m_boxes.size(), c.text ? 1u : 0u) << c.nResult;
        if (c.text) {
            EXPECT_EQ(m_view.m_boxes[0].strTitle, c.title);
            EXPECT_EQ(m_view.m_boxes[0].nStyle, c.nStyle);
        }
        EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "GET data from device");
        EXPECT_FALSE(m_view.At(IDC_PROGRESS).bVisible);
        EXPECT_FALSE(m_view.At(IDC_SIZE_LABEL).bVisible);
        EXPECT_EQ(m_dlg.m_RawLog.m_pRawData, nullptr) << c.nResult;
    }
}

TEST_F(NotifyTest, DownloadOkLoadsTheNewFile) {
    m_view.SetControlText(IDC_RAW_PATH, WriteLog("new.dlg", {Fix(0), Fix(3600), Fix(7200)}));
    Post(m_view, WM_DOWNLOAD_PROGRESS, 3, 0);
    Post(m_view, WM_DOWNLOAD_PROGRESS, 3, 2);
    Post(m_view, WM_DOWNLOAD_DONE, DR_OK);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Download OK."});
    EXPECT_EQ(m_view.m_boxes[0].strTitle, "Info");
    EXPECT_EQ(m_view.m_boxes[0].nStyle, MB_ICONINFORMATION);
    ASSERT_NE(m_dlg.m_RawLog.m_pRawData, nullptr);
    EXPECT_EQ(m_dlg.m_RawLog.m_nRecordCount, 3u);
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), "Size(Record): 3");
    EXPECT_EQ(m_view.GetControlText(IDC_TIME_LABEL),
              "Time: 2000/01/01 08:00:00 ~ 2000/01/01 10:00:00");
    EXPECT_TRUE(m_view.At(IDC_TIME_LABEL).bVisible);
    EXPECT_TRUE(m_view.At(IDC_SIZE_LABEL).bVisible);
    EXPECT_FALSE(m_view.At(IDC_PROGRESS).bVisible);
}

TEST_F(NotifyTest, DownloadOkThenAFailingLoad) {
    m_view.SetControlText(IDC_RAW_PATH, WriteBytes("short.dlg", std::vector<uint8_t>(41)));
    Post(m_view, WM_DOWNLOAD_DONE, DR_OK);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(BoxTexts(), (std::vector<std::string>{"Download OK.", "Error data in raw file."}));
    EXPECT_EQ(Tail(m_view.m_log, 10),
              (std::vector<std::string>{
                  "box Download OK.", "closed Download OK.", "disable 1033",
                  "box Error data in raw file.", "closed Error data in raw file.", "enable 1015",
                  "enable 1010", "enable 1016", "enable 1007", "text 1009 GET data from device"}));
    EXPECT_FALSE(m_view.At(IDC_TIME_LABEL).bVisible);
}

TEST_F(NotifyTest, SecondAbortOpensWhileTheFirstBoxIsOpen) {
    m_view.m_pPumpWhileBoxOpen = &m_dlg;
    Post(m_view, WM_DOWNLOAD_DONE, DR_ABORTED);
    Post(m_view, WM_DOWNLOAD_DONE, DR_ABORTED);
    m_view.DrainQueue(m_dlg);
    EXPECT_EQ(BoxTexts(), std::vector<std::string>(2, "Abort download process."));
    // The second box opens inside the first; each box's follow-up runs when it closes.
    const std::vector<std::string> restore = {"enable 1015", "enable 1010", "enable 1016",
                                              "enable 1007", "text 1009 GET data from device"};
    std::vector<std::string> expected = {"hide 1021",
                                         "hide 1024",
                                         "hide 1018",
                                         "box Abort download process.",
                                         "hide 1021",
                                         "hide 1024",
                                         "hide 1018",
                                         "box Abort download process.",
                                         "closed Abort download process."};
    expected.insert(expected.end(), restore.begin(), restore.end());
    expected.push_back("closed Abort download process.");
    expected.insert(expected.end(), restore.begin(), restore.end());
    EXPECT_EQ(m_view.m_log, expected);
}

TEST_F(NotifyTest, MessagesFromAnotherThreadArriveInOrder) {
    constexpr uint32_t kCount = 2000;
    std::thread worker([this] {
        m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, kCount, 0);
        for (uint32_t i = 1; i < kCount; ++i) {
            m_view.PostWindowMessage(WM_DOWNLOAD_PROGRESS, kCount, i);
        }
        m_view.PostTask([this] { m_view.m_log.push_back("task"); });
        m_view.PostWindowMessage(WM_DOWNLOAD_DONE, 99, 0);
    });
    worker.join();
    m_view.DrainQueue(m_dlg);
    std::vector<uint32_t> positions;
    for (const auto& entry : m_view.m_log) {
        if (entry.starts_with("position 1018 ")) {
            positions.push_back(static_cast<uint32_t>(std::stoul(entry.substr(14))));
        }
    }
    ASSERT_EQ(positions.size(), kCount);
    for (uint32_t i = 0; i < kCount; ++i) EXPECT_EQ(positions[i], i);
    // The task ran between the last progress and the result.
    const auto task = std::find(m_view.m_log.begin(), m_view.m_log.end(), "task");
    ASSERT_NE(task, m_view.m_log.end());
    EXPECT_EQ(*(task - 1), "text 1024 1999 / 2000");
    EXPECT_EQ(*(task + 1), "hide 1021");
}

TEST_F(NotifyTest, OtherMessagesChangeNothing) {
    intptr_t nResult = 5;
    EXPECT_FALSE(m_dlg.OnWndMsg(WM_USER, 1, 2, &nResult));
    EXPECT_FALSE(m_dlg.OnWndMsg(WM_DEVICECHANGE, 7, 0, &nResult));
    EXPECT_FALSE(m_dlg.OnWndMsg(WM_DOWNLOAD_PROGRESS, 5, 0, &nResult));
    EXPECT_EQ(nResult, 0);
    EXPECT_EQ(m_view.m_log.size(), 5u);  // only the start message did anything
}

}  // namespace
