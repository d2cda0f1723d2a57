// The record time scale's calendar against std::chrono, loading raw logs (sizes, order, files that
// cannot be read, are huge or change while read), and the record selection.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <random>

#ifndef _WIN32
#include <sys/wait.h>
#include <unistd.h>
#endif

#include "tests/common/Testing.h"
#include "track/Calendar.h"
#include "track/RawLog.h"
#include "track/RecordFilter.h"
#include "track/RecordSelection.h"

namespace {

using namespace std::chrono;

// The reference: seconds since 2000-01-01 as a std::chrono civil date and time.
LogDateTime Chrono(int64_t s) {
    const sys_seconds t = sys_days{year{2000} / January / 1} + seconds{s};
    const sys_days d = floor<days>(t);
    const year_month_day ymd{d};
    const hh_mm_ss<seconds> hms{t - d};
    return LogDateTime{
        static_cast<uint16_t>(int{ymd.year()}),      static_cast<uint8_t>(unsigned{ymd.month()}),
        static_cast<uint8_t>(unsigned{ymd.day()}),   static_cast<uint8_t>(hms.hours().count()),
        static_cast<uint8_t>(hms.minutes().count()), static_cast<uint8_t>(hms.seconds().count())};
}

TEST(Calendar, AgreesWithChronoOverTheWholeScale) {
    std::mt19937 rng(2009);
    std::uniform_int_distribution<uint32_t> anyTime;
    std::uniform_int_distribution<int> anyZone(0, 50);
    DateTimeConverter cached;
    for (int i = 0; i < 200000; ++i) {
        // A quarter each in the scale's first and last day, whose local times may leave it.
        const uint32_t nAny = anyTime(rng);
        const uint32_t t = i % 4 == 0   ? nAny % 86400
                           : i % 4 == 1 ? UINT32_MAX - nAny % 86400
                                        : nAny;
        const int32_t nOffset = (-720 + 30 * anyZone(rng)) * 60;
        // Local time is the record time plus the offset, before 2000 or after 2136 as it falls.
        const LogDateTime expected = Chrono(int64_t{t} + nOffset);
        ASSERT_EQ(SecondsToDateTime(t, nOffset), expected) << t << " " << nOffset;
        ASSERT_EQ(cached.Convert(t, nOffset), expected) << t << " " << nOffset;
    }
    // Each day's first and last second, to the date and back, and its weekday.
    for (uint32_t day = 0; day < UINT32_MAX / 86400; ++day) {
        for (const uint32_t s : {day * 86400u, day * 86400u + 86399u}) {
            const LogDateTime dt = SecondsToDateTime(s, 0);
            ASSERT_EQ(dt, Chrono(s));
            uint32_t back = 0;
            ASSERT_EQ(DateTimeToSeconds(dt, back), dt.wYear <= 2135);
            if (dt.wYear > 2135) continue;
            ASSERT_EQ(back, s);
            ASSERT_EQ(LocalSecondsOf(dt), s);
            const year_month_day ymd{year{dt.wYear}, month{dt.bMonth}, std::chrono::day{dt.bDay}};
            ASSERT_EQ(DayOfWeek(dt.wYear, dt.bMonth, dt.bDay), weekday{sys_days{ymd}}.c_encoding());
        }
    }
}

TEST(Calendar, LimitsAndWorkedExamples) {
    EXPECT_EQ(SecondsToDateTime(0, -3600), (LogDateTime{1999, 12, 31, 23, 0, 0}));
    EXPECT_EQ(SecondsToDateTime(UINT32_MAX, 3600), (LogDateTime{2136, 2, 7, 7, 28, 15}));
    const struct {
        LogDateTime dt;
        bool bValid;
        uint32_t dwSeconds;
    } cases[] = {
        {{1999, 12, 31, 23, 59, 59}, false, 0},
        {{2136, 1, 1, 0, 0, 0}, false, 0},
        {{2135, 12, 31, 23, 59, 59}, true, 4291747199u},
        {{2000, 2, 31, 0, 0, 0}, true, 61 * 86400u},
        {{2009, 13, 1, 0, 0, 0}, false, 0},
        {{2009, 1, 0, 0, 0, 0}, false, 0},
        {{2009, 1, 1, 24, 0, 0}, false, 0},
        {{2009, 1, 1, 0, 0, 60}, false, 0},
    };
    for (const auto& c : cases) {
        uint32_t s = 12345;
        EXPECT_EQ(DateTimeToSeconds(c.dt, s), c.bValid) << c.dt.wYear << "-" << int{c.dt.bMonth};
        EXPECT_EQ(s, c.dwSeconds);
    }
    EXPECT_EQ(LocalSecondsOf({1999, 12, 31, 23, 59, 59}), -1);
    EXPECT_EQ(DayOfWeek(1999, 12, 31), 5u);  // a Friday
}

TEST(RawLog, SizesOrderAndDecoding) {
    TempDir dir;
    const struct {
        size_t nBytes;
        RawLogStatus status;
    } cases[] = {{0, RawLogStatus::NoRecords},
                 {20, RawLogStatus::Ok},
                 {39, RawLogStatus::BadSize},
                 {41, RawLogStatus::BadSize}};
    for (const auto& c : cases) {
        RawLogImage image;
        EXPECT_EQ(LoadRawLogImage(WriteFile(dir / "f.dlg", std::string(c.nBytes, '\7')), image),
                  c.status);
        EXPECT_EQ(image.RecordCount(), c.status == RawLogStatus::Ok ? c.nBytes / 20 : 0);
    }
    // File order, not time order; every field at its offset, little-endian.
    RawLogImage image;
    ASSERT_EQ(LoadRawLogImage(WriteFile(dir / "three.dlg", Records({{500},
                                                                    {0x12345678, -33900000, 8654321,
                                                                     65535, 1234, 2, 8, 179, 125},
                                                                    {300}})),
                              image),
              RawLogStatus::Ok);
    EXPECT_EQ(image.FirstTime(), 500u);
    EXPECT_EQ(image.LastTime(), 300u);
    const FixRecord r = image.Record(1);
    EXPECT_EQ(r.dwTime, 0x12345678u);
    EXPECT_EQ(r.lLatitude, -33900000);
    EXPECT_EQ(r.lLongitude, 8654321);
    EXPECT_EQ(r.wAltitude, 65535);
    EXPECT_EQ(r.wSpeed, 1234);
    EXPECT_EQ(RawFixMode(r), 2u);
    EXPECT_EQ(SatellitesUsed(r), 8u);
    EXPECT_EQ(r.bCourse, 179);
    EXPECT_EQ(r.bHdop, 125);
    // A failed load leaves the image empty.
    EXPECT_EQ(LoadRawLogImage(dir / "none.dlg", image), RawLogStatus::CannotOpen);
    EXPECT_FALSE(image.IsLoaded());
    EXPECT_EQ(ValidateRawLogSize(uint64_t{20} * 0xffffffffULL), RawLogStatus::Ok);
    EXPECT_EQ(ValidateRawLogSize(uint64_t{20} * 0x100000000ULL), RawLogStatus::TooLarge);
}

#ifndef _WIN32
// Past 4 GiB but a countable number of records: loaded and counted exactly (or, when the memory
// cannot be had, refused cleanly); one byte more is refused before any memory is taken.
TEST(RawLog, AFourGigabyteSparseFile) {
    TempDir dir;
    const fs::path path = dir / "huge.dlg";
    WriteFile(path, "");
    fs::resize_file(path, 4294967300ULL);
    RawLogImage image;
    const RawLogStatus status = LoadRawLogImage(path.string(), image);
    if (status != RawLogStatus::OutOfMemory) {
        ASSERT_EQ(status, RawLogStatus::Ok);
        EXPECT_EQ(image.RecordCount(), 214748365u);
    }
    image.Reset();
    fs::resize_file(path, 4294967301ULL);
    EXPECT_EQ(LoadRawLogImage(path.string(), image), RawLogStatus::BadSize);
}

// Root reads whatever the permissions say, so the load runs as nobody in a child.
TEST(RawLog, AnUnreadableFileIsRefused) {
    TempDir dir;
    const std::string path = WriteFile(dir / "secret.dlg", std::string(40, '\7'));
    ::chmod(dir.Path().c_str(), 0755);
    ::chmod(path.c_str(), 0);
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) ::_exit(30);
        RawLogImage image;
        SystemError nError = 0;
        ::_exit(LoadRawLogImage(path, image, &nError) == RawLogStatus::CannotOpen &&
                        !image.IsLoaded() && nError == EACCES
                    ? 0
                    : 31);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

#endif

// The textbook haversine in long double, for distances measured the quick way along a walk.
TEST(Distance, LegsAndWalksAgreeWithTheTextbookHaversine) {
    const auto haversine = [](double lat1, double lon1, double lat2, double lon2) {
        const long double k = 3.14159265358979323846L / 180 / 1e6;
        const long double h =
            std::pow(std::sin((lat2 - lat1) * k / 2), 2) +
            std::cos(lat1 * k) * std::cos(lat2 * k) * std::pow(std::sin((lon2 - lon1) * k / 2), 2);
        return static_cast<double>(2 * 6371.0L * std::asin(std::sqrt(h)));
    };
    std::mt19937 rng(7);
    for (const int32_t lStep : {1, 10, 1000, 11000, 12000, 900000, 80000000}) {
        std::uniform_int_distribution<int32_t> step(-lStep, lStep);
        for (const int32_t lLat : {0, 45000000, -60000000, 89990000}) {
            LegEnd at = MakeLegEnd(lLat, 179000000);
            for (int i = 0; i < 2000; ++i) {
                const int32_t lNextLat = std::clamp(at.lLatitude + step(rng), -90000000, 90000000);
                const int32_t lNextLon =
                    std::clamp(at.lLongitude + step(rng), -180000000, 180000000);
                const LegEnd next = NextLegEnd(at, lNextLat, lNextLon);
                const double dWant =
                    haversine(at.lLatitude, at.lLongitude, next.lLatitude, next.lLongitude);
                ASSERT_NEAR(LegKm(at, next), dWant, 1e-12 * dWant + 1e-9) << lStep << " " << i;
                at = next;
            }
        }
    }
}

TEST(RecordSelection, TheRecordsBoxReadsLikeAtoi) {
    const std::pair<const char*, int32_t> cases[] = {
        {"", 0},
        {"12", 12},
        {"  42", 42},
        {"\t7x", 7},
        {"+5", 5},
        {"-3", -3},
        {"abc", 0},
        {"- 3", 0},
        {"3.9", 3},
        {"99999999999", 2147483647},
        {"-99999999999", INT32_MIN},
    };
    for (const auto& [text, expected] : cases) EXPECT_EQ(ParseRecordLimit(text), expected) << text;
}

}  // namespace
