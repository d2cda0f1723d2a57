#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
const std::string kSim = std::string(QUORVEL_BINARY_DIR) + "/sim/quorvel-sim";
const std::string kSample = std::string(QUORVEL_SOURCE_DIR) + "/samples/sample.dlg";

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

pid_t Spawn(const std::vector<std::string>& args, const fs::path& output) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> argv;
    for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

int Wait(pid_t pid) {
    int status = 0;
    if (waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

struct Result {
    int nExit;
    std::string strOutput;  // standard output and error together
};

// A quorvel-sim process for the length of a test, and quorvel-cli runs against it.
class CliLinkTest : public ::testing::Test {
  protected:
    void StartSim(std::vector<std::string> args) {
        m_dir = fs::temp_directory_path() /
                ("quorvel_cli_link_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
        args.insert(args.begin(), kSim);
        m_simPid = Spawn(args, m_dir / "sim.out");
        ASSERT_GT(m_simPid, 0);
        for (int i = 0; i < 200 && m_strPort.empty(); ++i) {
            const std::string out = ReadFile(m_dir / "sim.out");
            if (out.rfind("/dev/", 0) == 0 && out.find('\n') != std::string::npos) {
                m_strPort = out.substr(0, out.find('\n'));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        ASSERT_FALSE(m_strPort.empty()) << ReadFile(m_dir / "sim.out");
    }
    void StopSim() {
        if (m_simPid > 0) {
            kill(m_simPid, SIGTERM);
            EXPECT_EQ(Wait(m_simPid), 0);  // the simulator ends cleanly on SIGTERM
        }
        m_simPid = -1;
        m_strPort.clear();
    }
    void TearDown() override {
        StopSim();
        fs::remove_all(m_dir);
    }
    Result Cli(std::vector<std::string> args) {
        args.insert(args.begin(), kCli);
        const pid_t pid = Spawn(args, m_dir / "cli.out");
        const int nExit = pid > 0 ? Wait(pid) : -1;
        return {nExit, ReadFile(m_dir / "cli.out")};
    }

    fs::path m_dir;
    pid_t m_simPid = -1;
    std::string m_strPort;
};

TEST_F(CliLinkTest, DownloadWritesTheLoggerMemory) {
    StartSim({"--file", kSample, "--no-pace"});
    const fs::path raw = m_dir / "out.dlg";
    const Result r = Cli({"download", "--port", m_strPort, "-o", raw.string()});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    EXPECT_NE(r.strOutput.find("Download OK."), std::string::npos) << r.strOutput;
    EXPECT_NE(r.strOutput.find("600 / 600"), std::string::npos) << r.strOutput;
    EXPECT_EQ(ReadFile(raw), ReadFile(kSample));
}

TEST_F(CliLinkTest, EraseThenDownloadFindsNoData) {
    StartSim({"--records", "30", "--no-pace"});
    Result r = Cli({"erase", "--port", m_strPort});  // input is not a terminal
    EXPECT_EQ(r.nExit, 2);
    EXPECT_NE(r.strOutput.find("--yes"), std::string::npos) << r.strOutput;
    r = Cli({"erase", "--port", m_strPort, "--yes"});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    r = Cli({"download", "--port", m_strPort, "-o", (m_dir / "none.dlg").string()});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strOutput.find("No data in device."), std::string::npos) << r.strOutput;
    EXPECT_FALSE(fs::exists(m_dir / "none.dlg"));
}

TEST_F(CliLinkTest, ConfigGetAndSet) {
    StartSim({"--no-pace", "--interval", "0010", "--distance", "25"});
    Result r = Cli({"config", "get", "--port", m_strPort});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    EXPECT_EQ(r.strOutput, "interval: 0010\ndistance: 25\n");
    r = Cli({"config", "set", "--port", m_strPort, "--interval", "60", "--distance", "0"});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    EXPECT_NE(r.strOutput.find("Set config OK."), std::string::npos) << r.strOutput;
    r = Cli({"config", "get", "--port", m_strPort});
    EXPECT_EQ(r.strOutput, "interval: 60\ndistance: 0\n");
    // Too long for one sentence: refused, nothing sent.
    r = Cli({"config", "set", "--port", m_strPort, "--interval", std::string(200, '1'),
             "--distance", std::string(14, '2')});
    EXPECT_EQ(r.nExit, 2);
    EXPECT_EQ(r.strOutput.find("Set config OK."), std::string::npos) << r.strOutput;
    r = Cli({"config", "get", "--port", m_strPort});
    EXPECT_EQ(r.strOutput, "interval: 60\ndistance: 0\n");
}

TEST_F(CliLinkTest, Failures) {
    StartSim({"--records", "60", "--no-pace"});
    Result r =
        Cli({"download", "--port", "/dev/quorvel-missing", "-o", (m_dir / "x.dlg").string()});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strOutput.find("Can't open COM port. Action cancelled."), std::string::npos);
    r = Cli({"download", "--port", m_strPort, "-o", (m_dir / "no_dir" / "x.dlg").string()});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strOutput.find("Can't write raw data file."), std::string::npos) << r.strOutput;
}

TEST_F(CliLinkTest, HangUpLosesData) {
    StartSim({"--records", "60", "--no-pace", "--hangup-at", "2"});
    const Result r = Cli(
        {"download", "--port", m_strPort, "-o", (m_dir / "lost.dlg").string(), "--timeout", "0.5"});
    EXPECT_EQ(r.nExit, 1);
    EXPECT_NE(r.strOutput.find("The logger went away"), std::string::npos) << r.strOutput;
    EXPECT_EQ(fs::file_size(m_dir / "lost.dlg"), 24u * 20u);  // the two blocks before the hang-up
}

// Ctrl-C, SIGTERM and SIGHUP cancel cleanly with the signal's status; even SIGKILL leaves whole
// blocks only, the start of the logger's memory.
TEST_F(CliLinkTest, EveryStopSignalLeavesWholeRecords) {
    const std::string sample = ReadFile(kSample);
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
        SCOPED_TRACE(nSignal);
        StartSim({"--file", kSample, "--baud", "9600"});
        const fs::path raw = m_dir / "part.dlg";
        fs::remove(raw);
        const pid_t pid =
            Spawn({kCli, "download", "--port", m_strPort, "-o", raw.string()}, m_dir / "cli.out");
        ASSERT_GT(pid, 0);
        for (int i = 0; i < 500 && !(fs::exists(raw) && fs::file_size(raw) > 0); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, nSignal);
        EXPECT_EQ(Wait(pid), 128 + nSignal);
        if (nSignal != SIGKILL) {
            EXPECT_NE(ReadFile(m_dir / "cli.out").find("Abort download process."),
                      std::string::npos);
        }
        const std::string part = ReadFile(raw);
        EXPECT_GT(part.size(), 0u);
        EXPECT_LT(part.size(), sample.size());
        EXPECT_EQ(part.size() % (12 * 20), 0u);
        EXPECT_EQ(part, sample.substr(0, part.size()));
        StopSim();
    }
}

// A value that would put a second command on the line never reaches the logger: its memory is
// all there afterwards.
TEST_F(CliLinkTest, SettingsThatAreNoNumbersAreRefusedBeforeAnythingIsSent) {
    StartSim({"--file", kSample, "--no-pace"});
    for (const std::vector<std::string>& values :
         {std::vector<std::string>{"6", "0\r\nVXC,VendrimaxQM-518,LC"}, {"65536", "0"},
          {"5\xe2\x82\xac", "0"}, {"5", "4294967296"}}) {
        const Result r = Cli({"config", "set", "--port", m_strPort, "--interval", values[0],
                              "--distance", values[1]});
        EXPECT_EQ(r.nExit, 2) << r.strOutput;
        EXPECT_EQ(r.strOutput.find("Set config OK."), std::string::npos) << r.strOutput;
    }
    const Result r = Cli({"download", "--port", m_strPort, "-o", (m_dir / "all.dlg").string()});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(m_dir / "all.dlg"), ReadFile(kSample));
}

