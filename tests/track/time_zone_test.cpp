#include <gtest/gtest.h>

#include "track/TimeZone.h"

namespace {

TEST(TimeZone, ListRows) {
    struct Row {
        int index;
        const char* text;
        int32_t offset;
    };
    const Row rows[] = {{0, "GMT-12:00", -43200}, {1, "GMT-11:30", -41400}, {23, "GMT-0:30", -1800},
                        {24, "GMT+0:00", 0},      {25, "GMT+0:30", 1800},   {40, "GMT+8:00", 28800},
                        {50, "GMT+13:00", 46800}};
    for (const Row& r : rows) {
        EXPECT_EQ(TimeZoneOffsetAt(r.index), r.offset) << r.text;
        EXPECT_EQ(TimeZoneText(r.offset), r.text);
    }
    EXPECT_EQ(TimeZoneOffsetAt(kDefaultTimeZoneIndex), 28800);
}

TEST(TimeZone, EveryListTextParsesBackToItsOffset) {
    for (int i = 0; i < kTimeZoneCount; ++i) {
        const int32_t offset = TimeZoneOffsetAt(i);
        EXPECT_EQ(ParseTimeZoneText(TimeZoneText(offset)), offset) << i;
    }
}

TEST(TimeZone, TypedTexts) {
    EXPECT_EQ(ParseTimeZoneText("GMT+5:45"), 5 * 3600 + 45 * 60);
    EXPECT_EQ(ParseTimeZoneText("GMT-3:30"), -(3 * 3600 + 30 * 60));
    EXPECT_EQ(ParseTimeZoneText("UTC"), 0);
    EXPECT_EQ(ParseTimeZoneText("GMT"), 0);
    EXPECT_EQ(ParseTimeZoneText("+8"), 28800);
    EXPECT_EQ(ParseTimeZoneText("-9:30"), -34200);
    EXPECT_EQ(ParseTimeZoneText(" UTC+1 "), 3600);
    for (const char* bad :
         {"", "8", "GMT+", "GMT+8:5", "GMT+8:60", "+15", "GMT+8:00x", "Berlin", "GMT*8", "+123"}) {
        EXPECT_FALSE(ParseTimeZoneText(bad).has_value()) << bad;
    }
}

}  // namespace
