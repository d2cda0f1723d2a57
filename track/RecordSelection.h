#pragma once

#include <cstdint>
#include <string_view>

#include "FixRecord.h"
#include "RecordFilter.h"

enum SelectMode : int32_t {
    kSelectByTime = 0,
    kSelectBySize = 1,
    kSelectAll = 2,
};

// The inputs that decide which records go into an output file. The bounds are on the record time
// scale (GPS time), not local time.
struct RecordSelection {
    int32_t nSelectMode = kSelectByTime;
    uint32_t dwFromTime = 0;
    uint32_t dwToTime = 0;
    int32_t nLimit = 0;  // By Size: most records written; 0 = no limit; compared unsigned
    bool bDropNoFix = true;
    RecordFilter filter{};  // applied after the window and the no-fix test, before the limit
};

// By Time does not depend on the order in which the two ends were given: reversed bounds are
// exchanged. The other modes keep them as they are.
void OrderBounds(RecordSelection& selection);

// The one way a front end turns the user's choices into a selection: the mode, the two bounds in
// the order given, the records text (ParseRecordLimit), whether no-fix records go, the filter.
RecordSelection MakeSelection(int32_t nSelectMode, uint32_t dwFromTime, uint32_t dwToTime,
                              std::string_view recordsText, bool bDropNoFix,
                              const RecordFilter& filter = {});

// The limit as typed into the records box: leading blanks, an optional sign, then digits up to the
// first other character; 0 when no number starts the text. Values beyond 32 bits saturate.
int32_t ParseRecordLimit(std::string_view text);

// Decides record by record, in file order, what an output walk writes. Every writer uses it.
class RecordSelector {
  public:
    explicit RecordSelector(const RecordSelection& selection)
        : m_sel(selection), m_filter(selection.filter) {}

    // Whether the record is written; counts it when it is. Records the filter refuses count
    // neither towards the limit nor, once it is reached, as refused.
    bool Select(const RawLogImage& image, uint32_t nIndex) {
        const FixRecord record = image.Record(nIndex);
        if (!Passes(m_sel, record.dwTime, RawFixMode(record), m_nWritten)) return false;
        if (!m_filter.Keep(image, nIndex, record)) return false;
        ++m_nWritten;
        return true;
    }
    uint32_t Written() const { return m_nWritten; }
    const FilterCounts& Dropped() const { return m_filter.Dropped(); }

    static bool Passes(const RecordSelection& sel, uint32_t dwTime, unsigned nFixMode,
                       uint32_t nWritten) {
        if (sel.nSelectMode == kSelectByTime && (dwTime < sel.dwFromTime || dwTime > sel.dwToTime))
            return false;
        if (sel.nSelectMode == kSelectBySize && dwTime < sel.dwFromTime) return false;
        if (sel.bDropNoFix && nFixMode == 0) return false;
        // A negative limit becomes a huge unsigned one, which is no effective limit.
        const uint32_t nLimit = static_cast<uint32_t>(sel.nLimit);
        if (sel.nSelectMode == kSelectBySize && nLimit != 0 && nWritten >= nLimit) return false;
        return true;
    }

  private:
    RecordSelection m_sel;
    QualityFilter m_filter;
    uint32_t m_nWritten = 0;
};
