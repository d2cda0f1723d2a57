#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "RawLogFile.h"

RawLogFile::~RawLogFile() {
    if (m_hFile >= 0) ::close(static_cast<int>(m_hFile));
}

bool RawLogFile::Open(const std::string& strPath) {
    const int fd = ::open(strPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return false;
    }
    m_hFile = fd;
    return true;
}

bool RawLogFile::Size(uint64_t& nBytes) const {
    struct stat st {};
    if (m_hFile < 0 || ::fstat(static_cast<int>(m_hFile), &st) != 0) return false;
    nBytes = static_cast<uint64_t>(st.st_size);
    return true;
}

bool RawLogFile::Read(uint8_t* pBuffer, size_t nMax, size_t& nRead) {
    nRead = 0;
    for (;;) {
        const ssize_t n = ::read(static_cast<int>(m_hFile), pBuffer, nMax);
        if (n >= 0) {
            nRead = static_cast<size_t>(n);
            return true;
        }
        if (errno != EINTR) return false;
    }
}
