// Writes a raw log for demos and tests: make_sample_log OUT.dlg [records] [seed]
// The default track starts at 2009-05-01 15:30:00 GPS time, so at GMT+8:00 it crosses local
// midnight.
#include <cstdio>
#include <cstdlib>

#include "TrackGenerator.h"
#include "track/Calendar.h"

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: make_sample_log OUT.dlg [records] [seed]\n");
        return 2;
    }
    TrackGeneratorOptions opt;
    if (argc > 2) opt.nRecords = static_cast<uint32_t>(std::strtoul(argv[2], nullptr, 10));
    if (argc > 3) opt.nSeed = static_cast<uint32_t>(std::strtoul(argv[3], nullptr, 10));
    uint32_t dwStart = 0;
    if (!DateTimeToSeconds(LogDateTime{2009, 5, 1, 15, 30, 0}, dwStart)) return 1;
    opt.dwStartTime = dwStart;
    const std::vector<uint8_t> bytes = GenerateTrack(opt);
    FILE* f = std::fopen(argv[1], "wb");
    if (!f) {
        std::perror(argv[1]);
        return 1;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
