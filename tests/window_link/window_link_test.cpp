#include "WindowLinkFixture.h"

namespace {

// A request as it goes on the line: body, "*XX!" with the XOR of the body's bytes, CR LF.
std::string Framed(const std::string& strBody) {
    unsigned nSum = 0;
    for (unsigned char c : strBody) nSum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!\r\n", nSum);
    return strBody + tail;
}

std::string Block(uint16_t nSequence, const std::vector<uint8_t>& memory, size_t nFirst,
                  size_t nRecords) {
    return SimLogger::MakeBlock(nSequence, memory.data() + nFirst * 20, nRecords);
}

TEST_F(WindowLinkTest, OpenCloseFollowsThePortAndEndsDownloadMode) {
    StartLogger(GeneratedMemory(10));
    for (int nRound = 0; nRound < 2; ++nRound) {
        m_dlg.m_bDownloadMode = 1;
        m_dlg.OnOpenClose();
        ExpectOpenLook();
        EXPECT_EQ(m_dlg.m_bDownloadMode, 0);

        m_dlg.m_bDownloadMode = 1;
        m_dlg.OnOpenClose();
        ExpectClosedLook();
        EXPECT_EQ(m_dlg.m_bDownloadMode, 0);
        EXPECT_EQ(m_dlg.m_bStopWorker, 0);
    }
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(WindowLinkTest, FailedOpenIsSilentAndLeavesThePortClosed) {
    StartLogger(GeneratedMemory(10));
    const struct {
        std::string name;
        std::string speed;
    } cases[] = {
        {"", "115200"},
        {"/dev/quorvel-no-such-port", "115200"},
        {"quorvel-no-such-tty", "115200"},
        {m_pRunner->PortPath(), "fast"},  // no speed in the speed box
    };
    for (const auto& c : cases) {
        m_view.SetControlText(IDC_PORT_LIST, c.name);
        m_view.SetControlText(IDC_BAUD_LIST, c.speed);
        m_dlg.m_bDownloadMode = 1;
        m_dlg.OnOpenClose();
        ExpectClosedLook();
        EXPECT_EQ(m_dlg.m_bDownloadMode, 0) << c.name;
    }
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(WindowLinkTest, PortNamesAsPathsOrUnderDevWithOrWithoutTheModelEnding) {
    StartLogger(GeneratedMemory(10));
    const std::string strPath = m_pRunner->PortPath();  // /dev/pts/N
    ASSERT_EQ(strPath.rfind("/dev/", 0), 0u);
    const std::string strShort = strPath.substr(5);  // pts/N, found under /dev/
    int nSetting = 0;
    for (const std::string& strName :
         {strPath, strPath + ":QM-518", strShort, strShort + ":QM-518"}) {
        const std::string strValue = std::to_string(++nSetting);
        Logger([&](SimLogger& l) { l.SetSettings("0", strValue, "34"); });
        m_view.SetControlText(IDC_PORT_LIST, strName);
        m_dlg.OnOpenClose();
        ExpectOpenLook();
        // The logger on that port answers.
        m_dlg.OnLoadConfig();
        ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); })) << strName;
        EXPECT_EQ(m_view.GetControlText(IDC_INTERVAL), strValue) << strName;
        m_dlg.OnOpenClose();
        ExpectClosedLook();
    }
}

