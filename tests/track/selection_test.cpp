#include <gtest/gtest.h>

#include <vector>

#include "track/RecordSelection.h"

namespace {

struct Rec {
    uint32_t t;
    unsigned mode;
};

// Places (1-based) of the records a walk writes.
std::vector<uint32_t> Walk(const RecordSelection& sel, const std::vector<Rec>& recs) {
    RecordSelector selector(sel);
    std::vector<uint32_t> places;
    for (size_t i = 0; i < recs.size(); ++i) {
        FixRecord r{};
        r.dwTime = recs[i].t;
        r.bFixSv = static_cast<uint8_t>(recs[i].mode << 6 | 7);
        if (selector.Select(r)) places.push_back(static_cast<uint32_t>(i + 1));
    }
    EXPECT_EQ(selector.Written(), places.size());
    return places;
}

RecordSelection Sel(int32_t mode, uint32_t from, uint32_t to, int32_t limit, bool drop) {
    RecordSelection s;
    s.nSelectMode = mode;
    s.dwFromTime = from;
    s.dwToTime = to;
    s.nLimit = limit;
    s.bDropNoFix = drop;
    return s;
}

using Places = std::vector<uint32_t>;

TEST(RecordSelection, Modes) {
    // Times 100..600, record 3 has no fix; record 6 lies before the others in time.
    const std::vector<Rec> recs = {{100, 2}, {200, 2}, {300, 0}, {400, 1}, {500, 2}, {50, 3}};
    struct Case {
        const char* legend;
        RecordSelection sel;
        Places expected;
    };
    const Case cases[] = {
        {"by time, bounds inclusive", Sel(kSelectByTime, 200, 400, 0, true), {2, 4}},
        {"by time keeps no-fix when not dropped",
         Sel(kSelectByTime, 200, 400, 0, false),
         {2, 3, 4}},
        {"by time ignores the limit", Sel(kSelectByTime, 0, 1000, 1, true), {1, 2, 4, 5, 6}},
        {"by time, empty window", Sel(kSelectByTime, 401, 499, 0, true), {}},
        {"by size from start, no limit", Sel(kSelectBySize, 200, 0, 0, true), {2, 4, 5}},
        {"by size ignores the end bound", Sel(kSelectBySize, 100, 150, 0, false), {1, 2, 3, 4, 5}},
        {"by size limit 2", Sel(kSelectBySize, 100, 0, 2, true), {1, 2}},
        {"by size, dropped no-fix do not count", Sel(kSelectBySize, 200, 0, 2, true), {2, 4}},
        {"by size, no-fix kept counts", Sel(kSelectBySize, 200, 0, 2, false), {2, 3}},
        {"by size, negative limit is no limit",
         Sel(kSelectBySize, 0, 0, -3, true),
         {1, 2, 4, 5, 6}},
        {"all ignores bounds", Sel(kSelectAll, 300, 300, 1, false), {1, 2, 3, 4, 5, 6}},
        {"all drops no-fix", Sel(kSelectAll, 300, 300, 1, true), {1, 2, 4, 5, 6}},
    };
    for (const Case& c : cases) EXPECT_EQ(Walk(c.sel, recs), c.expected) << c.legend;
}

TEST(RecordSelection, BySizeLimitThreeSkipsTheNoFixRecordAfterTheStart) {
    // The second record at or after the start has no fix: the first, third and fourth are written.
    const std::vector<Rec> recs = {{10, 2}, {20, 2}, {30, 0}, {40, 2}, {50, 2}, {60, 2}};
    EXPECT_EQ(Walk(Sel(kSelectBySize, 20, 0, 3, true), recs), (Places{2, 4, 5}));
}

TEST(RecordSelection, UnsignedBoundsAtTheEndsOfTheScale) {
    const std::vector<Rec> recs = {{0, 2}, {UINT32_MAX, 2}};
    EXPECT_EQ(Walk(Sel(kSelectByTime, 0, UINT32_MAX, 0, true), recs), (Places{1, 2}));
    EXPECT_EQ(Walk(Sel(kSelectBySize, UINT32_MAX, 0, 0, true), recs), (Places{2}));
}

TEST(RecordSelection, ParseRecordLimitReadsLikeTheRecordsBox) {
    struct Case {
        const char* text;
        int32_t expected;
    };
    const Case cases[] = {
        {"", 0},
        {"0", 0},
        {"12", 12},
        {"  42", 42},
        {"\t7x", 7},
        {"+5", 5},
        {"-3", -3},
        {"abc", 0},
        {"3.9", 3},
        {"- 3", 0},
        {"12 34", 12},
        {"2147483647", 2147483647},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ParseRecordLimit(c.text), c.expected) << '"' << c.text << '"';
}

}  // namespace
