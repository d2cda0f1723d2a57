#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Read access to one regular file, for the raw log loader; one source file per platform
// (RawLogPosix.cpp, RawLogWin32.cpp). Paths are UTF-8.
class RawLogFile {
  public:
    RawLogFile() = default;
    ~RawLogFile();
    RawLogFile(const RawLogFile&) = delete;
    RawLogFile& operator=(const RawLogFile&) = delete;

    // False when the path is missing, unreadable or not a regular file.
    [[nodiscard]] bool Open(const std::string& strPath);
    [[nodiscard]] bool Size(uint64_t& nBytes) const;
    // Reads up to nMax bytes; nRead 0 at the end of the file. False when the read failed.
    [[nodiscard]] bool Read(uint8_t* pBuffer, size_t nMax, size_t& nRead);

  private:
    intptr_t m_hFile = -1;
};
