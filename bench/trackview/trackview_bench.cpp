// What a redraw of the track view costs on a large file: the selection worked out again, the
// plot built for the window's size (decimated to the pixel) and painted with QPainter into an
// image the size of the window, best of several runs. Exits non-zero when a redraw after a change
// of the Translate choices takes 100 ms or more.
//   trackview_bench [--records N] [--runs N] [--width W --height H]
#include <QApplication>
#include <QImage>
#include <QPainter>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

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

}  // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    uint32_t nRecords = 500000;
    int nRuns = 7, cx = 1200, cy = 800;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (!std::strcmp(argv[i], "--records")) nRecords = uint32_t(std::atol(argv[i + 1]));
        if (!std::strcmp(argv[i], "--runs")) nRuns = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--width")) cx = std::atoi(argv[i + 1]);
        if (!std::strcmp(argv[i], "--height")) cy = std::atoi(argv[i + 1]);
    }
    // One fix a second, as a logger set to its shortest interval writes them.
    TrackGeneratorOptions options;
    options.nRecords = nRecords;
    options.nIntervalSeconds = 1;
    const std::vector<uint8_t> bytes = GenerateTrack(options);
    auto pData = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), pData.get());
    const auto pImage = std::make_shared<const RawLogImage>(std::move(pData), nRecords);

    QImage picture(cx, cy, QImage::Format_RGB32);
    QFont font = QApplication::font();
    font.setPixelSize(13);
    const QFontMetrics metrics(font);
    const PlotMetrics plotMetrics{metrics.averageCharWidth(), metrics.height(),
                                  [&metrics](std::string_view text) {
                                      return metrics.horizontalAdvance(
                                          QString::fromUtf8(text.data(), qsizetype(text.size())));
                                  }};
    TrackPlot plot;
    // Two selections taken in turns, so every run has real work: By Time over the first half
    // of the records, and All.
    RecordSelection half{kSelectByTime, 0, nRecords / 2, 0, true};
    RecordSelection all{kSelectAll, 0, 0, 0, false};
    const double loadMs = BestMs(nRuns, [&](int) {
        plot.SetTrack(pImage);
        plot.SetSelection(all);
    });
    size_t nPoints = 0;
    const double buildMs = BestMs(nRuns, [&](int) {
        nPoints = 0;
        for (const PlotItem& item : plot.Build(cx, cy, plotMetrics)) nPoints += item.points.size();
    });
    const double paintMs = BestMs(nRuns, [&](int) {
        QPainter painter(&picture);
        painter.setFont(font);
        PaintPlotItems(painter, plot.Build(cx, cy, plotMetrics));
    });
    const double redrawMs = BestMs(nRuns, [&](int i) {
        plot.SetSelection(i % 2 ? all : half);
        QPainter painter(&picture);
        painter.setFont(font);
        PaintPlotItems(painter, plot.Build(cx, cy, plotMetrics));
    });
    const double hoverMs = BestMs(nRuns, [&](int i) { (void)plot.HitTest({cx / 2 + i, cy / 3}); });
    std::printf("track view, %u records, %dx%d pixels, best of %d runs\n", nRecords, cx, cy, nRuns);
    std::printf("  load (projection, selection)      %8.1f ms\n", loadMs);
    std::printf("  build (decimated: %zu points)  %8.1f ms\n", nPoints, buildMs);
    std::printf("  build and paint                   %8.1f ms\n", paintMs);
    std::printf("  redraw after a selection change   %8.1f ms   (target < 100 ms)\n", redrawMs);
    std::printf("  pointer move (hit test)           %8.1f ms\n", hoverMs);
    return redrawMs < 100.0 ? 0 : 1;
}
