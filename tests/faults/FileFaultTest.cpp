// Faults of the disk and of files: a full disk under the raw file and under the translation
// output, folders that refuse writes, raw files that cannot be read, are huge, or change while
// they are loaded. Each ends in a clear outcome and leaves what was on disk before intact.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "FaultRig.h"
#include "track/RawLog.h"

namespace fs = std::filesystem;

namespace {

const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
const std::string kSample = std::string(QUORVEL_SOURCE_DIR) + "/samples/sample.dlg";

std::string ReadAll(const fs::path& path) {
    return ReadFileBytes(path);
}

void Put(const fs::path& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

struct RunResult {
    int status = -1;
    std::string out;
    std::string err;
};

class FileFaultTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_dir = fs::temp_directory_path() /
                ("quorvel_filefault_" + std::to_string(::getpid()) + "_" + info->name());
        fs::remove_all(m_dir);
        fs::create_directories(m_dir);
    }
    void TearDown() override {
        for (const fs::path& mount : m_mounts) ::umount2(mount.c_str(), MNT_DETACH);
        std::error_code error;
        fs::permissions(m_dir / "locked", fs::perms::owner_all, error);
        fs::remove_all(m_dir, error);
    }

    // A folder on a tmpfs of nBytes (read-only when asked): a real full disk, or a folder that
    // refuses writes even to root. Needs the right to mount (CI runs as root).
    bool SmallDisk(const fs::path& dir, size_t nBytes, bool bReadOnly = false) {
        fs::create_directories(dir);
        const std::string options = "size=" + std::to_string(nBytes);
        const unsigned long flags = bReadOnly ? MS_RDONLY : 0;
        if (::mount("tmpfs", dir.c_str(), "tmpfs", flags, options.c_str()) != 0) return false;
        m_mounts.push_back(dir);
        return true;
    }

    RunResult Cli(const std::string& args) {
        const fs::path out = m_dir / "stdout.txt";
        const fs::path err = m_dir / "stderr.txt";
        RunResult r;
        const std::string line = "'" + kCli + "' " + args + " >'" + out.string() + "' 2>'" +
                                 err.string() + "' </dev/null";
        const int status = std::system(line.c_str());
        r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        r.out = ReadAll(out);
        r.err = ReadAll(err);
        return r;
    }

    size_t FilesIn(const fs::path& dir) {
        size_t n = 0;
        for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir)) ++n;
        return n;
    }

    fs::path m_dir;
    std::vector<fs::path> m_mounts;
};

// Runs body in a child process (which may change its limits or identity) and returns its exit
// code; a child killed by a signal gives -signal.
int InChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) ::_exit(body());
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return -1000;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status);
}

bool IsPrefixOf(const std::string& part, const std::string& whole) {
    return part.size() <= whole.size() && whole.compare(0, part.size(), part) == 0;
}

TEST_F(FileFaultTest, DownloadOntoAFullDiskSaysSoAndKeepsWhatWasWritten) {
    const fs::path disk = m_dir / "disk";
    if (!SmallDisk(disk, 16384)) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    FaultRig rig(GeneratedMemory(2000), {}, 2000, disk / "full.dlg");
    const int nResult = rig.Download();
    EXPECT_EQ(nResult, DR_FILE_ERROR);
    EXPECT_STREQ(DownloadResultText(static_cast<uint32_t>(nResult)), "Can't write raw data file.");
    const std::string file = ReadAll(rig.rawPath);
    const std::string memory = rig.Memory();
    EXPECT_GT(file.size(), 0u);
    EXPECT_LT(file.size(), memory.size());
    EXPECT_TRUE(IsPrefixOf(file, memory)) << "the file holds something the logger did not send";
    EXPECT_EQ(rig.events.Read(rig.events.results).size(), 1u);
    // Cut back to whole records: what reached the disk loads.
    EXPECT_EQ(file.size() % 20, 0u);
    RawLogImage image;
    EXPECT_EQ(LoadRawLogImage(rig.rawPath.string(), image), RawLogStatus::Ok);
    EXPECT_EQ(size_t{image.RecordCount()} * 20, file.size());
}

