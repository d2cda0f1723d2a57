// quorvel-cli sync against quorvel-sim processes: the logger is erased only after a complete,
// verified, written download; every fault before that leaves its memory as it was.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <map>
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
const std::string kSchemas = std::string(QUORVEL_SOURCE_DIR) + "/tests/data/schemas/";
// The sample's first and last fix in UTC.
const std::string kStem = "20090501T153000Z-20090501T161955Z";

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

// Every file of a folder with its bytes.
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& e : fs::directory_iterator(dir)) {
        files[e.path().filename().string()] = fs::is_regular_file(e) ? ReadFile(e.path()) : "/";
    }
    return files;
}

class SyncTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel_sync_" + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
        m_archive = m_dir / "archive";
    }
    void StartSim(std::vector<std::string> args) {
        args.insert(args.begin(), {kSim, "--file", kSample});
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
    // Ends the simulator; returns what it printed, its count of erase requests last.
    std::string StopSim() {
        if (m_simPid > 0) {
            kill(m_simPid, SIGTERM);
            EXPECT_EQ(Wait(m_simPid), 0);
        }
        m_simPid = -1;
        m_strPort.clear();
        return ReadFile(m_dir / "sim.out");
    }
    void TearDown() override {
        StopSim();
        fs::remove_all(m_dir);
    }
    // Runs quorvel-cli, through the shell when there is a prefix (ulimit).
    std::pair<int, std::string> Cli(std::vector<std::string> args, const std::string& prefix = "") {
        args.insert(args.begin(), kCli);
        if (!prefix.empty()) {
            std::string line = "trap '' XFSZ; " + prefix + "; exec";
            for (const std::string& arg : args) line += " '" + arg + "'";
            args = {"/bin/sh", "-c", line};
        }
        const pid_t pid = Spawn(args, m_dir / "cli.out");
        const int nExit = pid > 0 ? Wait(pid) : -1;
        return {nExit, ReadFile(m_dir / "cli.out")};
    }
    std::vector<std::string> Sync(std::vector<std::string> extra) {
        std::vector<std::string> args = {
            "sync", "--port", m_strPort, "--archive", m_archive.string(), "--tz", "UTC"};
        args.insert(args.end(), extra.begin(), extra.end());
        return args;
    }
    // The logger's memory, downloaded anew.
    std::string DownloadAgain() {
        const fs::path raw = m_dir / "again.dlg";
        fs::remove(raw);
        const auto [nExit, out] = Cli({"download", "--port", m_strPort, "-o", raw.string()});
        EXPECT_EQ(nExit, 0) << out;
        return ReadFile(raw);
    }

    fs::path m_dir;
    fs::path m_archive;
    pid_t m_simPid = -1;
    std::string m_strPort;
};

TEST_F(SyncTest, StoresOnceWritesTheFilesAndErasesOnlyAtTheEnd) {
    StartSim({"--no-pace"});
    // Another file has the name already: it stays, the download takes the next name.
    fs::create_directories(m_archive);
    std::ofstream(m_archive / (kStem + ".dlg")) << "an earlier file";
    auto [nExit, out] = Cli(Sync({"--gpx", "--kml-track", "--csv"}));
    ASSERT_EQ(nExit, 0) << out;
    const std::string sample = ReadFile(kSample);
    EXPECT_EQ(ReadFile(m_archive / (kStem + ".dlg")), "an earlier file");
    EXPECT_EQ(ReadFile(m_archive / (kStem + "-2.dlg")), sample);
    EXPECT_NE(out.find("600 records stored in " + (m_archive / kStem).string() + "-2.dlg"),
              std::string::npos)
        << out;
    if (std::system("command -v xmllint >/dev/null") == 0) {
        for (const auto& [file, schema] :
             {std::pair{".gpx", "gpx11-with-gpxtpx.xsd"}, std::pair{"-track.kml", "kml22gx.xsd"}}) {
            const std::string check = "xmllint --noout --nonet --schema " + kSchemas + schema +
                                      " '" + (m_archive / (kStem + "-2" + file)).string() +
                                      "' 2>/dev/null";
            EXPECT_EQ(std::system(check.c_str()), 0) << file;
        }
    }
    // The same memory again, now with the erase: recognised by its bytes, nothing new is stored,
    // the logger ends empty.
    const auto before = Snapshot(m_archive);
    EXPECT_EQ(before.size(), 5u);
    std::tie(nExit, out) = Cli(Sync({"--gpx", "--kml-track", "--csv", "--erase"}));
    EXPECT_EQ(nExit, 0) << out;
    EXPECT_NE(out.find("nothing new stored"), std::string::npos) << out;
    EXPECT_NE(out.find("Logger erased"), std::string::npos) << out;
    EXPECT_EQ(Snapshot(m_archive), before);
    std::tie(nExit, out) = Cli({"download", "--port", m_strPort, "-o", (m_dir / "x.dlg").string()});
    EXPECT_NE(out.find("No data in device."), std::string::npos) << out;
    EXPECT_NE(StopSim().find("erasures: 1"), std::string::npos);
}