TEST_F(WindowLinkTest, GetWithThePortClosedOpensItAndDownloadsTheLog) {
    const std::vector<uint8_t> memory = GeneratedMemory(600);
    StartLogger(memory);
    ASSERT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
    StartDownload("track.dlg");
    ExpectOpenLook();
    ASSERT_EQ(m_view.m_saveRequests.size(), 1u);
    const FileDialogRequest& request = m_view.m_saveRequests[0];
    ASSERT_EQ(request.filters.size(), 1u);
    EXPECT_EQ(request.filters[0].strLabel, "Data logger file(*.dlg)");
    EXPECT_EQ(request.filters[0].strPattern, "*.dlg");
    EXPECT_EQ(request.strDefaultExtension, "dlg");
    EXPECT_EQ(request.nOptions, unsigned{kHideReadOnly | kOverwritePrompt | kPathMustExist});
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), PathOf("track.dlg"));

    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty() && m_dlg.m_bDownloadMode == 0; }));
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_OPEN_CLOSE); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Download OK."});
    EXPECT_EQ(m_view.m_boxes[0].strTitle, "Info");
    EXPECT_EQ(m_view.m_boxes[0].nStyle, 0x40u);
    EXPECT_EQ(ReadFileBytes(PathOf("track.dlg")), std::string(memory.begin(), memory.end()));

    // The posts in order: start, rising counts below N, the result, then the load.
    const size_t nStart = Find("range 1018 0..600");
    ASSERT_NE(nStart, std::string::npos);
    std::vector<uint32_t> positions;
    const size_t nBox = Find("box Download OK.");
    ASSERT_NE(nBox, std::string::npos);
    for (size_t i = nStart; i < nBox; ++i) {
        if (m_view.m_log[i].rfind("position 1018 ", 0) == 0) {
            positions.push_back(static_cast<uint32_t>(std::stoul(m_view.m_log[i].substr(14))));
        }
    }
    ASSERT_GE(positions.size(), 2u);
    EXPECT_EQ(positions.front(), 0u);
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
    EXPECT_LT(positions.back(), 600u);
    EXPECT_NE(Find("text 1024 588 / 600"), std::string::npos);

    // Loaded after the box: counts and labels of the new file, the download look undone.
    EXPECT_EQ(m_dlg.m_RawLog.m_nRecordCount, 600u);
    ASSERT_NE(m_dlg.m_RawLog.m_pRawData, nullptr);
    EXPECT_EQ(m_view.GetControlText(IDC_SIZE_LABEL), FormatSizeLabel(600));
    EXPECT_TRUE(Visible(IDC_TIME_LABEL));
    EXPECT_TRUE(Visible(IDC_SIZE_LABEL));
    ExpectIdleDownloadLook();
    ExpectOpenLook();

    // The count line reached the list; the newest entry is selected.
    const auto& list = m_view.At(IDC_LOG_LIST);
    EXPECT_NE(std::find(list.entries.begin(), list.entries.end(),
                        std::pair<std::string, int64_t>{"dataCount=600\r\n", 0}),
              list.entries.end());
    EXPECT_EQ(list.nSelected, static_cast<int>(list.entries.size()) - 1);
}

TEST_F(WindowLinkTest, GetWithoutAnyPortSaysSoAndAsksNothing) {
    ListPorts({"/dev/quorvel-no-such-port"});
    m_dlg.OnGetData();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Can't open COM port. Action cancelled."});
    EXPECT_EQ(m_view.m_boxes[0].strTitle, "Error");
    EXPECT_EQ(m_view.m_boxes[0].nStyle, 0x10u);
    EXPECT_TRUE(m_view.m_saveRequests.empty());
    ExpectClosedLook();
    EXPECT_EQ(m_dlg.m_bDownloadMode, 0);
}

TEST_F(WindowLinkTest, SaveDialogCancelledStartsNothing) {
    StartLogger(GeneratedMemory(10));
    m_dlg.OnOpenClose();
    m_dlg.OnGetData();  // the dialog answers with nothing
    EXPECT_EQ(m_dlg.m_bDownloadMode, 0);
    EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "GET data from device");
    EXPECT_TRUE(Enabled(IDC_OPEN_CLOSE));
    // The logger hears the next request first.
    m_dlg.OnLoadConfig();
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(Logger([](SimLogger& l) { return l.Downloads(); }), 0);
}

