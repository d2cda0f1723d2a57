// The window with its real serial port on a pseudo-terminal: the simulator behind it, or a logger
// whose every byte is written here to misbehave at a chosen point.
#include <algorithm>
#include <cstdio>

#include "tests/common/WindowRig.h"

namespace {

// A request as it goes on the line: body, "*XX!" with the XOR of the body's bytes, CR LF.
std::string Framed(const std::string& strBody) {
    unsigned nSum = 0;
    for (unsigned char c : strBody) nSum ^= c;
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X!\r\n", nSum);
    return strBody + tail;
}

// Twelve records from record nFirst, as a block on the line.
std::string Block(uint16_t nSequence, const std::string& memory, size_t nFirst) {
    return SimLogger::MakeBlock(nSequence,
                                reinterpret_cast<const uint8_t*>(memory.data()) + 20 * nFirst, 12);
}

const std::vector<std::pair<std::string, int64_t>>& Lines(FakeDialogView& view) {
    return view.At(IDC_LOG_LIST).entries;
}

TEST_F(WindowTest, OpenCloseFollowsThePortNamed) {
    SimRunner& sim = StartSim(GeneratedMemory(10));
    const std::string strPath = sim.PortPath(), strShort = strPath.substr(5);  // pts/N in /dev/
    const struct {
        std::string port, speed;
        bool bOpens;
    } rows[] = {
        {strPath, "115200", true},
        {strPath + ":QM-518", "4800", true},
        {strShort, "230400", true},
        {strShort + ":QM-518", "115200", true},
        {"", "115200", false},
        {"/dev/quorvel-no-such-port", "115200", false},
        {"no-such-tty", "115200", false},
        {strPath, "fast", false},
    };
    int nRow = 0;
    for (const auto& row : rows) {
        const std::string strInterval = std::to_string(++nRow);
        sim.WithLogger([&](SimLogger& l) { l.SetSettings("0", strInterval, "34"); });
        m_view.SetControlText(IDC_PORT_LIST, row.port);
        m_view.SetControlText(IDC_BAUD_LIST, row.speed);
        m_dlg.OnOpenClose();
        ExpectConnected(row.bOpens);
        if (!row.bOpens) continue;
        // The logger on that port answers; closing takes the settings controls with it.
        m_dlg.OnLoadConfig();
        ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); })) << row.port;
        EXPECT_EQ(Text(IDC_INTERVAL), strInterval);
        m_dlg.OnOpenClose();
        ExpectConnected(false);
    }
    EXPECT_TRUE(m_view.m_boxes.empty());
}

