#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "OutputBuffer.h"
#include "track/RawLog.h"

// Several raw logs made into one: every record in time order, each exact copy once. Downloads made
// without erasing repeat the fixes of the one before, so the same 20 bytes come in several times.

struct MergeCounts {
    uint32_t nWritten = 0;
    uint32_t nDuplicates = 0;  // exact copies (same 20 bytes) of a record already written, left out
    uint32_t nSameTime = 0;    // written although a different record with the same time was too
};

// Writes the image's records to out ordered by time; records of equal time keep their order in the
// image. Memory beyond the image grows only with the number of stretches already in time order.
MergeCounts MergeRecords(const RawLogImage& image, OutputBuffer& out);

struct MergeResult {
    RawLogStatus load = RawLogStatus::Ok;  // the inputs as they were read
    size_t nFailedInput = 0;               // the input a load failure concerns
    bool bWritten = false;                 // the output is complete under its name
    SystemError nError = 0;
    std::vector<uint32_t> inputCounts;  // records of each input
    MergeCounts counts;
};

// Reads every input, then writes the merged records to strOut through a temporary file that
// replaces it only when complete: an input may be the output.
[[nodiscard]] MergeResult MergeToFile(const std::vector<std::string>& inputs,
                                      const std::string& strOut);

// Why a merge failed, naming the file; empty on success.
std::string MergeFailureMessage(const MergeResult& result, const std::vector<std::string>& inputs,
                                const std::string& strOut);
