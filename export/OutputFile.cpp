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

bool WriteAll(int fd, const char* p, size_t n) {
    while (n > 0) {
        const ssize_t nDone = ::write(fd, p, n);
        if (nDone < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += nDone;
        n -= static_cast<size_t>(nDone);
    }
    return true;
}

}  // namespace

OutputFile::OutputFile() : OutputBuffer(kBufferSize) {}

OutputFile::~OutputFile() {
    Discard();
}

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
            m_pPending = std::make_unique<char[]>(Capacity());
            m_nPending = 0;
            m_bWriteFailed = false;
            m_bStop = false;
            m_writer = std::thread(&OutputFile::WriterLoop, this);
            return true;
        }
        if (errno != EEXIST) return false;
    }
    return false;
}

void OutputFile::WriterLoop() {
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_cv.wait(lock, [this] { return m_nPending > 0 || m_bStop; });
        if (m_nPending == 0) return;  // stopped with nothing left to write
        const size_t n = m_nPending;
        const bool bSkip = m_bWriteFailed;
        lock.unlock();
        // The buffer is the writer's alone until it reports back by clearing m_nPending.
        const bool bOk = bSkip || WriteAll(m_fd, m_pPending.get(), n);
        lock.lock();
        if (!bOk) m_bWriteFailed = true;
        m_nPending = 0;
        m_cv.notify_all();
    }
}

bool OutputFile::WaitForWriter() {
    std::unique_lock lock(m_mutex);
    m_cv.wait(lock, [this] { return m_nPending == 0; });
    return !m_bWriteFailed;
}

void OutputFile::StopWriter() {
    if (!m_writer.joinable()) return;
    {
        std::lock_guard lock(m_mutex);
        m_bStop = true;
    }
    m_cv.notify_all();
    m_writer.join();
}

bool OutputFile::FlushBuffer(std::unique_ptr<char[]>& pBuffer, size_t n) {
    if (m_fd < 0 || !WaitForWriter()) return false;
    {
        std::lock_guard lock(m_mutex);
        pBuffer.swap(m_pPending);
        m_nPending = n;
    }
    m_cv.notify_all();
    return true;
}

bool OutputFile::FlushBytes(const char* p, size_t n) {
    return m_fd >= 0 && WaitForWriter() && WriteAll(m_fd, p, n);
}

bool OutputFile::Finish() {
    if (m_fd < 0) return false;
    Flush();
    const bool bWritten = WaitForWriter();
    StopWriter();
    const bool bClosed = ::close(m_fd) == 0;
    m_fd = -1;
    if (Failed() || !bWritten || !bClosed ||
        std::rename(m_strTempPath.c_str(), m_strPath.c_str()) != 0) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
        return false;
    }
    m_strTempPath.clear();
    return true;
}

void OutputFile::Discard() {
    StopWriter();
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_strTempPath.empty()) {
        ::unlink(m_strTempPath.c_str());
        m_strTempPath.clear();
    }
}
