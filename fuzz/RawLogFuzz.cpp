// The raw log loader on any file content: the input is written to a file and loaded. A load
// succeeds exactly for a non-empty whole number of records, and the image is the file's bytes.

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "FuzzInput.h"
#include "track/Calendar.h"
#include "track/RawLog.h"

namespace {

const std::string& ScratchPath() {
    static const std::string strPath = [] {
        const char* pDir = std::getenv("TMPDIR");
        return std::string(pDir != nullptr ? pDir : "/tmp") + "/quorvel-fuzz-rawlog-" +
               std::to_string(getpid()) + ".dlg";
    }();
    return strPath;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* pData, size_t nSize) {
    const std::string& strPath = ScratchPath();
    FILE* pFile = std::fopen(strPath.c_str(), "wb");
    FUZZ_CHECK(pFile != nullptr);
    FUZZ_CHECK(std::fwrite(pData, 1, nSize, pFile) == nSize);
    FUZZ_CHECK(std::fclose(pFile) == 0);

    RawLogImage image;
    const RawLogStatus status = LoadRawLogImage(strPath, image);
    std::remove(strPath.c_str());
    FUZZ_CHECK(status == ValidateRawLogSize(nSize));
    if (nSize == 0) {
        FUZZ_CHECK(status == RawLogStatus::NoRecords);
    } else if (nSize % kFixRecordSize != 0) {
        FUZZ_CHECK(status == RawLogStatus::BadSize);
    } else {
        FUZZ_CHECK(status == RawLogStatus::Ok);
    }
    if (status != RawLogStatus::Ok) {
        FUZZ_CHECK(!image.IsLoaded());
        FUZZ_CHECK(std::strlen(RawLogStatusMessage(status)) > 0);
        return 0;
    }
    FUZZ_CHECK(image.RecordCount() == nSize / kFixRecordSize);
    FUZZ_CHECK(std::memcmp(image.Bytes(), pData, nSize) == 0);

    // Everything the window shows of a loaded file, for whatever the records hold.
    DateTimeConverter converter;
    for (uint32_t i = 0; i < image.RecordCount(); ++i) {
        const FixRecord record = image.Record(i);
        const LogDateTime dt = converter.Convert(record.dwTime, 8 * 3600);
        FUZZ_CHECK(dt == SecondsToDateTime(record.dwTime, 8 * 3600));
        FUZZ_CHECK(dt.bMonth >= 1 && dt.bMonth <= 12 && dt.bDay >= 1 && dt.bDay <= 31);
        FUZZ_CHECK(dt.bHour < 24 && dt.bMinute < 60 && dt.bSecond < 60);
    }
    const std::string strSpan =
        FormatTimeSpanLabel(image.FirstTime(), image.LastTime(), -12 * 3600);
    const std::string strSize = FormatSizeLabel(image.RecordCount());
    FUZZ_CHECK(!strSpan.empty() && !strSize.empty());
    return 0;
}
