#include <cstdlib>
#include <string>
#include <vector>

#include "WindowFixture.h"

namespace {

void SetTraceSwitch(bool bOn) {
#ifdef _WIN32
    (void)_putenv_s("QUORVEL_TRACE", bOn ? "1" : "");
#else
    if (bOn) {
        ::setenv("QUORVEL_TRACE", "1", 1);
    } else {
        ::unsetenv("QUORVEL_TRACE");
    }
#endif
}

class PortsTest : public WindowTest {
  protected:
    void SetPorts(const std::vector<std::string>& names) {
        m_ports.clear();
        for (const auto& name : names) m_ports.push_back({name, "test device"});
    }
    std::vector<std::string> ListedPorts() {
        std::vector<std::string> names;
        for (const auto& entry : m_view.At(IDC_PORT_LIST).entries) names.push_back(entry.first);
        return names;
    }
    // The device-change message as the platform delivers it; what it traced.
    std::string DeviceChange(uint32_t nCode, bool bTrace = true) {
        SetTraceSwitch(bTrace);
        ::testing::internal::CaptureStderr();
        intptr_t nResult = 0;
        EXPECT_FALSE(m_dlg.OnWndMsg(WM_DEVICECHANGE, nCode, 0, &nResult));
        SetTraceSwitch(false);
        return ::testing::internal::GetCapturedStderr();
    }
};

TEST_F(PortsTest, NoPortLeavesTheListAndItsTextEmpty) {
    SetPorts({"ttyUSB0"});
    m_dlg.ScanComPorts();
    ASSERT_EQ(g_bPortFound, 1);
    SetPorts({});
    m_dlg.ScanComPorts();
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 0);
    EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), "");
    EXPECT_EQ(g_bPortFound, 0);
}

TEST_F(PortsTest, PortsInOrderWithoutDuplicatesAndTheLastSelected) {
    const struct {
        std::vector<std::string> found;
        std::vector<std::string> listed;
        std::string selected;
    } cases[] = {
        {{"/dev/ttyUSB0"}, {"/dev/ttyUSB0"}, "/dev/ttyUSB0"},
        {{"/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS4"},
         {"/dev/ttyUSB1", "/dev/ttyACM0", "/dev/ttyS4"},
         "/dev/ttyS4"},
        // A port reported twice keeps its first place; the selection is the last one added.
        {{"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB0"},
         {"/dev/ttyUSB0", "/dev/ttyUSB1"},
         "/dev/ttyUSB1"},
        {{"COM7", "COM15", "COM7", "COM7"}, {"COM7", "COM15"}, "COM15"},
        // Names are compared exactly.
        {{"com3", "COM3"}, {"com3", "COM3"}, "COM3"},
    };
    for (const auto& c : cases) {
        SetPorts(c.found);
        m_dlg.ScanComPorts();
        EXPECT_EQ(ListedPorts(), c.listed);
        EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), c.selected);
        EXPECT_EQ(g_bPortFound, 1);
    }
}

TEST_F(PortsTest, ScanRebuildsTheListFromScratch) {
    SetPorts({"/dev/ttyUSB0", "/dev/ttyUSB1"});
    m_dlg.ScanComPorts();
    m_view.SetControlText(IDC_PORT_LIST, "typed");
    SetPorts({"/dev/ttyACM0"});
    m_dlg.ScanComPorts();
    EXPECT_EQ(ListedPorts(), std::vector<std::string>{"/dev/ttyACM0"});
    EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), "/dev/ttyACM0");
}

TEST_F(PortsTest, StartAndScanButtonScan) {
    FakeDialogView view;
    CQuorvelDlg dlg(view, [] { return std::vector<SerialPortInfo>{{"/dev/ttyUSB3", ""}}; });
    ASSERT_TRUE(dlg.OnInitDialog());
    EXPECT_EQ(view.GetControlText(IDC_PORT_LIST), "/dev/ttyUSB3");
    EXPECT_EQ(g_bPortFound, 1);

    SetPorts({"/dev/ttyUSB9"});
    EXPECT_TRUE(m_dlg.OnCommand(IDC_SCAN));
    EXPECT_EQ(ListedPorts(), std::vector<std::string>{"/dev/ttyUSB9"});
}

