#pragma once

// Pieces the writers share; not for callers outside export/.

#include <cstdint>

#include "TextFormat.h"
#include "TrackWriters.h"

// Visits the document's records in file order as visit(index, record); returns how many.
template <typename Visit>
uint32_t ForEachDocumentRecord(const TrackDocument& doc, Visit visit) {
    uint32_t nVisited = 0;
    ForEachInPart(doc.image, doc.picks, doc.part, doc.zone, [&](uint32_t i, const FixRecord& r) {
        ++nVisited;
        visit(i, r);
    });
    return nVisited;
}

// Visits, like ForEachDocumentRecord, only the records a map can place: a fix at a possible
// position. A record without a fix may hold any position (0,0 as often as not), and a map would
// draw the track through it; the record stays in the tables and the pushpins.
template <typename Visit>
uint32_t ForEachMapPosition(const TrackDocument& doc, Visit visit) {
    uint32_t nVisited = 0;
    ForEachInPart(doc.image, doc.picks, doc.part, doc.zone, [&](uint32_t i, const FixRecord& r) {
        if (IsNoFixRecord(r) || !HasPossibleCoordinates(r)) return;
        ++nVisited;
        visit(i, r);
    });
    return nVisited;
}

// Seconds between consecutive written fixes, either way in time: a track segment ends where it
// passes the segment gap.
inline uint32_t TimeGap(uint32_t dwPrevTime, uint32_t dwTime) {
    return dwTime >= dwPrevTime ? dwTime - dwPrevTime : dwPrevTime - dwTime;
}

// "YYYY-MM-DD".
inline char* PutDate(char* p, const LogDateTime& date) {
    p = textformat::PutUInt(p, date.wYear);
    *p++ = '-';
    p = textformat::Put2(p, date.bMonth);
    *p++ = '-';
    return textformat::Put2(p, date.bDay);
}

// "YYYY-MM-DDThh:mm:ssZ".
inline char* PutUtcTimeStamp(char* p, const LogDateTime& utc) {
    p = textformat::PutDateTime(p, utc, '-', 'T');
    *p++ = 'Z';
    return p;
}

// The ten HTML items that describe a fix in a KML balloon, from "<b>Local time:</b>" to the last
// "<br>"; at most 400 bytes.
char* PutKmlDescriptionItems(char* p, const FixRecord& r, const LogDateTime& local,
                             const LogDateTime& gps);
