// What the track view costs on large files, for several record counts side by side: the plot
// built for the window's size (decimated to the pixel) and painted with QPainter over cached map
// tiles into an image the size of the window, after a pan, after a zoom (near the fitted scale and
// deep in) and after a change of the Translate choices; and a pointer move (the hit test, the
// readout, and the picture with the pointer's marks). Best of several runs. Exits non-zero when a
// redraw takes 50 ms or more or a pointer move 10 ms or more.
//   trackview_bench [--records N[,N...]] [--runs N] [--width W --height H]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "TrackGenerator.h"
#include "app/TrackPlot.h"
#include "app/qt/TrackViewWindow.h"

namespace {

template <typename F>
double BestMs(int nRuns, F run) {
    double best = 1e300;
    for (int i = 0; i < nRuns; ++i) {
        const auto start = std::chrono::steady_clock::now();
        run(i);
        best = std::min(best, std::chrono::duration<double, std::milli>(
                                  std::chrono::steady_clock::now() - start)
                                  .count());
    }
    return best;
}

struct Result {
    uint32_t nRecords = 0;
    double loadMs = 0, panMs = 0, zoomMs = 0, deepMs = 0, selectMs = 0, pointerMs = 0;
    size_t nPoints = 0;
};

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    std::vector<uint32_t> counts = {500000, 5000000};
    int nRuns = 7, cx = 1200, cy = 800;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--records")) {
            counts.clear();
            for (const char* p = argv[i + 1]; *p;) {
                char* pEnd = nullptr;
                counts.push_back(uint32_t(std::strtoul(p, &pEnd, 10)));
                p = *pEnd == ',' ? pEnd + 1 : pEnd;
            }
        }
        if (!std::strcmp(argv[i], "--runs")) nRuns = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--width")) cx = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--height")) cy = std::atoi(argv[i + 1]);
    }

    QImage picture(cx, cy, QImage::Format_RGB32);
    QImage screen(cx, cy, QImage::Format_RGB32);
    QFont font = QApplication::font();
    font.setPixelSize(13);
    const QFontMetrics metrics(font);
    const PlotMetrics plotMetrics{metrics.averageCharWidth(), metrics.height(),
                                  [&metrics](std::string_view text) {
                                      return metrics.horizontalAdvance(
                                          QString::fromUtf8(text.data(), qsizetype(text.size())));
                                  }};
    // Tiles as the memory cache holds them after their first fetch: one picture per tile.
    std::unordered_map<TileKey, QImage, TileKeyHash> tiles;
    const TileLookup lookup = [&tiles](const TileKey& key) {
        QImage& image = tiles[key];
        if (image.isNull()) {
            image = QImage(256, 256, QImage::Format_RGB32);
            image.fill(QColor(200 + key.x % 40, 210 + key.y % 40, 190));
        }
        return &image;
    };

    std::vector<Result> results;
    for (const uint32_t nRecords : counts) {
        // One fix a second, as a logger set to its shortest interval writes them.
        TrackGeneratorOptions options;
        options.nRecords = nRecords;
        options.nIntervalSeconds = 1;
        const std::vector<uint8_t> bytes = GenerateTrack(options);
        auto pData = std::make_unique<uint8_t[]>(bytes.size());
        std::copy(bytes.begin(), bytes.end(), pData.get());
        const auto pImage = std::make_shared<const RawLogImage>(std::move(pData), nRecords);

        TrackPlot plot;
        plot.SetMapTiles(true, "\xC2\xA9 OpenStreetMap contributors");
        const auto Redraw = [&] {
            QPainter painter(&picture);
            painter.setFont(font);
            PaintPlotItems(painter, plot.Build(cx, cy, plotMetrics), plot.View(), lookup);
        };
        // Two selections taken in turns, so every run has real work: By Time over the first
        // half of the records, and All.
        const uint32_t dwFirst = ReadLe32(pImage->Bytes());
        const RecordSelection half{kSelectByTime, dwFirst, dwFirst + nRecords / 2, 0, true};
        const RecordSelection all{kSelectAll, 0, 0, 0, false};
        Result result;
        result.nRecords = nRecords;
        result.loadMs = BestMs(std::min(nRuns, 3), [&](int) {
            plot.SetTrack(pImage);
            plot.SetSelection(all);
        });
        Redraw();
        result.panMs = BestMs(nRuns, [&](int i) {
            plot.PanBy(i % 2 ? 37 : -37, i % 2 ? -23 : 23);
            Redraw();
        });
        // In twice and out twice around a point off the middle, fitted again at the end.
        result.zoomMs = BestMs(nRuns, [&](int i) {
            plot.ZoomBy(i % 4 < 2 ? 1 : -1, {cx / 3, cy / 4});
            Redraw();
        });
        // Close to a position the pointer finds near the middle, 256 and 512 times the fitted
        // scale in turns: most of the track lies off the map.
        plot.FitToTrack();
        Redraw();
        PlotPoint on{cx / 2, cy / 4};
        std::optional<uint32_t> nNear;
        for (int d = 0; d < cx / 2 && !nNear; d += 8)
            nNear = plot.HitTest(on = {cx / 2 + d, cy / 4});
        if (nNear)
            on = {plot.HoverItems(*nNear)[0].rect.x + 8, plot.HoverItems(*nNear)[0].rect.y + 8};
        plot.ZoomBy(8, on);
        result.deepMs = BestMs(nRuns, [&](int i) {
            plot.ZoomBy(i % 2 ? -1 : 1, on);
            Redraw();
        });
        plot.FitToTrack();
        result.selectMs = BestMs(nRuns, [&](int i) {
            plot.SetSelection(i % 2 ? all : half);
            Redraw();
        });
        for (const PlotItem& item : plot.Build(cx, cy, plotMetrics))
            result.nPoints += item.points.size();
        // Along the map's middle row and across the speed chart, the marks drawn over the picture.
        const PlotRect map = plot.View().rect;
        result.pointerMs = BestMs(nRuns * 4, [&](int i) {
            const PlotPoint at =
                i % 2 ? PlotPoint{map.x + map.cx * (i + 1) / (nRuns * 4 + 2), map.y + map.cy / 2}
                      : PlotPoint{cx / 2 + i, map.y + map.cy + 40};
            QPainter painter(&screen);
            painter.setFont(font);
            painter.drawImage(0, 0, picture);
            if (const std::optional<uint32_t> nHit = plot.HitTest(at))
                PaintPlotItems(painter, plot.HoverItems(*nHit));
        });
        results.push_back(result);
    }

    std::printf("track view, %dx%d pixels, cached tiles, best of %d runs\n", cx, cy, nRuns);
    std::printf("  %-34s", "records");
    for (const Result& r : results) std::printf("%12u", r.nRecords);
    const auto Row = [&](const char* pszName, double Result::*pValue, const char* pszTarget) {
        std::printf("\n  %-34s", pszName);
        for (const Result& r : results) std::printf("%9.1f ms", r.*pValue);
        std::printf("   %s", pszTarget);
    };
    Row("load (projection, selection)", &Result::loadMs, "");
    Row("redraw after a pan", &Result::panMs, "(target < 50 ms)");
    Row("redraw after a zoom", &Result::zoomMs, "(target < 50 ms)");
    Row("redraw after a zoom, 256x in", &Result::deepMs, "(target < 50 ms)");
    Row("redraw after a selection change", &Result::selectMs, "(target < 50 ms)");
    Row("pointer move", &Result::pointerMs, "(target < 10 ms)");
    std::printf("\n  %-34s", "points drawn (decimated)");
    for (const Result& r : results) std::printf("%12zu", r.nPoints);
    std::printf("\n");
    bool bOk = true;
    for (const Result& r : results) {
        bOk = bOk && r.panMs < 50 && r.zoomMs < 50 && r.deepMs < 50 && r.selectMs < 50 &&
              r.pointerMs < 10;
    }
    return bOk ? 0 : 1;
}
