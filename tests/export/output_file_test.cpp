#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "export/OutputFile.h"

namespace {

namespace fs = std::filesystem;

class OutputFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel-out-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Put(const fs::path& p, const std::string& text) {
        std::ofstream(p, std::ios::binary) << text;
    }
    // Names in the folder other than the given one: leftovers of a temporary file.
    size_t Leftovers(const std::string& keep) const {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(m_dir)) n += e.path().filename() != keep;
        return n;
    }

    fs::path m_dir;
};

TEST_F(OutputFileTest, FinishedFileHasTheBytesAndReplacesTheOldOne) {
    const fs::path target = m_dir / "out.csv";
    Put(target, "old content that is longer than the new one");
    OutputFile out;
    ASSERT_TRUE(out.Create(target.string()));
    out.Write("new\r\n", 5);
    EXPECT_EQ(Read(target), "old content that is longer than the new one");  // not yet in place
    ASSERT_TRUE(out.Finish());
    EXPECT_EQ(Read(target), "new\r\n");
    EXPECT_EQ(Leftovers("out.csv"), 0u);

    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(fs::status(target).permissions(), static_cast<fs::perms>(0666 & ~mask));
}

TEST_F(OutputFileTest, ManyBuffersArriveInOrder) {
    // Several times the buffer size, in pieces that straddle buffer ends.
    const fs::path target = m_dir / "big.kml";
    std::string expected;
    OutputFile out;
    ASSERT_TRUE(out.Create(target.string()));
    for (int i = 0; expected.size() < 5 * OutputFile::kBufferSize + 12345; ++i) {
        const std::string piece = std::to_string(i) + std::string(static_cast<size_t>(i % 997),
                                                                  static_cast<char>('a' + i % 26));
        expected += piece;
        out.Write(piece);
    }
    char* p = out.Reserve(3);
    std::memcpy(p, "end", 3);
    out.Commit(p + 3);
    expected += "end";
    ASSERT_TRUE(out.Finish());
    EXPECT_EQ(Read(target), expected);
}

TEST_F(OutputFileTest, CannotCreateInAMissingFolder) {
    OutputFile out;
    EXPECT_FALSE(out.Create((m_dir / "no-such-folder" / "out.kml").string()));
    EXPECT_FALSE(out.Create(""));
    EXPECT_FALSE(out.Finish());
}

TEST_F(OutputFileTest, AnUnfinishedFileLeavesTheTargetAlone) {
    const fs::path target = m_dir / "keep.kml";
    Put(target, "precious");
    {
        OutputFile out;
        ASSERT_TRUE(out.Create(target.string()));
        out.Write("partial", 7);
    }
    EXPECT_EQ(Read(target), "precious");
    EXPECT_EQ(Leftovers("keep.kml"), 0u);
}

TEST_F(OutputFileTest, AFailedRenameIsReportedAndCleanedUp) {
    const fs::path target = m_dir / "folder.kml";
    fs::create_directory(target);
    OutputFile out;
    ASSERT_TRUE(out.Create(target.string()));
    out.Write("x", 1);
    EXPECT_FALSE(out.Finish());
    EXPECT_TRUE(fs::is_directory(target));
    EXPECT_EQ(Leftovers("folder.kml"), 0u);
}

TEST_F(OutputFileTest, AFullDiskFailsTheFileAndKeepsTheOldOne) {
    // A file size limit makes writes fail the way a full disk does, in a child process only.
    const fs::path target = m_dir / "full.kml";
    Put(target, "old");
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{100000, 100000};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        OutputFile out;
        if (!out.Create(target.string())) ::_exit(10);
        const std::string chunk(4096, 'k');
        for (int i = 0; i < 1000; ++i) out.Write(chunk);
        ::_exit(out.Finish() ? 11 : 0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "10: could not create, 11: reported success";
    EXPECT_EQ(Read(target), "old");
    EXPECT_EQ(Leftovers("full.kml"), 0u);
}

}  // namespace
