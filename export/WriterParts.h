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
