#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "platform/ReplacementFile.h"
#include "track/FixRecord.h"

// The raw log file a download writes. A free name gets the records directly. A file already there
// is replaced only by a complete download: meanwhile the records go to a temporary file beside it,
// so a download that fails or is cancelled never damages a file that existed before it started.
// Every accepted block reaches the disk with one write of whole records, so a program killed
// midway leaves whole records only.
class RawDownloadFile {
  public:
    RawDownloadFile() = default;
    ~RawDownloadFile() { static_cast<void>(Close(false)); }
    RawDownloadFile(const RawDownloadFile&) = delete;
    RawDownloadFile& operator=(const RawDownloadFile&) = delete;

    [[nodiscard]] bool Create(const std::string& strTarget);
    [[nodiscard]] bool Append(std::span<const uint8_t> records);
    // Ends the file. Complete: it is on the disk under the target's name. Otherwise what arrived is
    // kept: in the target when it was new, else beside it under a ".partial" name (see KeptPath).
    // False when the file could not be finished.
    [[nodiscard]] bool Close(bool bComplete);

    bool IsOpen() const { return m_file.IsOpen() || m_replacement.Temp().IsOpen(); }
    // Where the records are after Close; empty when nothing was kept.
    const std::string& KeptPath() const { return m_strKept; }
    // A file of the chosen name existed and stays as it was; what arrived is elsewhere.
    bool KeptBeside() const { return m_bReplacing && m_strKept != m_strTarget; }
    // Records written so far.
    uint64_t RecordCount() const { return m_nBytes / kFixRecordSize; }
    SystemError Error() const { return m_nError; }

  private:
    File& Stream();

    std::string m_strTarget;
    File m_file;                    // a new file, written under its own name
    ReplacementFile m_replacement;  // or a file that replaces one only when it is complete
    bool m_bReplacing = false;      // the target existed: the records go to a temporary file
    bool m_bWriteFailed = false;
    uint64_t m_nBytes = 0;  // whole records on the disk
    std::string m_strKept;
    SystemError m_nError = 0;
};
