#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "export/OutputFile.h"
#include "track/RawLog.h"
#include "platform/Text.h"

namespace {

namespace fs = std::filesystem;

// Names outside the ANSI code page: only the wide calls can reach these files.
const char kGreek[] =
    "\xCE\xB4\xCE\xB9\xCE\xB1\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xAE";  // διαδρομή
const char kCjk[] = "\xE8\xBD\xA8\xE8\xBF\xB9";                          // 轨迹

class WindowsFileTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel-win-" + std::to_string(::GetCurrentProcessId()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    // A UTF-8 path in the test folder, as the program's layers take paths.
    std::string Utf8Path(const std::string& strName) const {
        return NarrowToUtf8((m_dir / fs::path(WidenUtf8(strName))).wstring());
    }
    static fs::path Native(const std::string& strUtf8) { return fs::path(WidenUtf8(strUtf8)); }

    static std::string Read(const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }
    static void Put(const fs::path& p, const std::string& bytes) {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    size_t EntriesBesides(const fs::path& keep) const {
        size_t n = 0;
        for (const auto& e : fs::directory_iterator(m_dir)) n += e.path().filename() != keep;
        return n;
    }

    fs::path m_dir;
};

TEST(WideText, RoundTripsAndMarksInvalidBytes) {
    EXPECT_EQ(WidenUtf8(""), L"");
    EXPECT_EQ(WidenUtf8("abc"), L"abc");
    EXPECT_EQ(WidenUtf8(kCjk), std::wstring(L"\u8F68\u8FF9"));
    EXPECT_EQ(NarrowToUtf8(WidenUtf8(kGreek)), kGreek);
    // A character beyond the basic plane takes a surrogate pair and comes back whole.
    EXPECT_EQ(WidenUtf8("\xF0\x9F\x93\x8D").size(), 2u);
    EXPECT_EQ(NarrowToUtf8(WidenUtf8("\xF0\x9F\x93\x8D")), "\xF0\x9F\x93\x8D");
    EXPECT_EQ(WidenUtf8("a\xFF"), std::wstring(L"a\uFFFD"));
}

TEST_F(WindowsFileTest, RawLogLoadsFromANonAsciiPath) {
    const std::string strPath = Utf8Path(std::string(kGreek) + "-" + kCjk + ".dlg");
    std::string bytes(40, '\0');
    bytes[0] = 7;   // first record time 7
    bytes[20] = 9;  // last record time 9
    Put(Native(strPath), bytes);
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(strPath, image), RawLogStatus::Ok);
    EXPECT_EQ(image.RecordCount(), 2u);
    EXPECT_EQ(image.FirstTime(), 7u);
    EXPECT_EQ(image.LastTime(), 9u);
}

TEST_F(WindowsFileTest, RawLogRefusesWhatIsNoReadableFile) {
    RawLogImage image;
    EXPECT_EQ(LoadRawLogImage(Utf8Path("missing.dlg"), image), RawLogStatus::CannotOpen);
    EXPECT_EQ(LoadRawLogImage(NarrowToUtf8(m_dir.wstring()), image), RawLogStatus::CannotOpen);
    EXPECT_EQ(LoadRawLogImage("", image), RawLogStatus::CannotOpen);
    EXPECT_EQ(LoadRawLogImage("NUL", image), RawLogStatus::CannotOpen);  // a device
    Put(m_dir / "odd.dlg", std::string(21, '\1'));
    EXPECT_EQ(LoadRawLogImage(Utf8Path("odd.dlg"), image), RawLogStatus::BadSize);
    EXPECT_FALSE(image.IsLoaded());
}