TEST_F(WindowLinkTest, CancelWhileTheLoggerKeepsSendingEndsTwice) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    const std::vector<uint8_t> memory = GeneratedMemory(100);
    StartDownload("cut.dlg");
    EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "Cancel");
    for (int nId : {IDC_DELETE, IDC_OPEN_FILE, IDC_TRANSLATE, IDC_OPEN_CLOSE}) {
        EXPECT_FALSE(Enabled(nId)) << nId;
    }
    EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,LB"));
    ASSERT_TRUE(logger.Send("dataCount=100\r\n===\r\n" + Block(0x0101, memory, 0, 12)));
    ASSERT_TRUE(Pump([&] { return m_view.GetControlText(IDC_SIZE_LABEL) == "12 / 100"; }));

    m_dlg.OnGetData();  // the button reads Cancel
    ASSERT_TRUE(Pump([&] { return m_view.m_boxes.size() == 1; }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Abort download process."});
    ExpectIdleDownloadLook();

    // The logger goes on: the worker closes the file and says so once more.
    ASSERT_TRUE(logger.Send(Block(0x0102, memory, 12, 12)));
    ASSERT_TRUE(Pump([&] { return m_view.m_boxes.size() == 2; }));
    EXPECT_EQ(BoxTexts(),
              (std::vector<std::string>{"Abort download process.", "Abort download process."}));
    EXPECT_EQ(ReadFileBytes(PathOf("cut.dlg")).size(), 12u * 20u);
    ExpectIdleDownloadLook();
    EXPECT_FALSE(Visible(IDC_SIZE_LABEL));
}

TEST_F(WindowLinkTest, LoadConfigFillsAndEnablesTheSettings) {
    StartLogger(GeneratedMemory(10));
    Logger([](SimLogger& l) { l.SetSettings("0", "005", "0100"); });
    m_dlg.OnOpenClose();
    m_view.SetControlText(IDC_INTERVAL, "old");
    m_view.m_log.clear();
    m_dlg.OnLoadConfig();
    // Emptied and disabled before the request goes out.
    const size_t nEmptied = Find("text 1030 ");
    ASSERT_NE(nEmptied, std::string::npos);
    EXPECT_EQ(m_view.m_log[nEmptied], "text 1030 ");
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(m_view.GetControlText(IDC_INTERVAL), "005");
    EXPECT_EQ(m_view.GetControlText(IDC_DISTANCE), "0100");
    for (int nId : {IDC_SET_CONFIG, IDC_INTERVAL, IDC_DISTANCE, IDC_GPS_ALWAYS_ON}) {
        EXPECT_TRUE(Enabled(nId)) << nId;
    }
    EXPECT_EQ(m_dlg.m_bIntervalReceived, 1);
    EXPECT_EQ(m_dlg.m_bDistanceReceived, 1);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(WindowLinkTest, ReplyWithOnlyTheIntervalEnablesNothing) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    m_dlg.OnLoadConfig();
    EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,L1(C0,O2,OH)"));
    ASSERT_TRUE(logger.Send(Framed("VXs,VendrimaxQM-518,C0=1,O2=7") + "end\r\n"));
    ASSERT_TRUE(Pump([&] {
        const auto& entries = m_view.At(IDC_LOG_LIST).entries;
        return !entries.empty() && entries.back().first == "end\r\n";
    }));
    EXPECT_EQ(m_view.GetControlText(IDC_INTERVAL), "7");
    EXPECT_EQ(m_view.GetControlText(IDC_DISTANCE), "");
    EXPECT_EQ(m_dlg.m_bIntervalReceived, 1);
    EXPECT_EQ(m_dlg.m_bDistanceReceived, 0);
    for (int nId : {IDC_SET_CONFIG, IDC_INTERVAL, IDC_DISTANCE, IDC_GPS_ALWAYS_ON}) {
        EXPECT_FALSE(Enabled(nId)) << nId;
    }
}

TEST_F(WindowLinkTest, SetConfigSendsTheTextsAsTheyStand) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    const struct {
        std::string interval;
        std::string distance;
        bool bTicked;
        std::string body;
    } cases[] = {
        {"", "", false, "VXS,VendrimaxQM-518,3,0,C0=0,O2=,OH="},
        {"60", "15", false, "VXS,VendrimaxQM-518,3,0,C0=0,O2=60,OH=15"},
        {" 5x", "-1", true, "VXS,VendrimaxQM-518,3,0,C0=1,O2= 5x,OH=-1"},
    };
    for (const auto& c : cases) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_INTERVAL, c.interval);
        m_view.SetControlText(IDC_DISTANCE, c.distance);
        m_view.SetCheck(IDC_GPS_ALWAYS_ON, c.bTicked);
        m_dlg.OnSetConfig();
        EXPECT_EQ(logger.ReceiveLine(), Framed(c.body));
        ASSERT_EQ(BoxTexts(), std::vector<std::string>{"Set config OK."});
        EXPECT_EQ(m_view.m_boxes[0].strTitle, "Info");
        EXPECT_EQ(m_view.m_boxes[0].nStyle, 0u);
    }
}

