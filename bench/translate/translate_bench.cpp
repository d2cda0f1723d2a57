// End-to-end translation speed: quorvel-cli translate on a large generated log, against a naive
// writer (snprintf plus one system call per piece) in the same run. Prints records/s, MB/s, peak
// memory and the ratios, checks that both writers produce the same bytes, and exits non-zero when a
// target is missed.
//   translate_bench [--records N] [--runs N] [--dir DIR]
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "TrackGenerator.h"
#include "bench/common/TimedProcess.h"
#include "platform/File.h"

namespace {

namespace fs = std::filesystem;

struct Measure {
    double dSeconds = 1e30;  // best of the runs
    double dPeakMiB = 0;     // largest of the runs
};

// Each run starts from a settled page cache: the previous output removed and the disk synced, so
// that one run does not pay for the writeback of the one before.
Measure Run(const std::vector<std::string>& args, int nRuns, const fs::path& output = {}) {
    Measure m;
    for (int run = 0; run < nRuns; ++run) {
        if (!output.empty()) fs::remove(output);
        ::sync();
        const ProcessRun one = TimeProcess(args, "/dev/null");
        m.dSeconds = std::min(m.dSeconds, one.dSeconds);
        m.dPeakMiB = std::max(m.dPeakMiB, one.dPeakMiB);
    }
    return m;
}

bool SameFiles(const fs::path& a, const fs::path& b) {
    if (fs::file_size(a) != fs::file_size(b)) return false;
    std::ifstream fa(a, std::ios::binary), fb(b, std::ios::binary);
    std::vector<char> ba(1 << 20), bb(1 << 20);
    while (fa && fb) {
        fa.read(ba.data(), static_cast<std::streamsize>(ba.size()));
        fb.read(bb.data(), static_cast<std::streamsize>(bb.size()));
        if (fa.gcount() != fb.gcount() ||
            std::memcmp(ba.data(), bb.data(), static_cast<size_t>(fa.gcount())) != 0) {
            return false;
        }
    }
    return true;
}

// What putting a 1 GiB output on the disk costs: the same 2 MiB writes as a translation's, once
// left to the page cache and once with the final fsync (the disk starts on each buffer as it is
// written, as the output file does).
void MeasureSync(const fs::path& dir) {
    const std::vector<char> chunk(size_t{2} << 20, 'x');
    double dSeconds[2] = {1e30, 1e30};
    for (int nRun = 0; nRun < 4; ++nRun) {
        const bool bSync = nRun % 2 == 1;
        const fs::path path = dir / "sync-cost.bin";
        fs::remove(path);
        ::sync();
        File file;
        const auto start = std::chrono::steady_clock::now();
        if (!file.CreateNew(path.string())) return;
        uint64_t nAt = 0;
        for (int i = 0; i < 512; ++i, nAt += chunk.size()) {
            if (!file.WriteAll(chunk.data(), chunk.size())) return;
            file.StartWriteBack(nAt, chunk.size());
        }
        if (bSync && !file.Sync()) return;
        static_cast<void>(file.Close());
        const double d =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        dSeconds[bSync ? 1 : 0] = std::min(dSeconds[bSync ? 1 : 0], d);
        fs::remove(path);
    }
    std::printf(
        "1 GiB output: %.3f s into the page cache, %.3f s on the disk (fsync costs %.3f s)\n\n",
        dSeconds[0], dSeconds[1], dSeconds[1] - dSeconds[0]);
}

}  // namespace

