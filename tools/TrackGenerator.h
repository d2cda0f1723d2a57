#pragma once

#include <cstdint>
#include <vector>

// Makes plausible raw logs for samples, the simulator and benchmarks: a vehicle that drives with
// changing speed and heading, a fix mode that drops to 2D now and then, and occasional stretches
// without a fix (as under a bridge), all from a fixed seed so the same options give the same bytes.
struct TrackGeneratorOptions {
    uint32_t nRecords = 600;
    uint32_t dwStartTime = 0;  // record time of the first fix
    uint32_t nIntervalSeconds = 5;
    int32_t lStartLatitude = 25033000;  // millionths of a degree
    int32_t lStartLongitude = 121565400;
    uint32_t nSeed = 1;
    uint32_t nNoFixPerMille = 10;  // chance of a no-fix stretch starting at a record
};

std::vector<uint8_t> GenerateTrack(const TrackGeneratorOptions& options);
