#include "TrackGenerator.h"

#include <algorithm>
#include <cmath>

#include "track/FixRecord.h"

namespace {

// A small fixed generator, so the output never depends on the standard library's engines.
class SplitMix {
  public:
    explicit SplitMix(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }
    // Uniform in [0, n).
    uint32_t Below(uint32_t n) { return static_cast<uint32_t>(Next() % n); }
    double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }

  private:
    uint64_t m_state;
};

constexpr double kPi = 3.14159265358979323846;

}  // namespace

std::vector<uint8_t> GenerateTrack(const TrackGeneratorOptions& opt) {
    std::vector<uint8_t> bytes(size_t{opt.nRecords} * kFixRecordSize);
    SplitMix rng(opt.nSeed);
    double lat = opt.lStartLatitude / 1e6;
    double lon = opt.lStartLongitude / 1e6;
    double heading = rng.Unit() * 360.0;
    double speed = 30.0;  // km/h
    int altitude = 40;
    uint32_t nNoFixLeft = 0;
    uint32_t time = opt.dwStartTime;

    for (uint32_t i = 0; i < opt.nRecords; ++i) {
        speed = std::clamp(speed + (rng.Unit() - 0.5) * 8.0, 0.0, 110.0);
        heading = std::fmod(heading + (rng.Unit() - 0.5) * 30.0 + 360.0, 360.0);
        const double km = speed * opt.nIntervalSeconds / 3600.0;
        lat += km / 111.32 * std::cos(heading * kPi / 180.0);
        lon += km / (111.32 * std::cos(lat * kPi / 180.0)) * std::sin(heading * kPi / 180.0);
        lat = std::clamp(lat, -89.9, 89.9);
        if (lon > 180.0) lon -= 360.0;
        if (lon < -180.0) lon += 360.0;
        altitude = std::clamp(altitude + static_cast<int>(rng.Below(7)) - 3, 0, 3000);

        if (nNoFixLeft == 0 && rng.Below(1000) < opt.nNoFixPerMille) nNoFixLeft = 1 + rng.Below(4);
        FixRecord r{};
        r.dwTime = time;
        if (nNoFixLeft > 0) {
            --nNoFixLeft;
            // Without a fix the logger repeats nothing useful: position and speed are zero.
            r.bFixSv = static_cast<uint8_t>(rng.Below(3));
            r.bHdop = 99;
        } else {
            const unsigned mode = rng.Below(20) == 0 ? 1u : 2u;
            const unsigned sats = mode == 1 ? 3 + rng.Below(2) : 5 + rng.Below(8);
            r.lLatitude = static_cast<int32_t>(std::lround(lat * 1e6));
            r.lLongitude = static_cast<int32_t>(std::lround(lon * 1e6));
            r.wAltitude = static_cast<uint16_t>(altitude);
            r.wSpeed = static_cast<uint16_t>(std::lround(speed * 100.0));
            r.bFixSv = static_cast<uint8_t>(mode << 6 | sats);
            r.bCourse = static_cast<uint8_t>(std::lround(heading / 2.0) % 180);
            r.bHdop = static_cast<uint8_t>(7 + rng.Below(14));
        }
        EncodeFixRecord(r, bytes.data() + size_t{i} * kFixRecordSize);
        time += opt.nIntervalSeconds;
    }
    return bytes;
}