int main(int argc, char** argv) {
    uint32_t nRecords = 2000000;
    int nRuns = 3;
    fs::path dir = fs::temp_directory_path() / "quorvel-bench";
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string opt = argv[i];
        if (opt == "--records")
            nRecords = static_cast<uint32_t>(std::strtoul(argv[i + 1], nullptr, 10));
        if (opt == "--runs") nRuns = std::atoi(argv[i + 1]);
        if (opt == "--dir") dir = argv[i + 1];
    }
    fs::create_directories(dir);
    const fs::path log = dir / ("track-" + std::to_string(nRecords) + ".dlg");
    if (!fs::exists(log) || fs::file_size(log) != uint64_t{nRecords} * 20) {
        TrackGeneratorOptions opt;
        opt.nRecords = nRecords;
        opt.dwStartTime = 300000000;
        opt.nIntervalSeconds = 1;
        const std::vector<uint8_t> bytes = GenerateTrack(opt);
        std::ofstream(log, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    const double dImageMiB = static_cast<double>(fs::file_size(log)) / (1 << 20);
    const std::string cli = QUORVEL_CLI_PATH;
    const std::string baseline = QUORVEL_BASELINE_PATH;

    std::printf("%u records (%.1f MiB image), best of %d runs\n\n", nRecords, dImageMiB, nRuns);
    std::printf("%-18s %10s %14s %10s %12s\n", "case", "seconds", "records/s", "MB/s", "peak MiB");
    const Measure load = Run({cli, "info", log.string()}, nRuns);
    std::printf("%-18s %10.3f %14.0f %10s %12.1f\n", "load (info)", load.dSeconds,
                nRecords / load.dSeconds, "-", load.dPeakMiB);

    bool bOk = true;
    for (const char* ext : {"csv", "kml"}) {
        const fs::path ours = dir / (std::string("ours.") + ext);
        const fs::path naive = dir / (std::string("naive.") + ext);
        const Measure m = Run({cli, "translate", log.string(), "--all", "--keep-nofix", "--tz",
                               "GMT+8:00", "-o", ours.string()},
                              nRuns, ours);
        const Measure b = Run({baseline, log.string(), naive.string()}, 1, naive);
        const double dMB = static_cast<double>(fs::file_size(ours)) / 1e6;
        std::printf("%-18s %10.3f %14.0f %10.1f %12.1f\n", (std::string(ext) + " quorvel").c_str(),
                    m.dSeconds, nRecords / m.dSeconds, dMB / m.dSeconds, m.dPeakMiB);
        std::printf("%-18s %10.3f %14.0f %10.1f %12.1f\n", (std::string(ext) + " baseline").c_str(),
                    b.dSeconds, nRecords / b.dSeconds, dMB / b.dSeconds, b.dPeakMiB);
        const double dRate = nRecords / m.dSeconds;
        const double dSpeedup = b.dSeconds / m.dSeconds;
        const bool bKml = std::strcmp(ext, "kml") == 0;
        const double dRateTarget = bKml ? 3e6 : 5e6;
        const double dSpeedupTarget = bKml ? 40 : 20;
        const double dPeakMiB = m.dPeakMiB;
        const bool bSame = SameFiles(ours, naive);
        const bool bPass = dRate >= dRateTarget && dSpeedup >= dSpeedupTarget &&
                           dPeakMiB <= dImageMiB + 16 && bSame;
        std::printf(
            "  %s: %.2fx the baseline (target %.0fx), %.2f M records/s (target %.0f M), "
            "peak %.1f MiB (limit %.1f), bytes %s -> %s\n\n",
            ext, dSpeedup, dSpeedupTarget, dRate / 1e6, dRateTarget / 1e6, dPeakMiB, dImageMiB + 16,
            bSame ? "identical" : "DIFFER", bPass ? "PASS" : "MISS");
        bOk = bOk && bPass;
        fs::remove(ours);
        fs::remove(naive);
    }
    // The formats of the GPS world and a named zone, each through the program end to end.
    struct Extra {
        const char* pszName;
        std::vector<std::string> args;
        const char* pszOut;
        double dTarget;  // records/s; 0: measured for the zone comparison only
    };
    const std::vector<Extra> extras = {
        {"gpx", {"--tz", "GMT+8:00"}, "x.gpx", 3e6},
        {"kml track", {"--tz", "GMT+8:00", "--kml-track"}, "x.kml", 3e6},
        {"csv, fixed zone", {"--tz", "GMT+1:00"}, "x.csv", 0},
        {"csv, Europe/Berlin", {"--tz", "Europe/Berlin"}, "x.csv", 0},
    };
    double dFixed = 0;
    for (const Extra& e : extras) {
        std::vector<std::string> args = {cli,
                                         "translate",
                                         log.string(),
                                         "--all",
                                         "--keep-nofix",
                                         "-o",
                                         (dir / e.pszOut).string()};
        args.insert(args.end(), e.args.begin(), e.args.end());
        const Measure m = Run(args, nRuns, dir / e.pszOut);
        std::printf("%-18s %10.3f %14.0f %10s %12.1f", e.pszName, m.dSeconds, nRecords / m.dSeconds,
                    "-", m.dPeakMiB);
        if (e.dTarget > 0) {
            const bool bPass = nRecords / m.dSeconds >= e.dTarget;
            std::printf("  (target %.0f M records/s: %s)", e.dTarget / 1e6,
                        bPass ? "PASS" : "MISS");
            bOk = bOk && bPass;
        } else if (dFixed == 0) {
            dFixed = m.dSeconds;
        } else {
            const double dCost = (m.dSeconds / dFixed - 1) * 100;
            std::printf("  (%+.1f%% over a fixed offset, limit 15%%: %s)", dCost,
                        dCost <= 15 ? "PASS" : "MISS");
            bOk = bOk && dCost <= 15;
        }
        std::printf("\n");
        fs::remove(dir / e.pszOut);
    }
    std::printf("\n");
    MeasureSync(dir);
    return bOk ? 0 : 1;
}
