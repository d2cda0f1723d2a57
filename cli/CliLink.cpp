#include "CliLink.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

#include "CliCommon.h"

bool CliLink::Open(const std::string& strPort, uint32_t nBaud) {
    const SerialStatus status = session.Open(strPort, nBaud);
    if (status != SerialStatus::Ok) PrintError(session.FailureMessage(status));
    return status == SerialStatus::Ok;
}

bool CliLink::Send(std::u16string_view body) {
    const SendStatus status = session.Send(body);
    if (!status.Ok()) PrintError(status.Message());
    return status.Ok();
}

std::string LoggerLineForTerminal(const std::string& strEntry) {
    std::string line = strEntry;
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.pop_back();
    return AnsiToUtf8(line);
}

bool PrintLoggerReplies(CliLink& link, std::chrono::milliseconds nWait) {
    while (std::optional<WorkerEvent> event = link.events.Pop(nWait)) {
        if (event->kind == WorkerEvent::Kind::LogEntry) {
            std::printf("logger: %s\n", LoggerLineForTerminal(event->strText).c_str());
            nWait = std::chrono::milliseconds(200);
        } else if (event->kind == WorkerEvent::Kind::PortLost) {
            std::fflush(stdout);
            PrintError(PortLostMessage(link.session.PortName()));
            return false;
        }
    }
    std::fflush(stdout);
    return true;
}

ProgressReport::ProgressReport() : m_bTerminal(::isatty(STDERR_FILENO) != 0) {}

void ProgressReport::Update(uint32_t nReceived, uint32_t nAnnounced) {
    if (nAnnounced == 0) return;
    const uint32_t nPercent =
        static_cast<uint32_t>(std::min<uint64_t>(100, uint64_t{nReceived} * 100 / nAnnounced));
    if (m_bTerminal) {
        constexpr uint32_t kWidth = 30;
        char bar[kWidth + 1];
        const uint32_t nFilled = nPercent * kWidth / 100;
        for (uint32_t i = 0; i < kWidth; ++i) bar[i] = i < nFilled ? '#' : '.';
        bar[kWidth] = 0;
        std::fprintf(stderr, "\r[%s] %3u%%  %u / %u", bar, nPercent, nReceived, nAnnounced);
        m_bOpenLine = true;
    } else if (nReceived == 0 || nPercent / 10 > m_nLastTenth) {
        m_nLastTenth = nPercent / 10;
        std::fprintf(stderr, "%u / %u\n", nReceived, nAnnounced);
    }
    std::fflush(stderr);
}

void ProgressReport::EndLine() {
    if (m_bOpenLine) std::fputc('\n', stderr);
    m_bOpenLine = false;
}
