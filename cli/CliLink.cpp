#include "CliLink.h"

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