// A download that the user, the logger or the system ends early: the window says so, keeps the
// whole records that arrived, ignores drops meanwhile, and is idle again.
TEST_F(WindowTest, DownloadsThatEndEarly) {
    const std::string memory = GeneratedMemory(100);
    const std::string strOther = WriteLog("other.dlg", {{0}});
    using Act = std::function<void(ScriptedLogger&)>;
    const Act nothing = [](ScriptedLogger&) {}, unplug = [&](ScriptedLogger&) { TreeChanged({}); };
    // The worker closes the file when the next bytes come, and says so once more.
    const Act cancel = [&](ScriptedLogger& logger) {
        m_dlg.OnGetData();
        ASSERT_TRUE(Pump([&] { return m_view.m_boxes.size() == 1; }));
        ASSERT_TRUE(logger.Send(Block(0x0102, memory, 12)));
    };
    const Act hangUp = [](ScriptedLogger& logger) { logger.HangUp(); };
    const Act closeWhileStreaming = [&](ScriptedLogger& logger) {
        ASSERT_TRUE(logger.Send(Block(0x0102, memory, 12) + Block(0x0103, memory, 24)));
        m_dlg.OnOpenClose();
    };
    const std::string kAbort = "Abort download process.";
    const struct {
        const char* legend;
        bool bCounted;  // the count line and twelve records arrived first
        Act act;
        std::vector<std::string> boxes;
        const char* detail;
        size_t nMostBytes;  // 0: no file
        bool bClosed;
    } rows[] = {
        {"silent", false, nothing, {"No answer from the logger."}, "", 0, false},
        {"unplugged early", false, unplug, {kAbort}, "", 0, true},
        {"cancelled", true, cancel, {kAbort, kAbort}, "", 240, false},
        {"hung up",
         true,
         hangUp,
         {"The logger went away during the download (unplugged or switched off)."},
         "12 records",
         240,
         true},
        {"unplugged", true, unplug, {kAbort}, "", 240, true},
        {"closed while it streams", true, closeWhileStreaming, {kAbort}, "", 720, true},
    };
    for (const auto& row : rows) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_SIZE_LABEL, "");
        ScriptedLogger logger;
        ListPorts({logger.PortPath()});
        const std::string strName = std::string(row.legend) + ".dlg", strFile = PathOf(strName);
        StartDownload(strName);
        EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,LB")) << row.legend;
        EXPECT_EQ(Text(IDC_GET_DATA), "Cancel");
        EXPECT_FALSE(Enabled(IDC_TRACK_VIEW) || Enabled(IDC_OPEN_FILE));
        if (row.bCounted) {
            ASSERT_TRUE(logger.Send("dataCount=100\r\n===\r\n" + Block(0x0101, memory, 0)));
            ASSERT_TRUE(Pump([&] { return Text(IDC_SIZE_LABEL) == "12 / 100"; })) << row.legend;
            m_dlg.OnDropFiles({strOther});
            EXPECT_EQ(Text(IDC_RAW_PATH), strFile);
        }
        row.act(logger);
        ASSERT_TRUE(Pump([&] {
            return m_view.m_boxes.size() >= row.boxes.size() && Enabled(IDC_OPEN_CLOSE);
        })) << row.legend;
        EXPECT_EQ(m_view.BoxHeads(), row.boxes) << row.legend;
        EXPECT_NE(m_view.m_boxes[0].strText.find(row.detail), std::string::npos) << row.legend;
        ExpectIdle();
        ExpectConnected(!row.bClosed);
        const std::string bytes = ReadFile(strFile);
        EXPECT_EQ(fs::exists(strFile), row.nMostBytes > 0) << row.legend;
        EXPECT_TRUE(bytes.size() % 240 == 0 && bytes.size() <= row.nMostBytes &&
                    memory.starts_with(bytes))
            << row.legend << ": " << bytes.size();
        if (!row.bClosed) m_dlg.OnOpenClose();
    }

    // Closing the window mid-download stops the worker first and closes the file, without a box.
    m_view.m_boxes.clear();
    m_view.SetControlText(IDC_SIZE_LABEL, "");
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    StartDownload("half.dlg");
    ASSERT_TRUE(logger.Send("dataCount=100\r\n===\r\n" + Block(0x0101, memory, 0)));
    ASSERT_TRUE(Pump([&] { return Text(IDC_SIZE_LABEL) == "12 / 100"; }));
    m_dlg.OnClose();
    EXPECT_EQ(m_view.m_nEndResult, IDCANCEL);
    EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
    EXPECT_EQ(ReadFile(PathOf("half.dlg")), memory.substr(0, 240));
    m_view.Drain();
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST_F(WindowTest, SettingsGoOutAsTypedOrNotAtAll) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    m_view.SetControlText(IDC_INTERVAL, "old");
    m_dlg.OnLoadConfig();
    EXPECT_EQ(Text(IDC_INTERVAL), "");
    EXPECT_EQ(logger.ReceiveLine(), Framed("VXC,VendrimaxQM-518,L1(C0,O2,OH)"));
    // A reply with one value fills it and enables nothing; with both the settings are usable.
    ASSERT_TRUE(logger.Send(Framed("VXs,VendrimaxQM-518,C0=1,O2=7") + "end\r\n"));
    ASSERT_TRUE(
        Pump([&] { return !Lines(m_view).empty() && Lines(m_view).back().first == "end\r\n"; }));
    EXPECT_EQ(Text(IDC_INTERVAL), "7");
    EXPECT_FALSE(Enabled(IDC_SET_CONFIG) || Enabled(IDC_INTERVAL));
    ASSERT_TRUE(logger.Send(Framed("VXs,VendrimaxQM-518,C0=0,O2=005,OH=0100")));
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(Text(IDC_DISTANCE), "0100");
    EXPECT_TRUE(Enabled(IDC_INTERVAL) && Enabled(IDC_DISTANCE) && Enabled(IDC_GPS_ALWAYS_ON));

    const struct {
        std::string interval, distance;
        bool bTicked;
        std::string sent;  // the sentence's body, or what the refusal says
    } rows[] = {
        {"", "", false, "VXS,VendrimaxQM-518,3,0,C0=0,O2=,OH="},
        {" 5x", "-1", true, "VXS,VendrimaxQM-518,3,0,C0=1,O2= 5x,OH=-1"},
        // Refused whole: too long for one sentence, a line end that would start a second
        // command (an erase), a character the line cannot carry as itself.
        {std::string(200, '1'), std::string(14, '2'), false, "too long"},
        {"6", "0\r\nVXC,VendrimaxQM-518,LC", false,
         "The distance holds a control character (U+000D"},
        {"5\xe2\x82\xac", "0", false,
         "The interval holds \"\xe2\x82\xac\" (U+20AC at character 2)"},
        // The next line on the wire is this one: nothing of the refused values went out.
        {std::string(200, '1'), std::string(13, '2'), false,
         "VXS,VendrimaxQM-518,3,0,C0=0,O2=" + std::string(200, '1') +
             ",OH=" + std::string(13, '2')},
    };
    for (const auto& row : rows) {
        m_view.m_boxes.clear();
        m_view.SetControlText(IDC_INTERVAL, row.interval);
        m_view.SetControlText(IDC_DISTANCE, row.distance);
        m_view.SetCheck(IDC_GPS_ALWAYS_ON, row.bTicked);
        m_dlg.OnSetConfig();
        ASSERT_EQ(m_view.m_boxes.size(), 1u) << row.sent;
        const FakeDialogView::Box& box = m_view.m_boxes[0];
        if (row.sent.starts_with("VXS")) {
            EXPECT_EQ(logger.ReceiveLine(), Framed(row.sent));
            EXPECT_EQ(box.strText, "Set config OK.");
            EXPECT_EQ(box.strTitle, "Info");
        } else {
            EXPECT_EQ(box.strTitle, "Error");
            EXPECT_NE(box.strText.find(row.sent), std::string::npos) << box.strText;
        }
    }
}

