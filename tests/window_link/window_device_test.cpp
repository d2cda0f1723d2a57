#include "WindowLinkFixture.h"

namespace {

class DeviceTest : public WindowLinkTest {
  protected:
    // The device tree changed, traced as with QUORVEL_TRACE=1; returns the trace.
    std::string TreeChanged() {
        ::setenv("QUORVEL_TRACE", "1", 1);
        ::testing::internal::CaptureStderr();
        intptr_t nResult = 0;
        (void)m_dlg.OnWndMsg(WM_DEVICECHANGE, 0x0007, 0, &nResult);
        ::unsetenv("QUORVEL_TRACE");
        // Only the device lines: a port traced on the same switch may add its own.
        std::istringstream captured(::testing::internal::GetCapturedStderr());
        std::string strTrace;
        for (std::string line; std::getline(captured, line);) {
            if (line.rfind("WM_DEVICECHANGE", 0) == 0) strTrace += line + "\n";
        }
        return strTrace;
    }
};

TEST_F(DeviceTest, ConnectionGoesOnWhileAnyPortRemains) {
    StartLogger(GeneratedMemory(10));
    Logger([](SimLogger& l) { l.SetSettings("0", "9", "8"); });
    m_dlg.OnOpenClose();
    ExpectOpenLook();
    // Another port is left, not the logger's: the open port is not looked for by name.
    m_ports = {{"/dev/ttyUSB7", ""}};
    EXPECT_EQ(TreeChanged(), "");
    ExpectOpenLook();
    EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), "/dev/ttyUSB7");
    m_dlg.OnLoadConfig();
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    EXPECT_EQ(m_view.GetControlText(IDC_DISTANCE), "8");
}

TEST_F(DeviceTest, LastPortGoneEndsTheConnection) {
    StartLogger(GeneratedMemory(10));
    m_dlg.OnOpenClose();
    m_dlg.OnLoadConfig();
    ASSERT_TRUE(Pump([&] { return Enabled(IDC_SET_CONFIG); }));
    m_view.m_log.clear();

    m_ports.clear();
    EXPECT_EQ(TreeChanged(), "WM_DEVICECHANGE.....Not found\nWM_DEVICECHANGE.....CloseCom\n");
    ExpectClosedLook();
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 0);
    // The settings controls go first, then the connection controls, in this order.
    const std::vector<std::string> tail(m_view.m_log.end() - 8, m_view.m_log.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"disable 1029", "disable 1017", "disable 1030",
                                              "disable 1032", "disable 1031", "enable 1006",
                                              "enable 1004", "enable 1005"}));
    EXPECT_TRUE(m_view.m_boxes.empty());

    // The logger back: the list offers it again, nothing opens by itself.
    m_ports = {{m_pRunner->PortPath(), ""}};
    EXPECT_EQ(TreeChanged(), "");
    EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), m_pRunner->PortPath());
    ExpectClosedLook();
}

TEST_F(DeviceTest, LoggerUnpluggedMidDownloadEndsItAsAborted) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    const std::vector<uint8_t> memory = GeneratedMemory(100);
    StartDownload("unplugged.dlg");
    ASSERT_FALSE(logger.ReceiveLine().empty());
    ASSERT_TRUE(
        logger.Send("dataCount=100\r\n===\r\n" + SimLogger::MakeBlock(0x0101, memory.data(), 12)));
    ASSERT_TRUE(Pump([&] { return m_view.GetControlText(IDC_SIZE_LABEL) == "12 / 100"; }));

    m_ports.clear();
    (void)TreeChanged();
    ExpectClosedLook();
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty(); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Abort download process."});
    ExpectIdleDownloadLook();
    EXPECT_EQ(ReadFileBytes(PathOf("unplugged.dlg")).size(), 240u);
}

TEST_F(DeviceTest, LoggerUnpluggedBeforeItsCountLineEndsTheDownload) {
    ScriptedLogger logger;
    ListPorts({logger.PortPath()});
    StartDownload("nothing.dlg");
    ASSERT_FALSE(logger.ReceiveLine().empty());
    m_ports.clear();
    (void)TreeChanged();
    ExpectClosedLook();
    ASSERT_TRUE(Pump([&] { return !m_view.m_boxes.empty(); }));
    EXPECT_EQ(BoxTexts(), std::vector<std::string>{"Abort download process."});
    ExpectIdleDownloadLook();
    EXPECT_FALSE(std::filesystem::exists(PathOf("nothing.dlg")));
}

}  // namespace
