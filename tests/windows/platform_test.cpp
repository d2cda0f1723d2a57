// The Win32 code paths of files, text and ports, under Wine: names outside the ANSI code page,
// paths near MAX_PATH, read-only targets, devices that are no files and no ports.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "export/OutputFile.h"
#include "platform/Text.h"
#include "serial/PortEnumeration.h"
#include "serial/SerialPort.h"
#include "tests/common/Testing.h"
#include "track/RawLog.h"

namespace {

const char kGreek[] =
    "\xCE\xB4\xCE\xB9\xCE\xB1\xCE\xB4\xCF\x81\xCE\xBF\xCE\xBC\xCE\xAE";  // διαδρομή
const char kCjk[] = "\xE8\xBD\xA8\xE8\xBF\xB9";                          // 轨迹

// A UTF-8 path in the folder, as the program's layers take paths.
std::string Utf8Path(const TempDir& dir, const std::string& strName) {
    return NarrowToUtf8((dir.Path() / fs::path(WidenUtf8(strName))).wstring());
}
fs::path Native(const std::string& strUtf8) {
    return fs::path(WidenUtf8(strUtf8));
}
size_t EntryCount(const TempDir& dir) {
    size_t n = 0;
    for ([[maybe_unused]] const auto& e : fs::directory_iterator(dir.Path())) ++n;
    return n;
}

TEST(WindowsFiles, WideTextAndNonAsciiNames) {
    EXPECT_EQ(WidenUtf8(kCjk), std::wstring(L"\u8F68\u8FF9"));
    EXPECT_EQ(NarrowToUtf8(WidenUtf8("\xF0\x9F\x93\x8D")), "\xF0\x9F\x93\x8D");  // a pair
    EXPECT_EQ(WidenUtf8("a\xFF"), std::wstring(L"a\uFFFD"));

    TempDir dir;
    const std::string strLog = Utf8Path(dir, std::string(kGreek) + "-" + kCjk + ".dlg");
    WriteFile(Native(strLog), Records({{7}, {9}}));
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(strLog, image), RawLogStatus::Ok);
    EXPECT_EQ(image.LastTime(), 9u);
    for (const std::string& bad :
         {Utf8Path(dir, "missing.dlg"), std::string("NUL"), NarrowToUtf8(dir.Path().wstring())}) {
        EXPECT_EQ(LoadRawLogImage(bad, image), RawLogStatus::CannotOpen) << bad;
    }

    // The target changes only when the file is finished, whole over many buffers.
    const std::string strTarget = Utf8Path(dir, std::string(kCjk) + ".kml");
    WriteFile(Native(strTarget), "old content that is longer than the new one");
    std::string expected;
    OutputFile out;
    ASSERT_TRUE(out.Create(strTarget));
    for (int i = 0; expected.size() < 3 * OutputFile::kBufferSize; ++i) {
        const std::string line = std::to_string(i) + ",line\r\n";
        out.Write(line);
        expected += line;
    }
    EXPECT_EQ(ReadFile(Native(strTarget)), "old content that is longer than the new one");
    ASSERT_TRUE(out.Finish());
    EXPECT_EQ(ReadFile(Native(strTarget)), expected);
    EXPECT_EQ(EntryCount(dir), 2u);
}

// A target near MAX_PATH: the temporary name beside it must not break the limit. A target that
// cannot be replaced (read-only, a folder) is refused with the system's reason, stays as it was
// and leaves no temporary file; so does a file never finished.
TEST(WindowsFiles, LongPathsAndTargetsThatCannotBeReplaced) {
    TempDir dir;
    const size_t nFolder = NarrowToUtf8(dir.Path().wstring()).size();
    ASSERT_LT(nFolder, 200u);
    const std::string strLong = Utf8Path(dir, std::string(255 - nFolder - 5, 'n') + ".csv");
    OutputFile out;
    ASSERT_TRUE(out.Create(strLong)) << out.Error();
    out.Write("long\r\n", 6);
    EXPECT_TRUE(out.Finish()) << out.Error();
    EXPECT_EQ(ReadFile(Native(strLong)), "long\r\n");

    const std::string strLocked = Utf8Path(dir, "locked.csv");
    WriteFile(Native(strLocked), "kept");
    ASSERT_TRUE(::SetFileAttributesW(WidenUtf8(strLocked).c_str(), FILE_ATTRIBUTE_READONLY));
    OutputFile locked;
    ASSERT_TRUE(locked.Create(strLocked));
    locked.Write("new", 3);
    EXPECT_FALSE(locked.Finish());
    EXPECT_EQ(OutputFileMessage(strLocked, locked.Error()),
              "Can't generate output file.\n\n" + strLocked + ": " +
                  SystemErrorText(ERROR_ACCESS_DENIED));
    EXPECT_EQ(ReadFile(Native(strLocked)), "kept");
    ::SetFileAttributesW(WidenUtf8(strLocked).c_str(), FILE_ATTRIBUTE_NORMAL);

    fs::create_directory(dir.Path() / "folder.kml");
    OutputFile folder;
    ASSERT_TRUE(folder.Create(Utf8Path(dir, "folder.kml")));
    folder.Write("x", 1);
    EXPECT_FALSE(folder.Finish());
    {
        OutputFile unfinished;
        ASSERT_TRUE(unfinished.Create(strLocked));
        unfinished.Write("half", 4);
    }
    EXPECT_EQ(ReadFile(Native(strLocked)), "kept");
    EXPECT_EQ(EntryCount(dir), 3u);
    EXPECT_FALSE(out.Create(Utf8Path(dir, "no-such-folder\\out.kml")));
}

TEST(WindowsPorts, NamesMissingPortsAndDevicesThatAreNoPorts) {
    EXPECT_EQ(SerialPort::DevicePath("COM15"), "\\\\.\\COM15");
    SerialPort port;
    // Fifteen characters fit the 20-character device path with its terminator; sixteen do not.
    EXPECT_EQ(port.Open("", 115200), SerialStatus::BadName);
    EXPECT_EQ(port.Open("COM123456789012X", 115200), SerialStatus::BadName);
    EXPECT_EQ(port.Open("COM123456789012", 115200), SerialStatus::NotFound);
    EXPECT_EQ(port.Open("NUL", 115200), SerialStatus::NotAPort);  // a device without settings
    EXPECT_FALSE(port.IsOpen());
    uint8_t buffer[4] = {};
    size_t nRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10, nRead), SerialStatus::NotOpen);
    EXPECT_EQ(nRead, 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer, 10), SerialStatus::NotOpen);
    // Whatever the machine has, every listed name came through the "(COM" ... ")" rule once.
    const std::vector<SerialPortInfo> ports = EnumerateSerialPorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(PortNameFromFriendlyName(ports[i].strDescription), ports[i].strName);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(ports[i].strName, ports[j].strName);
    }
}

}  // namespace
