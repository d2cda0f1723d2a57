#include "LinkSession.h"

#include <cstdio>

#include "CliCommon.h"
#include "protocol/CommandSentence.h"
#include "protocol/DownloadResult.h"

bool LinkSession::Open(const std::string& strPort, uint32_t nBaud, uint32_t nDataLostMs) {
    const SerialStatus status = m_port.Open(strPort, nBaud);
    if (status != SerialStatus::Ok) {
        PrintError(std::string(kPortClosedMessage) + " (" + SerialPort::DevicePath(strPort) + ": " +
                   SerialStatusMessage(status) + ")");
        return false;
    }
    m_pWorker = std::make_unique<ReceiveWorker>(
        WorkerFlags{m_bStopWorker, m_bDownloadMode, m_bIntervalReceived, m_bDistanceReceived},
        m_events, nDataLostMs);
    const bool bStarted =
        m_thread.Start(*m_pWorker, [this](uint8_t* pBuffer, size_t nMax, uint32_t nTimeoutMs) {
            size_t nRead = 0;
            const SerialStatus readStatus = m_port.Read(pBuffer, nMax, nTimeoutMs, nRead);
            return PortReadResult{readStatus == SerialStatus::Ok, nRead};
        });
    if (!bStarted) {
        m_port.Close();
        PrintError(std::string(kPortClosedMessage) + " (the receive thread could not start)");
        return false;
    }
    return true;
}

bool LinkSession::Send(const std::u16string& body) {
    std::string strBytes;
    const SentenceStatus framed = FrameSentence(body, strBytes);
    if (framed != SentenceStatus::Ok) {
        PrintError(SentenceStatusMessage(framed));
        return false;
    }
    const SerialStatus status =
        m_port.Write(reinterpret_cast<const uint8_t*>(strBytes.data()), strBytes.size(), 100);
    if (status != SerialStatus::Ok) {
        PrintError(std::string("Can't send the command to the logger: ") +
                   SerialStatusMessage(status));
        return false;
    }
    return true;
}

void LinkSession::Close() {
    static_cast<void>(m_thread.Stop());
    m_port.Close();
}

std::string LoggerLineForTerminal(const std::string& strEntry) {
    std::string line = strEntry;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return AnsiToUtf8(line);
}

void PrintLoggerReplies(LinkSession& session, std::chrono::milliseconds nWait) {
    while (std::optional<WorkerEvent> event = session.Events().Pop(nWait)) {
        if (event->kind == WorkerEvent::Kind::LogEntry) {
            std::printf("logger: %s\n", LoggerLineForTerminal(event->strText).c_str());
            nWait = std::chrono::milliseconds(200);
        }
    }
    std::fflush(stdout);
}
