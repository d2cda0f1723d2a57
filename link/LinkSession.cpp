#include "LinkSession.h"

#include <system_error>

#include "WorkerEventQueue.h"
#include "serial/PortDiagnosis.h"

namespace {

// A port write gives up after this long, whatever its length.
constexpr uint32_t kWriteTimeoutMs = 100;

PortReadResult ReadPort(SerialPort& port, uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs) {
    size_t nRead = 0;
    const SerialStatus status = port.Read(pBuffer, nMax, nTimeoutMs, nRead);
    if (status == SerialStatus::Ok) return {PortReadResult::Outcome::Ok, nRead};
    if (status == SerialStatus::HungUp || status == SerialStatus::NotFound) {
        return {PortReadResult::Outcome::DeviceGone, 0};
    }
    return {PortReadResult::Outcome::Failed, 0};
}

}  // namespace

std::string SendStatus::Message() const {
    if (sentence != SentenceStatus::Ok) return SentenceStatusMessage(sentence);
    if (port == SerialStatus::Ok) return {};
    return std::string("Can't send the command to the logger: ") + SerialStatusMessage(port) + ".";
}

std::string PortLostMessage(const std::string& strPort) {
    return SerialPort::DevicePath(strPort) + ": " + SerialStatusMessage(SerialStatus::HungUp) +
           " (unplugged or switched off).";
}

std::string DownloadResultMessage(uint32_t nResult, const DownloadOutcome& outcome) {
    const char* pszText = DownloadResultText(nResult);
    std::string strText = pszText != nullptr ? pszText : "";
    if (nResult == DR_FILE_ERROR) {
        if (!outcome.strFile.empty()) {
            strText += "\n\n" + outcome.strFile;
            if (outcome.nError != 0) strText += ": " + SystemErrorText(outcome.nError);
        }
        return strText;
    }
    if (nResult == DR_MORE_THAN_ANNOUNCED) {
        // "...announced: 2000 kept.", then where they are.
        strText.back() = ':';
        strText += " " + std::to_string(outcome.nRecords) + " kept.";
        if (outcome.strFile.empty()) return strText;
        strText += "\n\n";
        if (outcome.bKeptBeside) strText += "The file chosen for the download was left as it was. ";
        return strText + "They are in " + outcome.strFile + ".";
    }
    if (nResult == DR_OK || nResult == DR_NO_DATA || outcome.strFile.empty()) return strText;
    strText += "\n\n";
    if (outcome.bKeptBeside) {
        strText += "The file chosen for the download was left as it was. ";
    }
    strText += std::to_string(outcome.nRecords) + " records received so far are in " +
               outcome.strFile + ".";
    return strText;
}

LinkSession::LinkSession(WorkerEvents& events, uint32_t nDataLostMs)
    : m_events(events), m_nDataLostMs(nDataLostMs) {}

SerialStatus LinkSession::Open(const std::string& strPort, uint32_t nBaud) {
    static_cast<void>(Close());
    m_strPort = strPort;
    const SerialStatus status = m_port.Open(strPort, nBaud);
    if (status != SerialStatus::Ok) return status;
    auto pWorker = std::make_unique<ReceiveWorker>(m_flags.Refs(), m_events, m_nDataLostMs);
    m_flags.m_bStopWorker.store(0);
    try {
        m_thread = std::thread([this, pRun = pWorker.get()] {
            pRun->Run([this](uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs) {
                return ReadPort(m_port, pBuffer, nMax, nTimeoutMs);
            });
        });
    } catch (const std::system_error&) {
        m_port.Close();
        return SerialStatus::IoError;
    }
    m_pWorker = std::move(pWorker);
    return SerialStatus::Ok;
}

std::string LinkSession::FailureMessage(SerialStatus status) const {
    std::string strText = std::string(kPortClosedMessage) + "\n\n";
    if (m_strPort.empty()) return strText + "No port name given.";
    const std::string strPath = SerialPort::DevicePath(m_strPort);
    // What the system shows of the cause and its fix; a port in use says so first.
    std::string strWhy = PortOpenDiagnosis(strPath, status);
    const std::string strPrefix = strPath + ": ";
    if (status == SerialStatus::Busy &&
        strWhy.find(SerialStatusMessage(status)) == std::string::npos) {
        strWhy = strPrefix + SerialStatusMessage(status) + ": " +
                 (strWhy.rfind(strPrefix, 0) == 0 ? strWhy.substr(strPrefix.size()) : strWhy);
    }
    return strText + strWhy;
}

bool LinkSession::Close(std::chrono::milliseconds nPollInterval, int nMaxPolls) {
    if (!m_pWorker) return true;
    m_flags.m_bStopWorker.store(1);
    for (int nPolls = 0; m_flags.m_bStopWorker.load() != 0 && nPolls < nMaxPolls; ++nPolls) {
        std::this_thread::sleep_for(nPollInterval);
    }
    const bool bAnswered = m_flags.m_bStopWorker.load() == 0;
    // Its reads are bounded, so the join is quick even when the answer came late; only then may
    // the port close under it.
    if (m_thread.joinable()) m_thread.join();
    m_flags.m_bStopWorker.store(0);
    m_lastOutcome = m_pWorker->LastDownload();
    m_pWorker.reset();
    m_port.Close();
    return bAnswered;
}

SendStatus LinkSession::Send(std::u16string_view body) {
    SendStatus status;
    if (!m_pWorker) {
        status.port = SerialStatus::NotOpen;
        return status;
    }
    std::string strBytes;
    status.sentence = FrameSentence(body, strBytes);
    if (status.sentence != SentenceStatus::Ok) return status;
    status.port = m_port.Write(reinterpret_cast<const uint8_t*>(strBytes.data()), strBytes.size(),
                               kWriteTimeoutMs);
    return status;
}

void LinkSession::BeginDownload(const std::string& strRawPath) {
    if (m_pWorker) m_pWorker->BeginDownload(strRawPath);
}

DownloadOutcome LinkSession::LastDownload() const {
    return m_pWorker ? m_pWorker->LastDownload() : m_lastOutcome;
}

DownloadWait AwaitDownloadEnd(
    WorkerEventQueue& events, const std::function<bool()>& stop,
    const std::function<void(const std::string&)>& onLine,
    const std::function<void(uint32_t nReceived, uint32_t nAnnounced)>& onProgress) {
    DownloadWait wait;
    while (!stop()) {
        const std::optional<WorkerEvent> event = events.Pop(std::chrono::milliseconds(100));
        if (!event) continue;
        if (event->kind == WorkerEvent::Kind::LogEntry && onLine) onLine(event->strText);
        if (event->kind == WorkerEvent::Kind::Progress) {
            wait.nAnnounced = event->nFirst;
            if (onProgress) onProgress(event->nSecond, event->nFirst);
        }
        if (event->kind == WorkerEvent::Kind::Done) {
            wait.result = event->nFirst;
            return wait;
        }
    }
    return wait;
}