// From the start of a download the records loaded before are no longer offered; after
// "Download OK." the file the download wrote is loaded, whatever the raw path was given meanwhile.
TEST_F(WindowTest, NothingButTheDownloadedFileIsLoadedOrTranslated) {
    Open(WriteFile(PathOf("before.dlg"), GeneratedMemory(24)));
    SimFaults faults;
    faults.nHangUpBlock = 1;
    StartSim(GeneratedMemory(600), faults);
    StartDownload("failed.dlg");
    ASSERT_TRUE(Pump([&] {
        return !m_view.m_boxes.empty() && Enabled(IDC_TRANSLATE) &&
               m_dlg.m_hComPort == kInvalidPortHandle;  // the hang-up seen, not just the box
    }));
    EXPECT_FALSE(Enabled(IDC_TRACK_VIEW));
    m_view.m_boxes.clear();
    m_dlg.OnTranslate();
    EXPECT_EQ(m_view.BoxHeads(), std::vector<std::string>{"No raw data available."});

    StartSim(GeneratedMemory(600));
    m_view.m_boxes.clear();
    StartDownload("good.dlg");
    m_view.SetControlText(IDC_RAW_PATH, PathOf("before.dlg"));  // typed during the download
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty() && Enabled(IDC_TRANSLATE); }));
    EXPECT_EQ(m_view.BoxHeads(), std::vector<std::string>{"Download OK."});
    EXPECT_EQ(Text(IDC_RAW_PATH), PathOf("good.dlg"));
    EXPECT_EQ(Text(IDC_SIZE_LABEL), "Size(Record): 600");
}

// Without a port, or after its device went away, every request says the port cannot be used and
// none pretends to have been sent.
TEST_F(WindowTest, RequestsWithoutAPortAreRefused) {
    ListPorts({"/dev/quorvel-no-such-port"});
    m_dlg.OnGetData();
    EXPECT_TRUE(m_view.m_saveRequests.empty());
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    logger.HangUp();
    ASSERT_TRUE(Pump([&] { return m_dlg.m_hComPort == kInvalidPortHandle; }));
    ExpectConnected(false);
    m_dlg.OnSetConfig();
    m_dlg.OnLoadConfig();
    StartDownload("never.dlg");
    m_dlg.OnDelete();  // no question without a port
    EXPECT_EQ(m_view.BoxHeads(),
              std::vector<std::string>(5, "Can't open COM port. Action cancelled."));
    for (const auto& box : m_view.m_boxes) EXPECT_EQ(box.icon, BoxIcon::Error);
    ExpectIdle();
    EXPECT_FALSE(fs::exists(PathOf("never.dlg")));
}

