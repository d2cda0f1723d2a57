#pragma once

#include <cstddef>
#include <cstdint>

// One GPS fix as the logger stores it: 20 bytes, little-endian fields.
struct FixRecord {
    uint32_t dwTime;     // seconds since 2000-01-01 00:00:00 (GPS time)
    int32_t lLatitude;   // millionths of a degree, north positive
    int32_t lLongitude;  // millionths of a degree, east positive
    uint16_t wAltitude;  // metres
    uint16_t wSpeed;     // hundredths of a km/h
    uint8_t bFixSv;      // bits 7-6 raw fix mode, bits 5-0 satellites used
    uint8_t bCourse;     // units of 2 degrees
    uint8_t bHdop;       // tenths
    uint8_t bReserved;
};

inline constexpr size_t kFixRecordSize = 20;

// Decoding reads bytes explicitly, so it works on any host byte order and alignment.
inline uint32_t ReadLe32(const uint8_t* p) {
    return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
inline uint16_t ReadLe16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline void WriteLe32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16);
    p[3] = static_cast<uint8_t>(v >> 24);
}
inline void WriteLe16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

inline FixRecord DecodeFixRecord(const uint8_t* p) {
    FixRecord r;
    r.dwTime = ReadLe32(p);
    r.lLatitude = static_cast<int32_t>(ReadLe32(p + 4));
    r.lLongitude = static_cast<int32_t>(ReadLe32(p + 8));
    r.wAltitude = ReadLe16(p + 12);
    r.wSpeed = ReadLe16(p + 14);
    r.bFixSv = p[16];
    r.bCourse = p[17];
    r.bHdop = p[18];
    r.bReserved = p[19];
    return r;
}

inline void EncodeFixRecord(const FixRecord& r, uint8_t* p) {
    WriteLe32(p, r.dwTime);
    WriteLe32(p + 4, static_cast<uint32_t>(r.lLatitude));
    WriteLe32(p + 8, static_cast<uint32_t>(r.lLongitude));
    WriteLe16(p + 12, r.wAltitude);
    WriteLe16(p + 14, r.wSpeed);
    p[16] = r.bFixSv;
    p[17] = r.bCourse;
    p[18] = r.bHdop;
    p[19] = r.bReserved;
}

// Raw fix mode 0..3; 0 means the receiver had no position fix.
inline unsigned RawFixMode(const FixRecord& r) {
    return r.bFixSv >> 6;
}
inline unsigned SatellitesUsed(const FixRecord& r) {
    return r.bFixSv & 63u;
}
inline bool IsNoFixRecord(const FixRecord& r) {
    return RawFixMode(r) == 0;
}
