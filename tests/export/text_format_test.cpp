#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "export/TextFormat.h"

namespace {

using namespace textformat;

std::string Printf(const char* fmt, double v) {
    char buf[64];
    std::snprintf(buf, sizeof buf, fmt, v);
    return buf;
}

std::string Scaled(int64_t v, unsigned decimals) {
    char buf[64];
    return std::string(buf, PutScaled(buf, v, decimals));
}

// The writers' hand-placed decimal point must print exactly what printf prints for the scaled
// double.
void CheckCoordinate(int32_t v) {
    ASSERT_EQ(Scaled(v, 6), Printf("%.06f", v / 1000000.0)) << v;
    ASSERT_EQ(Scaled(v, 6) + "0", Printf("%.07f", v / 1000000.0)) << v;
}

std::vector<int32_t> InterestingValues() {
    std::vector<int32_t> values = {0, 1, -1, 9, -9, 10, -10, INT32_MAX, INT32_MIN, INT32_MIN + 1};
    for (int64_t p = 1; p <= 1000000000; p *= 10) {
        for (int64_t d = -3; d <= 3; ++d) {
            for (const int64_t v : {p + d, -p + d}) values.push_back(static_cast<int32_t>(v));
        }
    }
    return values;
}

TEST(TextFormat, CoordinatesMatchPrintf) {
    for (const int32_t v : InterestingValues()) CheckCoordinate(v);
    // A stride through the whole 32-bit range plus random values.
    for (uint64_t u = 0; u <= 0xffffffffULL; u += 1000003) {
        CheckCoordinate(static_cast<int32_t>(static_cast<uint32_t>(u)));
    }
    std::mt19937 rng(47);
    std::uniform_int_distribution<int32_t> any(INT32_MIN, INT32_MAX);
    for (int i = 0; i < 1000000; ++i) CheckCoordinate(any(rng));
}

TEST(TextFormat, CoordinatesMatchPrintfForEveryValue) {
    // Four billion printf calls take a while; run on request.
    if (std::getenv("QUORVEL_EXHAUSTIVE") == nullptr) GTEST_SKIP() << "set QUORVEL_EXHAUSTIVE=1";
    for (uint64_t u = 0; u <= 0xffffffffULL; ++u) {
        CheckCoordinate(static_cast<int32_t>(static_cast<uint32_t>(u)));
    }
}

TEST(TextFormat, EverySpeedMatchesPrintf) {
    for (uint32_t v = 0; v <= 0xffff; ++v) ASSERT_EQ(Scaled(v, 2), Printf("%.2f", v / 100.0)) << v;
}

TEST(TextFormat, IntegersAndDates) {
    char buf[64];
    for (const int32_t v : InterestingValues()) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%d", v);
        ASSERT_EQ(std::string(buf, PutInt(buf, v)), expected);
        std::snprintf(expected, sizeof expected, "%u", static_cast<uint32_t>(v));
        ASSERT_EQ(std::string(buf, PutUInt(buf, static_cast<uint32_t>(v))), expected);
    }
    EXPECT_EQ(std::string(buf, PutDateTime(buf, LogDateTime{2009, 5, 1, 8, 3, 9}, '-', ' ')),
              "2009-05-01 08:03:09");
    EXPECT_EQ(std::string(buf, PutDateTime(buf, LogDateTime{2136, 12, 31, 23, 59, 59}, '-', 'T')),
              "2136-12-31T23:59:59");
}

}  // namespace