TEST_F(WindowTest, TheListKeepsTheNewest500LinesAndCountsBinary) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    m_dlg.OnOpenClose();
    std::string strLines;
    for (int i = 0; i < 510; ++i) strLines += "line " + std::to_string(i) + "\r\n";
    ASSERT_TRUE(logger.Send(strLines + std::string("\x01\x02\0\x03\r\n", 6) + "end\r\n"));
    ASSERT_TRUE(
        Pump([&] { return !Lines(m_view).empty() && Lines(m_view).back().first == "end\r\n"; }));
    const auto& lines = Lines(m_view);
    ASSERT_EQ(lines.size(), 500u);
    EXPECT_EQ(lines.front().first, "line 12\r\n");
    EXPECT_EQ(lines[498].first, "[6 binary bytes skipped]");
    EXPECT_EQ(m_view.At(IDC_LOG_LIST).nSelected, 499);
}

TEST_F(WindowTest, TheConnectionLastsWhileAnyPortRemains) {
    SimRunner& sim = StartSim(GeneratedMemory(10));
    sim.WithLogger([](SimLogger& l) { l.SetSettings("0", "9", "8"); });
    m_dlg.OnOpenClose();
    // Another port is left, not the logger's: the open port is not looked for by name.
    TreeChanged({"/dev/ttyUSB7"});
    ExpectConnected(true);
    m_dlg.OnLoadConfig();
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(Text(IDC_DISTANCE), "8");
    TreeChanged({});
    ExpectConnected(false);
    // The logger back: listed again, and nothing opens by itself.
    TreeChanged({sim.PortPath()});
    EXPECT_EQ(Text(IDC_PORT_LIST), sim.PortPath());
    ExpectConnected(false);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

// The settings controls hear of every open and close, the one the device's loss causes too.
TEST_F(WindowSectionTest, PortTellsOfEachOpenAndClose) {
    ScriptedLogger logger;
    const std::vector<SerialPortInfo> ports = {{logger.PortPath(), ""}, {logger.PortPath(), ""}};
    PortSection port(
        m_view, m_link, [&] { return ports; }, m_others);
    port.ScanComPorts();
    port.FillBaudRateList();
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 1);
    EXPECT_TRUE(port.EnsurePortOpen());
    EXPECT_FALSE(Enabled(IDC_PORT_LIST));
    port.OnPortLost();
    port.OnPortLost();
    EXPECT_TRUE(Enabled(IDC_PORT_LIST));
    m_view.SetControlText(IDC_PORT_LIST, "/dev/quorvel-no-such-port");
    EXPECT_FALSE(port.EnsurePortOpen());
    EXPECT_EQ(m_view.BoxHeads(),
              std::vector<std::string>{"Can't open COM port. Action cancelled."});
    EXPECT_EQ(m_others.calls, (std::vector<std::string>{"opened", "closed"}));
}

// The folders of a download and of a translation are offered again after a restart: a new window
// over the same store, with nothing in the path boxes (and a raw log named without a folder).
TEST(WindowRestart, DownloadAndOutputFoldersAreOfferedAgain) {
    TempDir dir;
    fs::create_directories(dir.Path() / "raw");
    fs::create_directories(dir.Path() / "out");
    WriteFile(dir.Path() / "raw" / "t.dlg", Records({{1000}, {2000}}));
    const fs::path home = fs::current_path();
    fs::current_path(dir.Path() / "raw");
    MemorySettingsStore store;
    ScriptedLogger logger;
    const std::vector<SerialPortInfo> ports = {{logger.PortPath(), ""}};
    std::vector<std::string> offered;
    for (const bool bFirst : {true, false}) {
        FakeDialogView view;
        CQuorvelDlg dlg{view, [&] { return ports; }, 1000};
        view.m_pHandler = &dlg;
        dlg.SetSettingsStore(&store);
        ASSERT_TRUE(dlg.OnInitDialog());
        if (bFirst) view.m_fileAnswers.push_back(FileDialogResult{dir / "raw/a.dlg"});
        dlg.OnGetData();
        EXPECT_TRUE(dlg.OpenRawLogPath("t.dlg"));
        if (bFirst) view.m_fileAnswers.push_back(FileDialogResult{dir / "out/t.kml"});
        dlg.OnTranslate();
        dlg.OnClose();
        for (const FileDialogRequest& request : view.m_saveRequests) {
            offered.push_back(request.strInitialFolder);
        }
    }
    fs::current_path(home);
    EXPECT_EQ(offered, (std::vector<std::string>{"", "", dir / "raw", dir / "out"}));
}

}  // namespace
