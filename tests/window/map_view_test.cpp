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

// The scale bar at 60 degrees north, where 0.01 degree of longitude is 1113.195 m * cos 60 on the
// ground (WGS 84's equator, 40,075,016.686 m, in 36,000 parts): the bar's length in pixels to its
// label is the track's to its 556.6 m.
TEST(TrackPlot, ScaleBarAgreesWithTheGround) {
    auto pData = std::make_unique<uint8_t[]>(2 * kFixRecordSize);
    for (uint32_t i = 0; i < 2; ++i) {
        EncodeFixRecord({100 + i, 60000000, 10000000 + 10000 * static_cast<int32_t>(i), 0, 0,
                         2 << 6 | 8, 0, 0, 0},
                        pData.get() + i * kFixRecordSize);
    }
    TrackPlot plot;
    plot.SetTrack(std::make_shared<const RawLogImage>(std::move(pData), 2));
    plot.SetSelection({kSelectAll, 0, 0, 0, false});
    const std::vector<PlotItem>& items = plot.Build(700, 560, PlotMetrics{});
    int nTrack = 0, nBar = 0;
    double dLabelMetres = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const PlotItem& item = items[i];
        if (item.shape != PlotShape::Lines || item.points.size() < 2) continue;
        const int nSpan = std::abs(item.points[1].x - item.points[0].x);
        if (item.color == FixModeColor(2) && nTrack == 0) nTrack = nSpan;
        if (item.color == kInk && item.points.size() == 6 && i + 1 < items.size()) {
            nBar = nSpan;
            const std::string& strLabel = items[i + 1].strText;
            dLabelMetres = std::stod(strLabel) * (strLabel.ends_with(" km") ? 1000 : 1);
        }
    }
    ASSERT_GT(nTrack, 100);
    ASSERT_GT(nBar, 20);
    EXPECT_NEAR(nBar, dLabelMetres / (1113.195 * 0.5) * nTrack, 1.5) << dLabelMetres;
}

// The speed chart read as a user reads it: a record of 73.50 km/h (7350 hundredths) peaks where
// the axis's labelled grid lines say 73.5, and the axis ends at the first label above the peak.
TEST(TrackPlot, SpeedAxisReadsTheRecordsSpeed) {
    const uint16_t speeds[] = {0, 7350, 3675};
    auto pData = std::make_unique<uint8_t[]>(3 * kFixRecordSize);
    for (uint32_t i = 0; i < 3; ++i) {
        EncodeFixRecord({100 + i, 50000000, 10000000 + 1000 * static_cast<int32_t>(i), 0, speeds[i],
                         2 << 6 | 8, 0, 0, 0},
                        pData.get() + i * kFixRecordSize);
    }
    TrackPlot plot;
    plot.SetTrack(std::make_shared<const RawLogImage>(std::move(pData), 3));
    plot.SetSelection({kSelectAll, 0, 0, 0, false});
    const std::vector<PlotItem>& items = plot.Build(700, 560, PlotMetrics{});
    size_t nTitle = 0;
    while (nTitle < items.size() && items[nTitle].strText != "Speed (km/h)") ++nTitle;
    ASSERT_LT(nTitle, items.size());
    // Before the title: the labels (bottom up, one a grid line), the grid, then the traces.
    size_t nGrid = nTitle;
    while (nGrid > 0 && items[nGrid].color != kGrid) --nGrid;
    const size_t nLabels = nGrid - items[nGrid].points.size() / 2;
    std::vector<std::pair<double, int>> marks;  // label value, its grid line's y
    for (size_t i = nLabels; i < nGrid; ++i) {
        marks.emplace_back(std::stod(items[i].strText), items[nGrid].points[2 * (i - nLabels)].y);
    }
    ASSERT_GE(marks.size(), 3u);
    int nPeak = INT32_MAX;
    for (size_t i = nGrid; i < nTitle; ++i) {
        if (items[i].color != kChartLine) continue;
        for (const PlotPoint& p : items[i].points) nPeak = std::min(nPeak, p.y);
    }
    const auto [v0, y0] = marks[0];
    const auto [v1, y1] = marks[1];
    const double dPixelsPerUnit = double(y0 - y1) / (v1 - v0);
    EXPECT_NEAR(v0 + (y0 - nPeak) / dPixelsPerUnit, 73.5, 1 / dPixelsPerUnit);
    EXPECT_GE(marks.back().first, 73.5);
    EXPECT_LT(marks[marks.size() - 2].first, 73.5);
}
