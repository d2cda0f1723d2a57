#include "OutputFile.h"

std::string OutputFileMessage(const std::string& strPath, SystemError nError) {
    std::string strText = "Can't generate output file.";
    if (strPath.empty()) return strText + "\n\nNo file name given";
    strText += "\n\n" + strPath;
    if (nError != 0) strText += ": " + SystemErrorText(nError);
    return strText;
}

OutputFile::OutputFile() : OutputBuffer(kBufferSize) {}

OutputFile::~OutputFile() {
    Discard();
}

bool OutputFile::Create(const std::string& strPath) {
    Discard();
    m_nError = 0;
    if (strPath.empty()) return false;
    if (!m_file.Create(strPath)) {
        m_nError = m_file.Error();
        return false;
    }
    m_pPending = std::make_unique<char[]>(Capacity());
    m_nPending = 0;
    m_bWriteFailed = false;
    m_bStop = false;
    m_nWritten = 0;
    m_writer = std::thread(&OutputFile::WriterLoop, this);
    return true;
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
        const bool bOk = bSkip || m_file.Temp().WriteAll(m_pPending.get(), n);
        // The disk starts on these bytes now, not all at once at the final sync.
        if (bOk && !bSkip) m_file.Temp().StartWriteBack(m_nWritten, n);
        m_nWritten += n;
        lock.lock();
        if (!bOk && !m_bWriteFailed) {
            m_bWriteFailed = true;
            m_nError = m_file.Temp().Error();
        }
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
    if (!m_file.Temp().IsOpen() || !WaitForWriter()) return false;
    {
        std::lock_guard lock(m_mutex);
        pBuffer.swap(m_pPending);
        m_nPending = n;
    }
    m_cv.notify_all();
    return true;
}

bool OutputFile::Finish() {
    if (!m_file.Temp().IsOpen()) return false;
    Flush();
    const bool bWritten = WaitForWriter() && !Failed();
    StopWriter();
    if (!bWritten) {
        m_file.Discard();
        return false;
    }
    if (m_file.Commit()) return true;
    m_nError = m_file.Error();
    return false;
}

void OutputFile::Discard() {
    StopWriter();
    m_file.Discard();
}
