#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "../app/FakeDialogView.h"
#include "TrackGenerator.h"
#include "app/QuorvelDlg.h"
#include "app/Resource.h"
#include "sim/SimRunner.h"

inline std::vector<uint8_t> GeneratedMemory(uint32_t nRecords) {
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    options.nSeed = 11;
    return GenerateTrack(options);
}

inline std::string ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A logger whose every byte the test writes itself, on the master side of a pseudo-terminal; the
// window opens the slave side with its real serial port.
class ScriptedLogger {
  public:
    ScriptedLogger() {
        m_hMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
        if (m_hMaster < 0 || ::grantpt(m_hMaster) != 0 || ::unlockpt(m_hMaster) != 0) return;
        char name[128];
        if (::ptsname_r(m_hMaster, name, sizeof name) != 0) return;
        m_strPath = name;
    }
    ~ScriptedLogger() { HangUp(); }
    ScriptedLogger(const ScriptedLogger&) = delete;
    ScriptedLogger& operator=(const ScriptedLogger&) = delete;

    const std::string& PortPath() const { return m_strPath; }
    bool Send(const std::string& strBytes) {
        return ::write(m_hMaster, strBytes.data(), strBytes.size()) ==
               static_cast<ssize_t>(strBytes.size());
    }
    // Everything the window wrote until a whole line is in (at most 20 s).
    std::string ReceiveLine() {
        std::string strIn;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (strIn.find("\r\n") == std::string::npos &&
               std::chrono::steady_clock::now() < deadline) {
            pollfd pfd{m_hMaster, POLLIN, 0};
            if (::poll(&pfd, 1, 100) <= 0) continue;
            char buffer[256];
            const ssize_t n = ::read(m_hMaster, buffer, sizeof buffer);
            if (n <= 0) break;
            strIn.append(buffer, static_cast<size_t>(n));
        }
        return strIn;
    }
    // The device goes away: every further write on the port fails.
    void HangUp() {
        if (m_hMaster >= 0) ::close(m_hMaster);
        m_hMaster = -1;
    }

  private:
    int m_hMaster = -1;
    std::string m_strPath;
};

// The window over the fake view, its real serial port on a pseudo-terminal, and the simulated
// logger behind it (unpaced, so that a download takes no time).
class WindowLinkTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = std::filesystem::temp_directory_path() /
                ("quorvel-wlink-" + std::to_string(::getpid()) + "-" + info->name());
        std::filesystem::remove_all(m_dir);
        std::filesystem::create_directories(m_dir);
        ASSERT_TRUE(m_dlg.OnInitDialog());
        m_view.m_pPumpWhileBoxOpen = &m_dlg;
    }
    void TearDown() override {
        m_dlg.OnClose();
        std::filesystem::remove_all(m_dir);
    }

    std::string PathOf(const std::string& strName) const { return (m_dir / strName).string(); }

    // Starts the simulated logger and lists its port as the only one.
    void StartLogger(std::vector<uint8_t> memory, SimFaults faults = {}) {
        m_pLogger = std::make_unique<SimLogger>(std::move(memory), faults);
        m_pRunner = std::make_unique<SimRunner>(*m_pLogger, 230400, false);
        std::string strError;
        ASSERT_TRUE(m_pRunner->Open(strError)) << strError;
        ASSERT_TRUE(m_pRunner->Start());
        ListPorts({m_pRunner->PortPath()});
    }
    void ListPorts(const std::vector<std::string>& names) {
        m_ports.clear();
        for (const auto& name : names) m_ports.push_back({name, ""});
        m_dlg.ScanComPorts();
    }

    bool Pump(const std::function<bool()>& done) { return m_view.PumpUntil(m_dlg, done); }
    template <class F>
    auto Logger(F&& f) {
        return m_pRunner->WithLogger(std::forward<F>(f));
    }

    std::vector<std::string> BoxTexts() const {
        std::vector<std::string> texts;
        for (const auto& box : m_view.m_boxes) texts.push_back(box.strHead);
        return texts;
    }
    bool Enabled(int nId) { return m_view.At(nId).bEnabled; }
    bool Visible(int nId) { return m_view.At(nId).bVisible; }

    // The controls that the port's state decides.
    void ExpectOpenLook() {
        EXPECT_NE(m_dlg.m_hComPort, kInvalidPortHandle);
        EXPECT_EQ(m_dlg.m_bPortOpened, 1);
        EXPECT_FALSE(Enabled(IDC_SCAN));
        EXPECT_FALSE(Enabled(IDC_PORT_LIST));
        EXPECT_FALSE(Enabled(IDC_BAUD_LIST));
        EXPECT_TRUE(Enabled(IDC_LOAD_CONFIG));
    }
    void ExpectClosedLook() {
        EXPECT_EQ(m_dlg.m_hComPort, kInvalidPortHandle);
        EXPECT_EQ(m_dlg.m_bPortOpened, 0);
        EXPECT_TRUE(Enabled(IDC_SCAN));
        EXPECT_TRUE(Enabled(IDC_PORT_LIST));
        EXPECT_TRUE(Enabled(IDC_BAUD_LIST));
        for (int nId :
             {IDC_LOAD_CONFIG, IDC_SET_CONFIG, IDC_INTERVAL, IDC_DISTANCE, IDC_GPS_ALWAYS_ON}) {
            EXPECT_FALSE(Enabled(nId)) << nId;
        }
    }
    // No download shown: the buttons a download disables are back, the bar hidden.
    void ExpectIdleDownloadLook() {
        EXPECT_EQ(m_dlg.m_bDownloadMode, 0);
        EXPECT_EQ(m_view.GetControlText(IDC_GET_DATA), "GET data from device");
        for (int nId : {IDC_DELETE, IDC_OPEN_FILE, IDC_TRANSLATE, IDC_OPEN_CLOSE}) {
            EXPECT_TRUE(Enabled(nId)) << nId;
        }
        EXPECT_FALSE(Visible(IDC_PROGRESS));
    }

    // Starts a download into strName, the Save dialog answering with its path.
    void StartDownload(const std::string& strName) {
        m_view.m_fileAnswers.push_back(PathOf(strName));
        m_dlg.OnGetData();
    }
    // The position of the first log entry that starts with strPrefix at or after nFrom.
    size_t Find(const std::string& strPrefix, size_t nFrom = 0) const {
        for (size_t i = nFrom; i < m_view.m_log.size(); ++i) {
            if (m_view.m_log[i].rfind(strPrefix, 0) == 0) return i;
        }
        return std::string::npos;
    }

    std::unique_ptr<SimLogger> m_pLogger;
    std::unique_ptr<SimRunner> m_pRunner;
    std::filesystem::path m_dir;
    FakeDialogView m_view;
    std::vector<SerialPortInfo> m_ports;
    CQuorvelDlg m_dlg{m_view, [this] { return m_ports; }, 1000};
};
