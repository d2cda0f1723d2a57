#include "OutputFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>

namespace {

std::string MakeTempName(const std::string& strPath) {
    static std::atomic<unsigned> s_nCounter{0};
    const auto nTick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".part-%d-%u-%llx", static_cast<int>(::getpid()),
                  s_nCounter.fetch_add(1), nTick & 0xffffffULL);
    return strPath + suffix;
}

}  // namespace

OutputFile::~OutputFile() { Discard(); }

bool OutputFile::Create(const std::string& strPath) {
    Discard();
    if (strPath.empty()) return false;
    m_strPath = strPath;
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string strTemp = MakeTempName(strPath);
        // 0666 before the umask: the finished file gets the permissions of a plainly created one.
        const int fd = ::open(strTemp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_fd = fd;
            m_strTempPath = std::move(strTemp);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

bool OutputFile::FlushBytes(const char* p, size_t n) {
    if (m_fd < 0) return false;
    while (n > 0) {
        const ssize_t nDone = ::write(m_fd, p, n);
        if (nDone < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

bool OutputFile::Finish() {
    if (m_fd < 0) return false;
    Flush();
    const bool bClosed = ::close(m_fd) == 0;
    m_fd = -1;
    if (Failed() || !bClosed || std::rename(m_strTempPath.c_str(), m_strPath.c_str()) != 0) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
        return false;
    }
    m_strTempPath.clear();
    return true;
}

void OutputFile::Discard() {
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempPath.empty()) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
}
