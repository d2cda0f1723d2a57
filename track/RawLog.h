#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FixRecord.h"
#include "TimeZone.h"
#include "platform/File.h"

// A raw log file (*.dlg) held in memory: the file's bytes, used in place, read one record at a
// time.
class RawLogImage {
  public:
    RawLogImage() = default;
    RawLogImage(std::unique_ptr<uint8_t[]> pData, uint32_t nRecordCount)
        : m_pData(std::move(pData)), m_nRecordCount(nRecordCount) {}

    bool IsLoaded() const { return m_pData != nullptr; }
    uint32_t RecordCount() const { return m_nRecordCount; }
    const uint8_t* Bytes() const { return m_pData.get(); }
    FixRecord Record(uint32_t nIndex) const {
        return DecodeFixRecord(m_pData.get() + size_t{nIndex} * kFixRecordSize);
    }
    uint32_t FirstTime() const { return ReadLe32(m_pData.get()); }
    uint32_t LastTime() const {
        return ReadLe32(m_pData.get() + size_t{m_nRecordCount - 1} * kFixRecordSize);
    }
    void Reset() {
        m_pData.reset();
        m_nRecordCount = 0;
    }

  private:
    std::unique_ptr<uint8_t[]> m_pData;
    uint32_t m_nRecordCount = 0;
};

enum class RawLogStatus {
    Ok,
    CannotOpen,   // missing, unreadable, not a regular file, or the read failed
    BadSize,      // byte count not a multiple of the record size
    NoRecords,    // empty file
    TooLarge,     // more records than a 32-bit count holds
    OutOfMemory,  // the image could not be allocated
    XmlFile,      // an XML file (a GPX or KML track, say), not records
    TextFile,     // a text file, not records
};

// The user-facing message of a load outcome; empty for Ok.
const char* RawLogStatusMessage(RawLogStatus status);
// The message with the file and the reason: "Can't open raw data file.\n\n/x/a.dlg: No such file
// or directory".
std::string RawLogLoadMessage(RawLogStatus status, const std::string& strPath, SystemError nError);

// Reads the whole file into a new image with one read into one buffer. On any status but Ok the
// image is left empty. Only the bytes actually delivered count, so a file that shrinks while it is
// read is judged by what arrived. *pError receives the system's reason of a CannotOpen.
[[nodiscard]] RawLogStatus LoadRawLogImage(const std::string& strPath, RawLogImage& image,
                                           SystemError* pError = nullptr);

// Reads several raw logs into one image, one after the other in the order given; counts receives
// each file's records. On failure the image is empty and nFailed names the file that failed, or is
// paths.size() when the files together are too many records or too much memory.
[[nodiscard]] RawLogStatus LoadRawLogImages(const std::vector<std::string>& paths,
                                            RawLogImage& image, std::vector<uint32_t>& counts,
                                            size_t& nFailed, SystemError* pError = nullptr);

// What the first bytes of a file say it is: XmlFile or TextFile when it is plainly text (records
// hold zeros and control bytes in every one of them), else Ok.
RawLogStatus SniffRawLogStart(const uint8_t* pData, size_t nBytes);

// Checks a byte count for the loader's rules; exposed so that sizes beyond what a test can create
// on disk are covered.
RawLogStatus ValidateRawLogSize(uint64_t nBytes);

// The two label texts that describe a loaded file: its time span in local time and its size.
std::string FormatTimeSpanLabel(uint32_t dwFirstTime, uint32_t dwLastTime, const TimeZone& zone);
std::string FormatSizeLabel(uint32_t nRecordCount);