TEST_F(FileFaultTest, DownloadPastTheFileSizeLimitSaysSo) {
    // A size limit fails writes the way a full disk does, for any user; in a child only.
    const fs::path path = m_dir / "limited.dlg";
    const int nCode = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{10000, 10000};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 20;
        FaultRig rig(GeneratedMemory(2000), {}, 2000, path);
        if (rig.Download() != DR_FILE_ERROR) return 21;
        const std::string file = ReadAll(path);
        const std::string memory = rig.Memory();
        if (file.empty() || file.size() > 10000) return 22;
        if (!IsPrefixOf(file, memory)) return 23;
        if (file.size() % 20 != 0) return 24;
        return 0;
    });
    EXPECT_EQ(nCode, 0) << "21: wrong result, 22: wrong size, 23: not the memory's prefix, "
                           "24: a part of a record is left";
}

TEST_F(FileFaultTest, TranslationOntoAFullDiskKeepsTheEarlierOutput) {
    const fs::path disk = m_dir / "disk";
    if (!SmallDisk(disk, 16384)) GTEST_SKIP() << "cannot mount a small tmpfs here (needs root)";
    for (const char* name : {"track.kml", "track.csv"}) {
        SCOPED_TRACE(name);
        const fs::path out = disk / name;
        Put(out, "earlier translation");
        const RunResult r = Cli("translate '" + kSample + "' --all -o '" + out.string() + "'");
        EXPECT_NE(r.status, 0);
        EXPECT_NE(r.err.find("Can't generate output file."), std::string::npos) << r.err;
        EXPECT_EQ(r.out.find("Translate OK."), std::string::npos);
        EXPECT_EQ(ReadAll(out), "earlier translation");
        fs::remove(out);
        EXPECT_EQ(FilesIn(disk), 0u) << "a temporary file was left behind";
    }
}

TEST_F(FileFaultTest, FoldersThatRefuseWrites) {
    fs::path locked = m_dir / "locked";
    if (!SmallDisk(locked, 16384, /*bReadOnly=*/true)) {
        if (::geteuid() == 0) {
            GTEST_SKIP() << "root writes into any folder and cannot mount a read-only one here";
        }
        fs::create_directories(locked);
        fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
    }
    const RunResult r =
        Cli("translate '" + kSample + "' --all -o '" + (locked / "out.kml").string() + "'");
    EXPECT_NE(r.status, 0);
    EXPECT_NE(r.err.find("Can't generate output file."), std::string::npos) << r.err;

    FaultRig rig(GeneratedMemory(30), {}, 2000, locked / "raw.dlg");
    const int nResult = rig.Download();
    EXPECT_EQ(nResult, DR_FILE_ERROR);
    EXPECT_STREQ(DownloadResultText(static_cast<uint32_t>(nResult)), "Can't write raw data file.");
    EXPECT_EQ(FilesIn(locked), 0u);
    // The worker is back in line mode: the logger's further lines reach the list.
    EXPECT_TRUE(rig.events.WaitUntil([&] {
        for (const std::string& line : rig.events.lines) {
            if (line.find("dataCount=30") != std::string::npos) return true;
        }
        return false;
    }));
}

TEST_F(FileFaultTest, AFailedTranslationLeavesTheExistingOutputAlone) {
    Put(m_dir / "odd.dlg", std::string(41, '\1'));
    Put(m_dir / "empty.dlg", "");
    struct Case {
        std::string args;
        const char* pMessage;
    };
    const Case cases[] = {
        {"'" + (m_dir / "odd.dlg").string() + "'", "Error data in raw file."},
        {"'" + (m_dir / "empty.dlg").string() + "'", "No valid GPS data in raw file."},
        {"'" + (m_dir / "none.dlg").string() + "'", "Can't open raw data file."},
        {"'" + m_dir.string() + "'", "Can't open raw data file."},
        {"'" + kSample + "' --from 2009-02-30", "Invalid --from time"},
        {"'" + kSample + "' --tz GMT+15", "Unknown time zone"},
    };
    for (const char* name : {"keep.kml", "keep.csv"}) {
        const fs::path out = m_dir / name;
        Put(out, "earlier translation");
        for (const Case& c : cases) {
            SCOPED_TRACE(c.args);
            const RunResult r = Cli("translate " + c.args + " -o '" + out.string() + "'");
            EXPECT_NE(r.status, 0);
            EXPECT_NE(r.err.find(c.pMessage), std::string::npos) << r.err;
            EXPECT_EQ(ReadAll(out), "earlier translation");
        }
    }
}