// Values the logger must not get are refused whole: too long for one sentence, a line end that
// would start a second command (an erase), a character the line cannot carry as itself.
TEST_F(WindowLinkTest, SetConfigRefusesWhatCannotGoOutAsTyped) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    const struct {
        std::string interval;
        std::string distance;
        std::string reason;
    } cases[] = {
        {std::string(200, '1'), std::string(14, '2'), "too long"},
        {"6", "0\r\nVXC,VendrimaxQM-518,LC", "The distance holds a control character (U+000D"},
        {"5\xe2\x82\xac", "0", "The interval holds \"\xe2\x82\xac\" (U+20AC at character 2)"},
    };
    for (const auto& c : cases) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_INTERVAL, c.interval);
        m_view.SetControlText(IDC_DISTANCE, c.distance);
        m_dlg.OnSetConfig();
        ASSERT_EQ(m_view.m_boxes.size(), 1u) << c.reason;
        EXPECT_EQ(m_view.m_boxes[0].strTitle, "Error");
        EXPECT_NE(m_view.m_boxes[0].strText.find(c.reason), std::string::npos)
            << m_view.m_boxes[0].strText;
    }
    // Nothing went out: the next line the logger hears is the next request.
    m_view.SetControlText(IDC_INTERVAL, std::string(200, '1'));
    m_view.SetControlText(IDC_DISTANCE, std::string(13, '2'));
    m_dlg.OnSetConfig();
    EXPECT_EQ(logger.ReceiveLine(), Framed("VXS,VendrimaxQM-518,3,0,C0=0,O2=" +
                                           std::string(200, '1') + ",OH=" + std::string(13, '2')));
    EXPECT_EQ(m_view.m_boxes.back().strHead, "Set config OK.");
}

// A logger that never answers the download, or goes away in the middle of one: the window says so
// within its time-out, keeps what arrived, and is back to idle (closed, after a hang-up).
TEST_F(WindowLinkTest, NoAnswerAndHangUpEndTheDownload) {
    {
        ScriptedLogger logger;
        ListPorts({logger.PortPath()});
        StartDownload("silent.dlg");
        EXPECT_NE(logger.ReceiveLine().find("LB"), std::string::npos);
        ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty(); }));
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No answer from the logger."});
        ExpectIdleDownloadLook();
        m_dlg.OnOpenClose();
    }
    m_view.m_boxes.clear();
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    StartDownload("gone.dlg");
    EXPECT_NE(logger.ReceiveLine().find("LB"), std::string::npos);
    const std::vector<uint8_t> memory = GeneratedMemory(24);
    std::string block = "\x02$\xF8\xA1\x01\x01" + std::string(memory.begin(), memory.begin() + 240);
    uint8_t nSum = 0;
    for (size_t i = 2; i < block.size(); ++i) nSum ^= static_cast<uint8_t>(block[i]);
    ASSERT_TRUE(logger.Send("dataCount=24\r\n===\r\n" + block + static_cast<char>(nSum) + "!"));
    ASSERT_TRUE(Pump([&] { return Find("text 1024 12 / 24") != std::string::npos; }));
    logger.HangUp();
    const auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty() && Enabled(IDC_PORT_LIST); }));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(m_view.m_boxes[0].strHead,
              "The logger went away during the download (unplugged or switched off).");
    EXPECT_NE(m_view.m_boxes[0].strDetail.find("12 records"), std::string::npos);
    EXPECT_EQ(ReadFileBytes(PathOf("gone.dlg")), std::string(memory.begin(), memory.begin() + 240));
    ExpectIdleDownloadLook();
    ExpectClosedLook();
}

