#include "OutputFile.h"

#include <atomic>
#include <chrono>
#include <cstdio>

#include "OutputFileIo.h"

namespace {

std::string MakeTempName(const std::string& strPath) {
    static std::atomic<unsigned> s_nCounter{0};
    const auto nTick = static_cast<unsigned long long>(
        std::chrono::steady_clock::now().time_since_epoch().count());
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".part-%lu-%u-%llx", OutputProcessId(),
                  s_nCounter.fetch_add(1), nTick & 0xffffffULL);
    return strPath + suffix;
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
        intptr_t hFile = kNoOutputHandle;
        const CreateOutcome outcome = CreateExclusiveFile(strTemp, hFile);
        if (outcome == CreateOutcome::Created) {
            m_hFile = hFile;
            m_strTempPath = std::move(strTemp);
            m_pPending = std::make_unique<char[]>(Capacity());
            m_nPending = 0;
            m_bWriteFailed = false;
            m_bStop = false;
            m_writer = std::thread(&OutputFile::WriterLoop, this);
            return true;
        }
        if (outcome == CreateOutcome::Failed) return false;
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
        const bool bOk = bSkip || WriteWholeBuffer(m_hFile, m_pPending.get(), n);
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
    if (m_hFile == kNoOutputHandle || !WaitForWriter()) return false;
    {
        std::lock_guard lock(m_mutex);
        pBuffer.swap(m_pPending);
        m_nPending = n;
    }
    m_cv.notify_all();
    return true;
}

bool OutputFile::FlushBytes(const char* p, size_t n) {
    return m_hFile != kNoOutputHandle && WaitForWriter() && WriteWholeBuffer(m_hFile, p, n);
}

bool OutputFile::Finish() {
    if (m_hFile == kNoOutputHandle) return false;
    Flush();
    const bool bWritten = WaitForWriter();
    StopWriter();
    const bool bClosed = CloseOutputHandle(m_hFile);
    m_hFile = kNoOutputHandle;
    if (Failed() || !bWritten || !bClosed || !MoveOutputIntoPlace(m_strTempPath, m_strPath)) {
        RemoveOutputFile(m_strTempPath);
        m_strTempPath.clear();
        return false;
    }
    m_strTempPath.clear();
    return true;
}

void OutputFile::Discard() {
    StopWriter();
    if (m_hFile != kNoOutputHandle) {
        CloseOutputHandle(m_hFile);
        m_hFile = kNoOutputHandle;
    }
    if (!m_strTempPath.empty()) {
        RemoveOutputFile(m_strTempPath);
        m_strTempPath.clear();
    }
}