// An existing file is replaced only with --force and only by a complete download; a failed one
// leaves it as it was and keeps what arrived beside it.
TEST_F(CliLinkTest, AnExistingFileIsNeverDamaged) {
    StartSim({"--records", "60", "--no-pace", "--hangup-at", "2"});
    const fs::path raw = m_dir / "keep.dlg";
    std::ofstream(raw, std::ios::binary) << "an earlier download";
    Result r = Cli({"download", "--port", m_strPort, "-o", raw.string()});
    EXPECT_EQ(r.nExit, 2) << r.strOutput;
    EXPECT_NE(r.strOutput.find("--force"), std::string::npos) << r.strOutput;
    r = Cli({"download", "--port", m_strPort, "-o", raw.string(), "--force"});
    EXPECT_EQ(r.nExit, 1) << r.strOutput;
    EXPECT_EQ(ReadFile(raw), "an earlier download");
    const fs::path partial = m_dir / "keep.partial.dlg";
    EXPECT_NE(r.strOutput.find(partial.string()), std::string::npos) << r.strOutput;
    EXPECT_EQ(fs::file_size(partial), 24u * 20u);
    StopSim();
    StartSim({"--file", kSample, "--no-pace"});
    r = Cli({"download", "--port", m_strPort, "-o", raw.string(), "--force"});
    EXPECT_EQ(r.nExit, 0) << r.strOutput;
    EXPECT_EQ(ReadFile(raw), ReadFile(kSample));
}

}  // namespace
