#include "RawMerge.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string_view>
#include <unordered_set>

#include "OutputFile.h"

namespace {

// Writes records in the merged order, leaving out exact copies. Only records of the same time can
// be copies, and they arrive together: the records written at the current time are remembered.
class DuplicateFilter {
  public:
    explicit DuplicateFilter(OutputBuffer& out) : m_out(out) {}

    void Emit(const uint8_t* pRecord) {
        const uint32_t dwTime = ReadLe32(pRecord);
        if (m_bAny && dwTime != m_dwTime) {
            m_group.clear();
            m_groupSet.clear();
        }
        m_bAny = true;
        m_dwTime = dwTime;
        const std::string_view record(reinterpret_cast<const char*>(pRecord), kFixRecordSize);
        // A clock that stood still gives many records of one time: past a few, look them up.
        if (m_group.size() >= kSmallGroup) {
            if (!m_groupSet.insert(record).second) {
                ++m_counts.nDuplicates;
                return;
            }
        } else if (std::find(m_group.begin(), m_group.end(), record) != m_group.end()) {
            ++m_counts.nDuplicates;
            return;
        }
        if (!m_group.empty()) ++m_counts.nSameTime;
        m_group.push_back(record);
        if (m_group.size() == kSmallGroup) m_groupSet.insert(m_group.begin(), m_group.end());
        char* p = m_out.Reserve(kFixRecordSize);
        std::memcpy(p, pRecord, kFixRecordSize);
        m_out.Commit(p + kFixRecordSize);
        ++m_counts.nWritten;
    }
    const MergeCounts& Counts() const { return m_counts; }

  private:
    static constexpr size_t kSmallGroup = 32;

    OutputBuffer& m_out;
    MergeCounts m_counts;
    bool m_bAny = false;
    uint32_t m_dwTime = 0;
    std::vector<std::string_view> m_group;
    std::unordered_set<std::string_view> m_groupSet;
};

}  // namespace

MergeCounts MergeRecords(const RawLogImage& image, OutputBuffer& out) {
    DuplicateFilter filter(out);
    const uint32_t nCount = image.IsLoaded() ? image.RecordCount() : 0;
    const uint8_t* pBytes = image.Bytes();
    const auto timeAt = [pBytes](uint32_t i) {
        return ReadLe32(pBytes + size_t{i} * kFixRecordSize);
    };

    // The stretches already in time order; each input is usually one.
    std::vector<uint32_t> runEnds;
    for (uint32_t i = 1; i < nCount; ++i) {
        if (timeAt(i) < timeAt(i - 1)) runEnds.push_back(i);
    }
    runEnds.push_back(nCount);

    // A heap of the stretches' next records by (time, stretch): the smaller stretch number is the
    // earlier place in the image, so equal times come out in image order.
    std::vector<uint32_t> next(runEnds.size());
    std::vector<uint64_t> heap;
    heap.reserve(runEnds.size());
    for (uint32_t nRun = 0; nRun < runEnds.size(); ++nRun) {
        next[nRun] = nRun == 0 ? 0 : runEnds[nRun - 1];
        if (next[nRun] < runEnds[nRun]) heap.push_back(uint64_t{timeAt(next[nRun])} << 32 | nRun);
    }
    const auto later = [](uint64_t a, uint64_t b) { return a > b; };
    std::make_heap(heap.begin(), heap.end(), later);
    while (!heap.empty()) {
        std::pop_heap(heap.begin(), heap.end(), later);
        const auto nRun = static_cast<uint32_t>(heap.back());
        heap.pop_back();
        // Stay on this stretch while it comes first: one heap step per change of stretch.
        const uint64_t nRival = heap.empty() ? UINT64_MAX : heap.front();
        uint32_t& i = next[nRun];
        do {
            filter.Emit(pBytes + size_t{i} * kFixRecordSize);
            ++i;
        } while (i < runEnds[nRun] && (uint64_t{timeAt(i)} << 32 | nRun) < nRival);
        if (i < runEnds[nRun]) {
            heap.push_back(uint64_t{timeAt(i)} << 32 | nRun);
            std::push_heap(heap.begin(), heap.end(), later);
        }
    }
    out.Flush();
    return filter.Counts();
}

MergeResult MergeToFile(const std::vector<std::string>& inputs, const std::string& strOut) {
    MergeResult result;
    RawLogImage image;
    result.load =
        LoadRawLogImages(inputs, image, result.inputCounts, result.nFailedInput, &result.nError);
    if (result.load != RawLogStatus::Ok) return result;
    OutputFile out;
    if (!out.Create(strOut)) {
        result.nError = out.Error();
        return result;
    }
    result.counts = MergeRecords(image, out);
    result.bWritten = out.Finish();
    result.nError = result.bWritten ? 0 : out.Error();
    return result;
}

std::string MergeFailureMessage(const MergeResult& result, const std::vector<std::string>& inputs,
                                const std::string& strOut) {
    if (result.load != RawLogStatus::Ok && result.nFailedInput >= inputs.size()) {
        // Every input passed alone: say how large they are together.
        uint64_t nBytes = 0;
        for (const std::string& strInput : inputs) {
            std::error_code error;
            const uintmax_t nSize =
                std::filesystem::file_size(std::filesystem::path(strInput), error);
            if (!error) nBytes += nSize;
        }
        std::string strText = std::string(RawLogStatusMessage(result.load)) + "\n\nThe " +
                              std::to_string(inputs.size()) + " inputs together hold " +
                              std::to_string(nBytes / kFixRecordSize) + " records (" +
                              std::to_string(nBytes >> 20) + " MiB)";
        if (result.load == RawLogStatus::TooLarge) {
            strText += "; one raw log holds at most " + std::to_string(UINT32_MAX) + " records";
        }
        return strText + ". Merge fewer files at a time.";
    }
    if (result.load != RawLogStatus::Ok) {
        const std::string strInput =
            result.nFailedInput < inputs.size() ? inputs[result.nFailedInput] : std::string();
        return RawLogLoadMessage(result.load, strInput, result.nError);
    }
    return result.bWritten ? std::string() : OutputFileMessage(strOut, result.nError);
}