// Each fault stops the sync at its step, says so, keeps what was written and sends no erase: the
// logger still holds every record.
TEST_F(SyncTest, EveryFaultStopsBeforeTheErase) {
    struct Fault {
        const char* legend;
        std::vector<std::string> sim;
        std::string prefix;  // for the command's shell
        const char* step;
        bool bStored;  // the download is in the archive under its span
    };
    const std::vector<Fault> faults = {
        {"corrupted block", {"--corrupt-block", "3"}, "", "download", false},
        {"stall", {"--stall-at", "2", "--stall-ms", "1500"}, "", "download", false},
        {"hang-up", {"--hangup-at", "2"}, "", "download", false},
        {"count differs", {"--announce", "595"}, "", "verify and store the download", false},
        {"disk full for the raw log", {}, "ulimit -f 8", "download", false},
        {"disk full for the outputs", {}, "ulimit -f 100", "write the output files", true},
        {"output name taken by a folder", {}, "", "write the output files", true},
    };
    const std::string sample = ReadFile(kSample);
    for (const Fault& f : faults) {
        SCOPED_TRACE(f.legend);
        fs::remove_all(m_archive);
        std::vector<std::string> sim = f.sim;
        sim.insert(sim.end(), {"--no-pace", "--fault-once"});
        StartSim(sim);
        if (std::string(f.legend).find("folder") != std::string::npos) {
            fs::create_directories(m_archive / (kStem + ".gpx"));
        }
        const auto [nExit, out] =
            Cli(Sync({"--gpx", "--kml", "--erase", "--timeout", "0.5"}), f.prefix);
        EXPECT_EQ(nExit, 1) << out;
        EXPECT_NE(out.find(std::string("Sync stopped at \"") + f.step + "\""), std::string::npos)
            << out;
        EXPECT_NE(out.find("The logger was not erased."), std::string::npos) << out;
        EXPECT_EQ(fs::exists(m_archive / (kStem + ".dlg")), f.bStored);
        // What arrived stays: whole records of the memory, in its order.
        for (const auto& [name, bytes] : Snapshot(m_archive)) {
            size_t nAt = 0;
            for (size_t i = 0; i < bytes.size() && nAt != std::string::npos; i += 20) {
                nAt = sample.find(bytes.substr(i, 20), nAt);
            }
            EXPECT_TRUE(!name.ends_with(".dlg") ||
                        (!bytes.empty() && bytes.size() % 20 == 0 && nAt != std::string::npos))
                << name;
        }
        if (std::string(f.legend) != "hang-up") {
            EXPECT_EQ(DownloadAgain(), sample);
        }
        EXPECT_NE(StopSim().find("erasures: 0"), std::string::npos);
    }
}

// Ctrl-C, SIGTERM and SIGHUP during the download: the command ends with the signal's status,
// keeps what arrived and never erases.
TEST_F(SyncTest, AStopSignalNeverErases) {
    const std::string sample = ReadFile(kSample);
    for (const int nSignal : {SIGINT, SIGTERM, SIGHUP}) {
        SCOPED_TRACE(nSignal);
        fs::remove_all(m_archive);
        StartSim({"--no-pace", "--stall-at", "5", "--stall-ms", "1500", "--fault-once"});
        std::vector<std::string> args = Sync({"--erase"});
        args.insert(args.begin(), kCli);
        const pid_t pid = Spawn(args, m_dir / "cli.out");
        const fs::path raw = m_archive / ("incomplete-download-" + std::to_string(pid) + ".dlg");
        // The five blocks before the stall are in.
        for (int i = 0; i < 500 && !(fs::exists(raw) && fs::file_size(raw) == 5 * 12 * 20); ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        kill(pid, nSignal);
        EXPECT_EQ(Wait(pid), 128 + nSignal);
        EXPECT_NE(ReadFile(m_dir / "cli.out").find("The logger was not erased."),
                  std::string::npos);
        // They stay, under their span.
        const auto files = Snapshot(m_archive);
        ASSERT_EQ(files.size(), 1u);
        EXPECT_TRUE(files.begin()->first.ends_with(".partial.dlg")) << files.begin()->first;
        EXPECT_EQ(files.begin()->second, sample.substr(0, 5 * 12 * 20));
        EXPECT_EQ(DownloadAgain(), sample);
        EXPECT_NE(StopSim().find("erasures: 0"), std::string::npos);
    }
}

}  // namespace
