#include "ReceiveWorker.h"

#include <chrono>
#include <filesystem>
#include <system_error>

namespace {

uint64_t NowMs() {
    return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                     std::chrono::steady_clock::now().time_since_epoch())
                                     .count());
}

void TrimToWholeRecords(const std::string& strPath) {
    constexpr uintmax_t kRecordSize = 20;
#ifdef _WIN32
    const std::filesystem::path path(std::u8string(strPath.begin(), strPath.end()));
#else
    const std::filesystem::path path(strPath);
#endif
    std::error_code error;
    const uintmax_t nSize = std::filesystem::file_size(path, error);
    if (error || nSize % kRecordSize == 0) return;
    std::filesystem::resize_file(path, nSize - nSize % kRecordSize, error);
}

}  // namespace

ReceiveWorker::ReceiveWorker(WorkerFlags flags, WorkerEvents& events, uint32_t nDataLostMs)
    : m_flags(flags), m_events(events), m_engine(*this, flags, nDataLostMs) {}

ReceiveWorker::~ReceiveWorker() {
    if (m_pRawFile != nullptr) std::fclose(m_pRawFile);
}

void ReceiveWorker::BeginDownload(const std::string& strRawPath) {
    {
        std::lock_guard lock(m_mutex);
        m_strRawPath = strRawPath;
    }
    m_flags.m_bDownloadMode.store(1);
}

void ReceiveWorker::Run(const PortRead& read) {
    while (m_flags.m_bStopWorker.load() == 0) {
        const std::span<uint8_t> space = m_engine.ReadSpace();
        const uint32_t nTimeoutMs = ReadTimeoutMs(space.size());
        const uint64_t nStartMs = NowMs();
        const PortReadResult result =
            space.empty() ? PortReadResult{true, 0} : read(space.data(), space.size(), nTimeoutMs);
        if (result.bOk && result.nBytes > 0) {
            m_engine.Commit(std::min(result.nBytes, space.size()), NowMs());
            continue;
        }
        if (!result.bOk) {
            // A port that fails at once (unplugged) must not make the loop spin.
            const uint64_t nElapsed = NowMs() - nStartMs;
            if (nElapsed < nTimeoutMs) {
                std::this_thread::sleep_for(std::chrono::milliseconds(nTimeoutMs - nElapsed));
            }
        }
        m_engine.Idle(NowMs());
    }
    m_engine.Stop();
    m_flags.m_bStopWorker.store(0);
}

bool ReceiveWorker::CreateRawFile() {
    std::string strPath;
    {
        std::lock_guard lock(m_mutex);
        strPath = m_strRawPath;
    }
    if (m_pRawFile != nullptr) std::fclose(m_pRawFile);
#ifdef _WIN32
    // The path is UTF-8; only the wide call reaches every name.
    const std::filesystem::path path(std::u8string(strPath.begin(), strPath.end()));
    m_pRawFile = strPath.empty() ? nullptr : ::_wfopen(path.c_str(), L"wb");
#else
    m_pRawFile = strPath.empty() ? nullptr : std::fopen(strPath.c_str(), "wb");
#endif
    m_strOpenPath = strPath;
    m_bWriteFailed = false;
    return m_pRawFile != nullptr;
}

bool ReceiveWorker::AppendRawFile(std::span<const uint8_t> records) {
    if (m_pRawFile == nullptr) return false;
    if (records.empty()) return true;
    const bool bWritten =
        std::fwrite(records.data(), 1, records.size(), m_pRawFile) == records.size();
    if (!bWritten) m_bWriteFailed = true;
    return bWritten;
}

bool ReceiveWorker::CloseRawFile() {
    if (m_pRawFile == nullptr) return false;
    const bool bFlushed = std::fflush(m_pRawFile) == 0;
    const bool bClosed = std::fclose(m_pRawFile) == 0;
    m_pRawFile = nullptr;
    // A disk that filled up may have taken part of a record: cut the file back to whole records,
    // so that everything that reached the disk can still be loaded.
    if (m_bWriteFailed || !bFlushed || !bClosed) TrimToWholeRecords(m_strOpenPath);
    return bFlushed && bClosed;
}

bool WorkerThread::Start(ReceiveWorker& worker, PortRead read) {
    if (m_thread.joinable()) return false;
    worker.Flags().m_bStopWorker.store(0);
    try {
        m_thread = std::thread([&worker, read = std::move(read)] { worker.Run(read); });
    } catch (const std::system_error&) {
        return false;
    }
    m_pWorker = &worker;
    return true;
}

bool WorkerThread::Stop() {
    if (!m_thread.joinable()) return true;
    std::atomic<int32_t>& stop = m_pWorker->Flags().m_bStopWorker;
    stop.store(1);
    // At most 2 s in all; tested often so that a prompt acknowledgement is not kept waiting.
    bool bAcknowledged = false;
    for (int i = 0; i < 200; ++i) {
        if (stop.load() == 0) {
            bAcknowledged = true;
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (!bAcknowledged) bAcknowledged = stop.load() == 0;
    m_thread.join();
    m_pWorker = nullptr;
    return bAcknowledged;
}