TEST_F(WindowsFileTest, OutputFileReplacesTheTargetUnderANonAsciiName) {
    const std::string strTarget = Utf8Path(std::string(kCjk) + ".kml");
    Put(Native(strTarget), "old content that is longer than the new one");
    OutputFile out;
    ASSERT_TRUE(out.Create(strTarget));
    out.Write("new\r\n", 5);
    // Nothing reaches the target before the file is finished.
    EXPECT_EQ(Read(Native(strTarget)), "old content that is longer than the new one");
    ASSERT_TRUE(out.Finish());
    EXPECT_EQ(Read(Native(strTarget)), "new\r\n");
    EXPECT_EQ(EntriesBesides(Native(strTarget).filename()), 0u);
}

TEST_F(WindowsFileTest, OutputSpanningManyBuffersArrivesWhole) {
    const std::string strTarget = Utf8Path(std::string(kGreek) + ".csv");
    std::string expected;
    OutputFile out;
    ASSERT_TRUE(out.Create(strTarget));
    for (int i = 0; expected.size() < 3 * OutputFile::kBufferSize; ++i) {
        const std::string line = std::to_string(i) + ",line\r\n";
        out.Write(line);
        expected += line;
    }
    ASSERT_TRUE(out.Finish());
    EXPECT_EQ(Read(Native(strTarget)), expected);
}

TEST_F(WindowsFileTest, DiscardedOrFailedOutputLeavesTheTargetAlone) {
    const fs::path target = m_dir / "keep.kml";
    Put(target, "precious");
    {
        OutputFile out;
        ASSERT_TRUE(out.Create(Utf8Path("keep.kml")));
        out.Write("half", 4);
    }  // never finished
    EXPECT_EQ(Read(target), "precious");
    EXPECT_EQ(EntriesBesides("keep.kml"), 0u);

    // A folder under the target's name cannot be replaced: the failure is reported, the
    // temporary file goes.
    fs::create_directory(m_dir / "folder.kml");
    OutputFile out;
    ASSERT_TRUE(out.Create(Utf8Path("folder.kml")));
    out.Write("x", 1);
    EXPECT_FALSE(out.Finish());
    EXPECT_TRUE(fs::is_directory(m_dir / "folder.kml"));
    EXPECT_EQ(EntriesBesides("keep.kml"), 1u);
}

TEST_F(WindowsFileTest, OutputIntoAMissingFolderFailsAtOnce) {
    OutputFile out;
    EXPECT_FALSE(out.Create(Utf8Path("no-such-folder\\out.kml")));
    EXPECT_FALSE(out.Create(""));
}

// A target whose full path comes near MAX_PATH: the temporary name beside it must not break the
// limit. A read-only target is refused with the system's reason and stays as it was.
TEST_F(WindowsFileTest, LongPathsAndReadOnlyTargets) {
    const size_t nFolder = NarrowToUtf8(m_dir.wstring()).size();
    ASSERT_LT(nFolder, 200u);
    const std::string strLong = Utf8Path(std::string(255 - nFolder - 5, 'n') + ".csv");
    ASSERT_GE(strLong.size(), 250u);
    OutputFile out;
    ASSERT_TRUE(out.Create(strLong)) << out.Error();
    out.Write("long\r\n", 6);
    EXPECT_TRUE(out.Finish()) << out.Error();
    EXPECT_EQ(Read(Native(strLong)), "long\r\n");

    const std::string strLocked = Utf8Path("locked.csv");
    Put(Native(strLocked), "kept");
    ASSERT_TRUE(::SetFileAttributesW(WidenUtf8(strLocked).c_str(), FILE_ATTRIBUTE_READONLY));
    OutputFile locked;
    ASSERT_TRUE(locked.Create(strLocked));
    locked.Write("new", 3);
    EXPECT_FALSE(locked.Finish());
    EXPECT_EQ(OutputFileMessage(strLocked, locked.Error()),
              "Can't generate output file.\n\n" + strLocked + ": " +
                  SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Read(Native(strLocked)), "kept");
    EXPECT_EQ(EntriesBesides(Native(strLong).filename()), 1u);  // no temporary file left
    ::SetFileAttributesW(WidenUtf8(strLocked).c_str(), FILE_ATTRIBUTE_NORMAL);
}

}  // namespace