// From the start of a download the records of the file loaded before are no longer offered; after
// "Download OK." the file the download wrote is loaded, whatever the path box was given meanwhile.
TEST_F(WindowLinkTest, TranslateNeverExportsAnotherFileThanTheDownloadedOne) {
    const std::vector<uint8_t> first = GeneratedMemory(24);
    std::ofstream(PathOf("before.dlg"), std::ios::binary)
        .write(reinterpret_cast<const char*>(first.data()), 240);
    m_view.SetControlText(IDC_RAW_PATH, PathOf("before.dlg"));
    ASSERT_TRUE(m_dlg.LoadRawLogFile());

    SimFaults faults;
    faults.nHangUpBlock = 1;
    StartLogger(GeneratedMemory(600), faults);
    StartDownload("failed.dlg");
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty() && Enabled(IDC_TRANSLATE); }));
    m_view.m_boxes.clear();
    m_view.m_fileAnswers.push_back(PathOf("out.csv"));
    m_dlg.OnTranslate();
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"No raw data available."});
    EXPECT_FALSE(std::filesystem::exists(PathOf("out.csv")));
    m_view.m_fileAnswers.clear();

    StartLogger(GeneratedMemory(600));
    m_view.m_boxes.clear();
    StartDownload("good.dlg");
    m_view.SetControlText(IDC_RAW_PATH, PathOf("before.dlg"));  // typed during the download
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty() && Enabled(IDC_TRANSLATE); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Download OK."});
    EXPECT_EQ(m_view.GetControlText(IDC_RAW_PATH), PathOf("good.dlg"));
    EXPECT_EQ(m_dlg.m_RawLog.m_nRecordCount, 600u);
}

// The device goes away under an open port: the window ends the connection by itself, and every
// request after that says the port cannot be used; none pretends to have been sent.
TEST_F(WindowLinkTest, RequestsAfterTheDeviceWentAwayAreRefused) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    logger.HangUp();
    ASSERT_TRUE(Pump([&] { return m_dlg.m_hComPort == kInvalidPortHandle; }));
    ExpectClosedLook();

    m_dlg.OnSetConfig();
    StartDownload("never.dlg");
    m_dlg.OnLoadConfig();
    m_view.m_boxAnswers.push_back(BoxAnswer::Ok);
    m_dlg.OnDelete();
    ASSERT_EQ(m_view.m_boxes.size(), 4u);  // no question is asked without a port
    for (const auto& box : m_view.m_boxes) {
        EXPECT_EQ(box.strHead, "Can't open COM port. Action cancelled.");
        EXPECT_EQ(box.strTitle, "Error");
    }
    ExpectIdleDownloadLook();
    EXPECT_FALSE(std::filesystem::exists(PathOf("never.dlg")));
}

