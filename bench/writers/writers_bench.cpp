// Writer speed without the command line: each format written from a loaded image into an output
// file, best of several runs, in records per second; and what a named zone costs over a fixed
// offset in the same writer. Exits non-zero when a target is missed.
//   writers_bench [--records N] [--runs N] [--dir DIR]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "TrackGenerator.h"
#include "export/OutputFile.h"
#include "export/TrackWriters.h"

namespace {

namespace fs = std::filesystem;

using Writer = std::function<uint32_t(OutputBuffer&)>;

// Time of one run, writing through a real output file that is then removed.
double TimeOneRun(const Writer& write, const fs::path& path, uint64_t& nBytes) {
    const auto start = std::chrono::steady_clock::now();
    OutputFile out;
    if (!out.Create(path.string())) {
        std::fprintf(stderr, "cannot create %s\n", path.string().c_str());
        std::exit(2);
    }
    (void)write(out);
    if (!out.Finish()) {
        std::fprintf(stderr, "writing %s failed\n", path.string().c_str());
        std::exit(2);
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    nBytes = fs::file_size(path);
    fs::remove(path);
    return seconds;
}

// Formats and drops the bytes: the writers' own work, without the file system's.
class NullOutput final : public OutputBuffer {
  public:
    NullOutput() : OutputBuffer(OutputFile::kBufferSize) {}

  protected:
    bool FlushBuffer(std::unique_ptr<char[]>&, size_t) override { return true; }
};

double TimeFormatting(const Writer& write) {
    const auto start = std::chrono::steady_clock::now();
    NullOutput out;
    (void)write(out);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t nRecords = 2000000;
    int nRuns = 5;
    fs::path dir = fs::temp_directory_path() / "quorvel-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--records")
            nRecords = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        if (opt == "--runs") nRuns = std::atoi(argv[i + 1]);
        if (opt == "--dir") dir = argv[i + 1];
    }
    fs::create_directories(dir);

    // One fix a second from 2024-03-20 on: 23 days at 2,000,000 records, across Berlin's and
    // New York's spring changes.
    TrackGeneratorOptions gen;
    gen.nRecords = nRecords;
    gen.dwStartTime = 8845u * 86400u;
    gen.nIntervalSeconds = 1;
    const std::vector<uint8_t> bytes = GenerateTrack(gen);
    auto data = std::make_unique<uint8_t[]>(bytes.size());
    std::memcpy(data.get(), bytes.data(), bytes.size());
    const RawLogImage image(std::move(data), nRecords);

    RecordSelection all;
    all.nSelectMode = kSelectAll;
    all.bDropNoFix = false;
    const TimeZone fixed = TimeZone::Fixed(3600);
    TimeZone named;
    if (ParseTimeZone("Europe/Berlin", named) != TimeZoneStatus::Ok) {
        std::fprintf(stderr, "Europe/Berlin is not in the system's zone data\n");
        return 2;
    }
    KmlTrackOptions everyPoint;
    everyPoint.nPointEvery = 1;

    struct Case {
        const char* name;
        Writer write;
        double dTarget;  // records/s; 0 = no target of its own
    };
    const Case cases[] = {
        {"csv GMT+1:00", [&](OutputBuffer& o) { return WriteCsv(o, image, all, fixed); }, 0},
        {"csv Europe/Berlin", [&](OutputBuffer& o) { return WriteCsv(o, image, all, named); }, 0},
        {"kml GMT+1:00", [&](OutputBuffer& o) { return WriteKml(o, image, all, fixed); }, 0},
        {"kml Europe/Berlin", [&](OutputBuffer& o) { return WriteKml(o, image, all, named); }, 0},
        {"gpx", [&](OutputBuffer& o) { return WriteGpx(o, image, all); }, 3e6},
        {"kml track GMT+1:00", [&](OutputBuffer& o) { return WriteKmlTrack(o, image, all, fixed); },
         3e6},
        {"kml track Berlin", [&](OutputBuffer& o) { return WriteKmlTrack(o, image, all, named); },
         3e6},
        {"kml track pins",
         [&](OutputBuffer& o) { return WriteKmlTrack(o, image, all, named, everyPoint); }, 0},
    };

    std::printf("%u records, best of %d runs, output in %s\n\n", nRecords, nRuns,
                dir.string().c_str());
    std::printf("%-20s %9s %13s %9s %9s\n", "case", "seconds", "records/s", "MB/s", "target");
    // The cases take turns run by run, so that a busy moment of the machine does not fall on
    // one case alone; each keeps its best run.
    const size_t nCases = sizeof cases / sizeof cases[0];
    std::vector<double> seconds(nCases, 1e30);
    std::vector<uint64_t> sizes(nCases, 0);
    for (int run = 0; run < nRuns; ++run) {
        for (size_t i = 0; i < nCases; ++i) {
            seconds[i] = std::min(seconds[i],
                                  TimeOneRun(cases[i].write, dir / "writers-bench.out", sizes[i]));
        }
    }
    bool bOk = true;
    for (size_t i = 0; i < nCases; ++i) {
        const double rate = nRecords / seconds[i];
        const bool bPass = cases[i].dTarget == 0 || rate >= cases[i].dTarget;
        bOk = bOk && bPass;
        std::printf("%-20s %9.3f %13.0f %9.1f %9s\n", cases[i].name, seconds[i], rate,
                    static_cast<double>(sizes[i]) / 1e6 / seconds[i],
                    cases[i].dTarget == 0 ? "-" : (bPass ? "PASS" : "MISS"));
    }
    std::printf("\n");
    // Named zone against fixed offset, writer by writer (cases 0/1, 2/3, 5/6), on formatting
    // alone, the two taking turns.
    for (auto [f, n] : {std::pair{0, 1}, std::pair{2, 3}, std::pair{5, 6}}) {
        double dFixed = 1e30;
        double dNamed = 1e30;
        for (int run = 0; run < 2 * nRuns; ++run) {
            dFixed = std::min(dFixed, TimeFormatting(cases[f].write));
            dNamed = std::min(dNamed, TimeFormatting(cases[n].write));
        }
        const double ratio = dNamed / dFixed;
        const bool bPass = ratio <= 1.15;
        bOk = bOk && bPass;
        std::printf("%-20s %.3f s against %.3f s formatting alone: %+.1f%% (limit +15%%) -> %s\n",
                    cases[n].name, dNamed, dFixed, (ratio - 1) * 100, bPass ? "PASS" : "MISS");
    }
    return bOk ? 0 : 1;
}
