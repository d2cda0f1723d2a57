// The track view without a toolkit: a fetcher's tile requests and memory, and how many records
// it draws strong for the Translate choices (counted by hand from the records made below).
#include <gtest/gtest.h>

#include "app/MapTiles.h"
#include "app/TrackPlot.h"

static const TileKey a{5, 1, 1}, b{5, 2, 1}, c{5, 3, 1}, d{5, 4, 1};

// Two open at most; a tile that left the view is cancelled when open and dropped when waiting.
TEST(TileQueue, FewOpenAndOnlyWhatTheViewShows) {
    TileQueue queue;
    EXPECT_TRUE(queue.Want({a, b, c}).empty());
    EXPECT_EQ(queue.Next(), a);
    EXPECT_EQ(queue.Next(), b);
    EXPECT_EQ(queue.Next(), std::nullopt);
    EXPECT_EQ(queue.Want({b, d}), std::vector<TileKey>{a});
    queue.Finished(a, false);
    EXPECT_EQ(queue.Next(), d);
}

// Over the limit the least recently drawn go until the bytes fit again.
TEST(TileLru, BytesStayUnderTheLimit) {
    TileLru lru(3000);
    for (const TileKey& key : {a, b, c}) EXPECT_TRUE(lru.Insert(key, 1000).empty());
    lru.Touch(a);
    EXPECT_EQ(lru.Insert(d, 1500), (std::vector<TileKey>{b, c}));
    EXPECT_EQ(lru.Bytes(), 2500u);
}

// Ten fixes at seconds 100..109, then the same from 109 down; the third has no fix and the sixth
// lies beyond the pole.
TEST(TrackPlot, SelectedCountFollowsTheChoices) {
    const std::tuple<RecordSelection, uint32_t, uint32_t> cases[] = {
        {{kSelectAll, 0, 0, 0, true}, 8, 8},
        {{kSelectAll, 0, 0, 0, false, {0, -1, 0, true}}, 10, 10},
        {{kSelectByTime, 103, 107, 0, true}, 4, 3},
        {{kSelectBySize, 101, 0, 3, true}, 3, 3}};
    for (const bool bBackwards : {false, true}) {
        auto pData = std::make_unique<uint8_t[]>(10 * kFixRecordSize);
        for (uint32_t i = 0; i < 10; ++i) {
            const auto bFixSv = static_cast<uint8_t>(i == 2 ? 8 : 2 << 6 | 8);
            EncodeFixRecord({bBackwards ? 109 - i : 100 + i, i == 5 ? 95000000 : 1000000, 2000000,
                             0, 0, bFixSv, 0, 0, 0},
                            pData.get() + i * kFixRecordSize);
        }
        TrackPlot plot;
        plot.SetTrack(std::make_shared<const RawLogImage>(std::move(pData), 10));
        for (const auto& [selection, nForwards, nBackwards] : cases) {
            plot.SetSelection(selection);
            EXPECT_EQ(plot.SelectedCount(), bBackwards ? nBackwards : nForwards);
        }
    }
}
