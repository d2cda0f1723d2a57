#include "ReceiveWorker.h"

#include <thread>

#include "platform/Clock.h"

ReceiveWorker::ReceiveWorker(WorkerFlags flags, WorkerEvents& events, uint32_t nDataLostMs)
    : m_flags(flags), m_events(events), m_engine(*this, flags, nDataLostMs) {}

void ReceiveWorker::BeginDownload(const std::string& strRawPath) {
    {
        std::lock_guard lock(m_mutex);
        m_strRawPath = strRawPath;
        m_outcome = {};
    }
    m_engine.RequestDownload();
    m_flags.m_bDownloadMode.store(1);
}

DownloadOutcome ReceiveWorker::LastDownload() const {
    std::lock_guard lock(m_mutex);
    return m_outcome;
}

void ReceiveWorker::Run(const PortRead& read) {
    Run(read, NowMs);
}

void ReceiveWorker::Run(const PortRead& read, const std::function<uint64_t()>& clock) {
    bool bGone = false;
    while (m_flags.m_bStopWorker.load() == 0) {
        if (bGone) {
            // Nothing more will come; only the stop request is left to wait for.
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            continue;
        }
        const std::span<uint8_t> space = m_engine.ReadSpace();
        const uint32_t nTimeoutMs = ReadTimeoutMs(space.size());
        const Deadline deadline(nTimeoutMs);
        const PortReadResult result =
            space.empty() ? PortReadResult{} : read(space.data(), space.size(), nTimeoutMs);
        if (result.outcome == PortReadResult::Outcome::DeviceGone) {
            m_engine.PortLost();
            m_events.PortGone();
            bGone = true;
            continue;
        }
        if (result.outcome == PortReadResult::Outcome::Ok && result.nBytes > 0) {
            m_engine.Commit(std::min(result.nBytes, space.size()), clock());
            continue;
        }
        // An empty read never comes back faster than its time-out: a port that fails or answers
        // at once must not make the loop spin.
        if (!space.empty() && !deadline.Passed()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(deadline.RemainingMs()));
        }
        m_engine.Idle(clock());
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
    const bool bCreated = m_rawFile.Create(strPath);
    if (!bCreated) {
        std::lock_guard lock(m_mutex);
        m_outcome.nError = m_rawFile.Error();
        m_outcome.strFile = strPath;
    }
    return bCreated;
}

bool ReceiveWorker::AppendRawFile(std::span<const uint8_t> records) {
    return m_rawFile.Append(records);
}

bool ReceiveWorker::CloseRawFile(bool bComplete) {
    const bool bClosed = m_rawFile.Close(bComplete);
    std::lock_guard lock(m_mutex);
    m_outcome.strFile = m_rawFile.KeptPath();
    m_outcome.bKeptBeside = m_rawFile.KeptBeside();
    m_outcome.nRecords = m_rawFile.RecordCount();
    m_outcome.nError = m_rawFile.Error();
    return bClosed;
}
