// A year and a half of logging through the archive's tools: quorvel-cli merge of two downloads
// that overlap, info --days and translate --split day to GPX on the merged log, each as a process,
// timed end to end with its peak memory. Checks that the merge gives back the generated track and
// that there is one GPX file per day; exits non-zero when a target is missed (merge under 2 s, the
// three under 10 s together, each within its image plus 64 MiB, info --days within 3 times plain
// info, which only reads the log).
//   archive_bench [--records N] [--runs N] [--dir DIR]
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TrackGenerator.h"
#include "bench/common/TimedProcess.h"

namespace {

namespace fs = std::filesystem;

struct Measure {
    double dSeconds = 1e30;  // best of the runs
    double dPeakMiB = 0;     // largest of the runs
};

// Runs the command nRuns times with its standard output into outFile; the disk is synced before
// each run, so that one run does not pay for the writeback of the one before.
Measure Run(const std::vector<std::string>& args, int nRuns, const fs::path& outFile,
            const fs::path& cleanDir = {}) {
    Measure m;
    for (int run = 0; run < nRuns; ++run) {
        if (!cleanDir.empty()) {
            fs::remove_all(cleanDir);
            fs::create_directories(cleanDir);
        }
        ::sync();
        const ProcessRun one = TimeProcess(args, outFile.string());
        m.dSeconds = std::min(m.dSeconds, one.dSeconds);
        m.dPeakMiB = std::max(m.dPeakMiB, one.dPeakMiB);
    }
    return m;
}

void WriteBytes(const fs::path& path, const uint8_t* p, size_t n) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(p), static_cast<std::streamsize>(n));
}

size_t CountLines(const fs::path& path) {
    std::ifstream in(path);
    return static_cast<size_t>(
        std::count(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>(), '\n'));
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t nRecords = 10000000;
    int nRuns = 3;
    fs::path dir = fs::temp_directory_path() / "quorvel-archive-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--records") {
            nRecords = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        }
        if (opt == "--runs") nRuns = std::atoi(argv[i + 1]);
        if (opt == "--dir") dir = argv[i + 1];
    }
    fs::create_directories(dir);

    // One fix every 5 s from 2024-01-01 on; two downloads made without erasing in between, so
    // that the second repeats the last 5% of the first.
    TrackGeneratorOptions gen;
    gen.nRecords = nRecords;
    gen.dwStartTime = 757382400;
    const std::vector<uint8_t> track = GenerateTrack(gen);
    const size_t nSecondFrom = size_t{nRecords} / 2;
    const size_t nFirstTo = nSecondFrom + nRecords / 20;
    WriteBytes(dir / "a.dlg", track.data(), nFirstTo * 20);
    WriteBytes(dir / "b.dlg", track.data() + nSecondFrom * 20, (nRecords - nSecondFrom) * 20);
    const double dInputMiB = static_cast<double>(nRecords - nSecondFrom + nFirstTo) * 20 / 1048576;
    const double dImageMiB = static_cast<double>(nRecords) * 20 / 1048576;

    const std::string cli = QUORVEL_CLI_PATH;
    const fs::path all = dir / "all.dlg";
    const fs::path days = dir / "days";
    const Measure merge = Run({cli, "merge", (dir / "a.dlg").string(), (dir / "b.dlg").string(),
                               "-o", all.string(), "--force"},
                              nRuns, dir / "merge.txt");
    // Reading the merged log alone (load, check, count), for what --days adds to it.
    const Measure read = Run({cli, "info", all.string()}, nRuns, dir / "info.txt");
    const Measure info = Run({cli, "info", "--days", all.string(), "--tz", "Europe/Berlin"}, nRuns,
                             dir / "days.txt");
    const Measure split = Run({cli, "translate", all.string(), "--all", "--tz", "Europe/Berlin",
                               "--split", "day", "-o", (days / "%Y-%m-%d.gpx").string()},
                              nRuns, dir / "split.txt", days);

    // The merge gives back the track; a GPX file for every day that info found.
    std::ifstream merged(all, std::ios::binary);
    const std::vector<uint8_t> back((std::istreambuf_iterator<char>(merged)),
                                    std::istreambuf_iterator<char>());
    const bool bSameTrack = back == track;
    const size_t nDays = CountLines(dir / "days.txt") - 2;
    const auto nFiles =
        static_cast<size_t>(std::distance(fs::directory_iterator(days), fs::directory_iterator()));
    uint64_t nGpxBytes = 0;
    for (const auto& e : fs::directory_iterator(days)) nGpxBytes += e.file_size();

    std::printf(
        "%u records (%.1f MiB) from two downloads of %.1f MiB together, best of %d runs\n\n",
        nRecords, dImageMiB, dInputMiB, nRuns);
    std::printf("| case | seconds | records/s | peak memory | limit |\n|---|---|---|---|---|\n");
    const auto row = [&](const char* name, const Measure& m, double dImage) {
        std::printf("| %s | %.2f | %.1f M | %.1f MiB | %.1f MiB |\n", name, m.dSeconds,
                    nRecords / m.dSeconds / 1e6, m.dPeakMiB, dImage + 64);
    };
    row("merge (2 files)", merge, dInputMiB);
    row("info (reading the log)", read, dImageMiB);
    row("info --days", info, dImageMiB);
    row("translate --split day, GPX", split, dImageMiB);
    const double dTotal = merge.dSeconds + info.dSeconds + split.dSeconds;
    std::printf(
        "\ntogether %.2f s (target 10 s); merge target 2 s; info --days %.1f times reading "
        "(target 3); %zu days, %zu GPX files, %.0f MiB of GPX; merged track %s\n",
        dTotal, info.dSeconds / read.dSeconds, nDays, nFiles,
        static_cast<double>(nGpxBytes) / 1048576,
        bSameTrack ? "identical to the generated one" : "DIFFERS");
    const bool bOk = bSameTrack && nFiles == nDays && dTotal < 10 && merge.dSeconds < 2 &&
                     info.dSeconds < 3 * read.dSeconds && merge.dPeakMiB < dInputMiB + 64 &&
                     info.dPeakMiB < dImageMiB + 64 && split.dPeakMiB < dImageMiB + 64;
    fs::remove_all(dir);
    return bOk ? 0 : 1;
}