TEST_F(PortsTest, EveryEventCodeTracesItsNameOrNothing) {
    const struct {
        uint32_t nCode;
        const char* trace;
    } cases[] = {
        {0x0017, "WM_DEVICECHANGE.....DBT_QUERYCHANGECONFIG\n"},
        {0x0018, "WM_DEVICECHANGE.....DBT_CONFIGCHANGED\n"},
        {0x0019, "WM_DEVICECHANGE.....DBT_CONFIGCHANGECANCELED\n"},
        {0x001B, "WM_DEVICECHANGE.....DBT_MONITORCHANGE\n"},
        {0x8000, "WM_DEVICECHANGE.....DBT_DEVICEARRIVAL\n"},
        {0x8001, "WM_DEVICECHANGE.....DBT_DEVICEQUERYREMOVE\n"},
        {0x8002, "WM_DEVICECHANGE.....DBT_DEVICEQUERYREMOVEFAILED\n"},
        {0x8003, "WM_DEVICECHANGE.....DBT_DEVICEREMOVEPENDING\n"},
        {0x8004, "WM_DEVICECHANGE.....DBT_DEVICEREMOVECOMPLETE\n"},
        {0x8005, "WM_DEVICECHANGE.....DBT_DEVICETYPESPECIFIC\n"},
        {0xFFFF, "WM_DEVICECHANGE.....DBT_USERDEFINED\n"},
        {0x8006, ""},  // DBT_CUSTOMEVENT
        {0x0000, ""},
        {0x001A, ""},
        {0x0007, ""},  // the device tree: a re-scan, nothing traced without a connection
    };
    SetPorts({"/dev/ttyUSB0"});
    for (const auto& c : cases) {
        EXPECT_EQ(DeviceChange(c.nCode), c.trace) << c.nCode;
        EXPECT_EQ(DeviceChange(c.nCode, false), "") << c.nCode;
    }
    // Only the tree event touched the list: arrival and removal alone change nothing else.
    for (const std::string& entry : m_view.m_log) {
        EXPECT_EQ(entry.rfind("text", 0), std::string::npos) << entry;
        EXPECT_EQ(entry.rfind("enable", 0), std::string::npos) << entry;
    }
}

TEST_F(PortsTest, ArrivalAloneDoesNotRescan) {
    SetPorts({"/dev/ttyUSB0"});
    (void)DeviceChange(0x8000);
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 0);
    (void)DeviceChange(0x0007);
    EXPECT_EQ(ListedPorts(), std::vector<std::string>{"/dev/ttyUSB0"});
}

TEST_F(PortsTest, TreeChangeWithoutAConnectionRescansAndOpensNothing) {
    SetPorts({"/dev/ttyUSB0", "/dev/ttyUSB1"});
    EXPECT_EQ(DeviceChange(0x0007), "");
    EXPECT_EQ(ListedPorts(), (std::vector<std::string>{"/dev/ttyUSB0", "/dev/ttyUSB1"}));
    EXPECT_EQ(m_view.GetControlText(IDC_PORT_LIST), "/dev/ttyUSB1");
    EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
    EXPECT_EQ(m_dlg.m_bPortOpened, 0);

    // The last port gone: the list empties, and with no connection nothing else happens.
    SetPorts({});
    EXPECT_EQ(DeviceChange(0x0007), "");
    EXPECT_EQ(m_view.GetListCount(IDC_PORT_LIST), 0);
    EXPECT_TRUE(m_view.m_boxes.empty());
}

TEST(PortName, ModelEndingIsRemovedOnlyAtTheEnd) {
    const struct {
        const char* text;
        const char* name;
    } cases[] = {
        {"ttyUSB0:QM-518", "ttyUSB0"},
        {"/dev/ttyUSB0:QM-518", "/dev/ttyUSB0"},
        {"COM15:QM-518", "COM15"},
        {"ttyUSB0", "ttyUSB0"},
        {":QM-518", ""},
        {"ttyUSB0:QM-518 ", "ttyUSB0:QM-518 "},
        {"ttyUSB0:qm-518", "ttyUSB0:qm-518"},
        {"ttyUSB0:QM-518:QM-518", "ttyUSB0:QM-518"},
        {"QM-518", "QM-518"},
        {"", ""},
    };
    for (const auto& c : cases) EXPECT_EQ(PortNameFromListText(c.text), c.name) << c.text;
}

}  // namespace