TEST_F(FileFaultTest, AnUnreadableRawFileIsRefusedEvenForRoot) {
    const fs::path path = m_dir / "secret.dlg";
    Put(path, std::string(40, '\7'));
    ::chmod(m_dir.c_str(), 0755);
    ::chmod(path.c_str(), 0);
    // Root reads whatever the permissions say, so the load runs as nobody in a child.
    const int nCode = InChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return 30;
        RawLogImage image;
        const RawLogStatus status = LoadRawLogImage(path.string(), image);
        if (status != RawLogStatus::CannotOpen) return 31;
        if (image.IsLoaded()) return 32;
        return 0;
    });
    EXPECT_EQ(nCode, 0) << "30: could not drop root, 31: not refused, 32: image kept";
    EXPECT_STREQ(RawLogStatusMessage(RawLogStatus::CannotOpen), "Can't open raw data file.");
}

TEST_F(FileFaultTest, AFourGigabyteSparseFileLoadsAndCountsExactly) {
    const fs::path path = m_dir / "huge.dlg";
    // 214748365 records: past 4 GiB in bytes, within a 32-bit count.
    const uint64_t nBytes = 4294967300ULL;
    { std::ofstream touch(path, std::ios::binary); }
    fs::resize_file(path, nBytes);
    RawLogImage image;
    const RawLogStatus status = LoadRawLogImage(path.string(), image);
    fs::remove(path);
    if (status == RawLogStatus::OutOfMemory) {
        EXPECT_FALSE(image.IsLoaded());
        EXPECT_STREQ(RawLogStatusMessage(status), "Not enough memory to load raw data file.");
        GTEST_SKIP() << "4 GiB could not be had: refused cleanly";
    }
    ASSERT_EQ(status, RawLogStatus::Ok);
    EXPECT_EQ(image.RecordCount(), 214748365u);
    EXPECT_EQ(image.FirstTime(), 0u);
    EXPECT_EQ(image.LastTime(), 0u);
    EXPECT_EQ(FormatSizeLabel(image.RecordCount()), "Size(Record): 214748365");
    image.Reset();

    // One byte more is no whole number of records: refused before any memory is taken.
    { std::ofstream touch(path, std::ios::binary); }
    fs::resize_file(path, nBytes + 1);
    EXPECT_EQ(LoadRawLogImage(path.string(), image), RawLogStatus::BadSize);
    fs::remove(path);
}

TEST_F(FileFaultTest, AFileThatChangesWhileLoadingGivesAConsistentOutcome) {
    const fs::path path = m_dir / "moving.dlg";
    std::string pattern(200000, '\0');
    for (size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<char>(i * 7 % 251);
    Put(path, pattern);
    std::atomic<bool> bDone{false};
    // Another writer keeps cutting the file to an odd size and writing it whole again.
    std::thread writer([&] {
        const int fd = ::open(path.c_str(), O_WRONLY);
        for (uint32_t i = 0; !bDone.load(); ++i) {
            if (::ftruncate(fd, static_cast<off_t>(1000 + 20 * (i % 500) + i % 3)) != 0) break;
            if (::pwrite(fd, pattern.data(), pattern.size(), 0) !=
                static_cast<ssize_t>(pattern.size())) {
                break;
            }
        }
        ::close(fd);
    });
    int nOk = 0;
    for (int i = 0; i < 2000; ++i) {
        RawLogImage image;
        const RawLogStatus status = LoadRawLogImage(path.string(), image);
        ASSERT_TRUE(status == RawLogStatus::Ok || status == RawLogStatus::BadSize) << i;
        if (status != RawLogStatus::Ok) {
            EXPECT_FALSE(image.IsLoaded());
            continue;
        }
        ++nOk;
        const size_t nLoaded = size_t{image.RecordCount()} * 20;
        ASSERT_LE(nLoaded, pattern.size());
        // A read racing a writer may see a page the writer is still filling (zeros), never
        // anything that was not in the file.
        const uint8_t* p = image.Bytes();
        size_t nForeign = 0;
        for (size_t j = 0; j < nLoaded; ++j) {
            nForeign += p[j] != static_cast<uint8_t>(pattern[j]) && p[j] != 0;
        }
        ASSERT_EQ(nForeign, 0u) << i;
    }
    bDone = true;
    writer.join();
    RecordProperty("whole loads", nOk);
}

}  // namespace