TEST_F(WindowLinkTest, DeleteAsksFirstAndSendsOnlyOnOk) {
    StartLogger(GeneratedMemory(10));
    m_view.m_boxAnswers.push_back(BoxAnswer::Cancel);
    m_dlg.OnDelete();  // opens the port first
    ExpectOpenLook();
    ASSERT_EQ(m_view.m_boxes.size(), 1u);
    EXPECT_EQ(m_view.m_boxes[0].strHead, "Delete data in device?");
    EXPECT_EQ(m_view.m_boxes[0].strTitle, "Question");
    EXPECT_EQ(m_view.m_boxes[0].nStyle, 0x21u);
    // A later request's answer shows that nothing went out before it.
    m_dlg.OnLoadConfig();
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(Logger([](SimLogger& l) { return l.Erasures(); }), 0);

    m_view.m_boxAnswers.push_back(BoxAnswer::Ok);
    m_dlg.OnDelete();
    ASSERT_TRUE(Pump([&] {
        const auto& entries = m_view.At(IDC_LOG_LIST).entries;
        return !entries.empty() && entries.back().first == "$OK,LC,ERASED\r\n";
    }));
    EXPECT_EQ(Logger([](SimLogger& l) { return l.Erasures(); }), 1);
    EXPECT_EQ(m_view.m_boxes.size(), 2u);  // no confirmation afterwards
}

TEST_F(WindowLinkTest, ReceivedLinesKeepTheNewest500) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    std::string strLines;
    for (int i = 0; i < 510; ++i) strLines += "line " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(logger.Send(strLines));
    const auto& list = m_view.At(IDC_LOG_LIST);
    ASSERT_TRUE(
        Pump([&] { return !list.entries.empty() && list.entries.back().first == "line 509\r\n"; }));
    EXPECT_EQ(list.entries.size(), 500u);
    EXPECT_EQ(list.entries.front().first, "line 10\r\n");
    EXPECT_EQ(list.nSelected, 499);
}

TEST_F(WindowLinkTest, ClosingTheWindowMidDownloadClosesTheFileWithoutABox) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    const std::vector<uint8_t> memory = GeneratedMemory(100);
    StartDownload("half.dlg");
    EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,LB"));
    ASSERT_TRUE(logger.Send("dataCount=100\r\n===\r\n" + Block(0x0101, memory, 0, 12)));
    ASSERT_TRUE(Pump([&] { return m_view.GetControlText(IDC_SIZE_LABEL) == "12 / 100"; }));

    m_dlg.OnClose();
    EXPECT_EQ(m_view.m_nEndResult, IDCANCEL);
    EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
    EXPECT_EQ(m_dlg.m_bStopWorker, 0);
    // The file holds what arrived, flushed and closed.
    EXPECT_EQ(ReadFileBytes(PathOf("half.dlg")), std::string(memory.begin(), memory.begin() + 240));
    // The window has ended: what the worker posted last shows nothing.
    m_view.DrainQueue(m_dlg);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(WindowLinkTest, ClosingWhileTheLoggerStreamsLeavesNoReaderBehind) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    const std::vector<uint8_t> memory = GeneratedMemory(100);
    for (int nRound = 0; nRound < 3; ++nRound) {
        const std::string strName = "round" + std::to_string(nRound) + ".dlg";
        m_view.SetControlText(IDC_SIZE_LABEL, "");
        StartDownload(strName);
        EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,LB"));
        ASSERT_TRUE(logger.Send("dataCount=100\r\n===\r\n" + Block(0x0101, memory, 0, 12)));
        ASSERT_TRUE(Pump([&] { return m_view.GetControlText(IDC_SIZE_LABEL) == "12 / 100"; }));
        // More is on its way while the port closes under the download.
        ASSERT_TRUE(logger.Send(Block(0x0102, memory, 12, 12) + Block(0x0103, memory, 24, 12)));
        m_dlg.OnOpenClose();
        ExpectClosedLook();
        EXPECT_EQ(m_dlg.m_bStopWorker, 0);
        ASSERT_TRUE(Pump([&] { return Enabled(IDC_OPEN_CLOSE); }));
        EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Abort download process."});
        ExpectIdleDownloadLook();
        const size_t nSize = ReadFileBytes(PathOf(strName)).size();
        EXPECT_TRUE(nSize == 240 || nSize == 480 || nSize == 720) << nSize;
        m_view.m_boxes.clear();
    }
}

}  // namespace
