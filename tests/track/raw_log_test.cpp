#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "track/RawLog.h"

namespace {

namespace fs = std::filesystem;

class RawLogTest : public ::testing::Test {
  protected:
    void SetUp() override {
        m_dir = fs::temp_directory_path() /
                ("quorvel-rawlog-" + std::to_string(::getpid()) + "-" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(m_dir);
    }
    void TearDown() override { fs::remove_all(m_dir); }

    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
        const std::string path = (m_dir / name).string();
        FILE* f = std::fopen(path.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
        std::fclose(f);
        return path;
    }

    fs::path m_dir;
};

std::vector<uint8_t> Records(const std::vector<FixRecord>& recs) {
    std::vector<uint8_t> bytes(recs.size() * kFixRecordSize);
    for (size_t i = 0; i < recs.size(); ++i) EncodeFixRecord(recs[i], bytes.data() + i * 20);
    return bytes;
}

TEST(FixRecord, DecodesLittleEndianFields) {
    const uint8_t bytes[20] = {0x78, 0x56, 0x34, 0x12,  // time 0x12345678
                               0x20, 0xba, 0xfa, 0xfd,  // latitude -33900000
                               0xf1, 0x0d, 0x84, 0x00,  // longitude 8654321
                               0xff, 0xff,              // altitude 65535
                               0xd2, 0x04,              // speed 1234
                               0x88,                    // fix mode 2, 8 satellites
                               179,  125,  0xaa};
    const FixRecord r = DecodeFixRecord(bytes);
    EXPECT_EQ(r.dwTime, 0x12345678u);
    EXPECT_EQ(r.lLatitude, -33900000);
    EXPECT_EQ(r.lLongitude, 8654321);
    EXPECT_EQ(r.wAltitude, 65535);
    EXPECT_EQ(r.wSpeed, 1234);
    EXPECT_EQ(RawFixMode(r), 2u);
    EXPECT_EQ(SatellitesUsed(r), 8u);
    EXPECT_EQ(r.bCourse, 179);
    EXPECT_EQ(r.bHdop, 125);
    EXPECT_EQ(r.bReserved, 0xaa);
    EXPECT_FALSE(IsNoFixRecord(r));

    uint8_t again[20];
    EncodeFixRecord(r, again);
    EXPECT_EQ(0, std::memcmp(bytes, again, 20));
}

TEST_F(RawLogTest, SizeOutcomes) {
    struct Case {
        size_t nBytes;
        RawLogStatus status;
        const char* message;
    };
    const Case cases[] = {
        {0, RawLogStatus::NoRecords, "No valid GPS data in raw file."}, {20, RawLogStatus::Ok, ""},
        {39, RawLogStatus::BadSize, "Error data in raw file."},         {40, RawLogStatus::Ok, ""},
        {41, RawLogStatus::BadSize, "Error data in raw file."},
    };
    for (const Case& c : cases) {
        const std::string path =
            WriteFile("f" + std::to_string(c.nBytes) + ".dlg", std::vector<uint8_t>(c.nBytes, 7));
        RawLogImage image;
        EXPECT_EQ(LoadRawLogImage(path, image), c.status) << c.nBytes;
        EXPECT_STREQ(RawLogStatusMessage(c.status), c.message);
        EXPECT_EQ(image.IsLoaded(), c.status == RawLogStatus::Ok) << c.nBytes;
        EXPECT_EQ(image.RecordCount(), c.status == RawLogStatus::Ok ? c.nBytes / 20 : 0);
    }
}

TEST_F(RawLogTest, FirstAndLastTimesComeFromFileOrderNotTimeOrder) {
    std::vector<FixRecord> recs(3);
    recs[0].dwTime = 500;
    recs[1].dwTime = 100;  // earlier than the first: nothing sorts or rejects it
    recs[2].dwTime = 300;
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(WriteFile("order.dlg", Records(recs)), image), RawLogStatus::Ok);
    EXPECT_EQ(image.RecordCount(), 3u);
    EXPECT_EQ(image.FirstTime(), 500u);
    EXPECT_EQ(image.LastTime(), 300u);
    EXPECT_EQ(image.Record(1).dwTime, 100u);
}

TEST_F(RawLogTest, OneRecordSpansOneMoment) {
    std::vector<FixRecord> recs(1);
    recs[0].dwTime = 0;
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(WriteFile("one.dlg", Records(recs)), image), RawLogStatus::Ok);
    EXPECT_EQ(FormatTimeSpanLabel(image.FirstTime(), image.LastTime(), TimeZone::Fixed(28800)),
              "Time: 2000/01/01 08:00:00 ~ 2000/01/01 08:00:00");
    EXPECT_EQ(FormatSizeLabel(image.RecordCount()), "Size(Record): 1");
}

TEST_F(RawLogTest, FilesThatCannotBeReadAreRefused) {
    RawLogImage image;
    EXPECT_EQ(LoadRawLogImage((m_dir / "missing.dlg").string(), image), RawLogStatus::CannotOpen);
    EXPECT_EQ(LoadRawLogImage(m_dir.string(), image), RawLogStatus::CannotOpen);  // a folder
    EXPECT_EQ(LoadRawLogImage("", image), RawLogStatus::CannotOpen);
    EXPECT_EQ(LoadRawLogImage("/dev/null", image), RawLogStatus::CannotOpen);  // not a regular file
#ifndef _WIN32                                                                 // POSIX permissions
    if (::geteuid() != 0) {  // root reads whatever the permissions say
        const std::string path = WriteFile("locked.dlg", std::vector<uint8_t>(20, 0));
        ::chmod(path.c_str(), 0);
        EXPECT_EQ(LoadRawLogImage(path, image), RawLogStatus::CannotOpen);
    }
#endif
    EXPECT_FALSE(image.IsLoaded());
}

TEST_F(RawLogTest, AFailedLoadEmptiesThePassedImage) {
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(WriteFile("a.dlg", std::vector<uint8_t>(40, 1)), image),
              RawLogStatus::Ok);
    EXPECT_EQ(LoadRawLogImage(WriteFile("b.dlg", std::vector<uint8_t>(41, 1)), image),
              RawLogStatus::BadSize);
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(image.RecordCount(), 0u);
}

TEST(RawLogSize, CountsBeyond32BitsAreRefusedNotWrapped) {
    EXPECT_EQ(ValidateRawLogSize(uint64_t{20} * 0xffffffffULL), RawLogStatus::Ok);
    EXPECT_EQ(ValidateRawLogSize(uint64_t{20} * 0x100000000ULL), RawLogStatus::TooLarge);
    // Past 4 GiB but a countable number of records: accepted, counted exactly.
    EXPECT_EQ(ValidateRawLogSize(4294967300ULL), RawLogStatus::Ok);
    EXPECT_EQ(ValidateRawLogSize(4294967296ULL), RawLogStatus::BadSize);
    EXPECT_STRNE(RawLogStatusMessage(RawLogStatus::TooLarge), "");
    EXPECT_STRNE(RawLogStatusMessage(RawLogStatus::OutOfMemory), "");
}

}  // namespace
