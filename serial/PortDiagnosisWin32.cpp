#include "PortDiagnosis.h"

// Windows gives a port to whoever opens it first and has no groups, udev or brltty to get in the
// way: the doctor only tries to open the ports.

PortDoctor::PortDoctor(SystemRoots roots, PortEnumerator enumerate)
    : m_roots(std::move(roots)), m_enumerate(std::move(enumerate)) {}

PortFacts PortDoctor::Facts(const std::string& strPort) const {
    PortFacts facts;
    facts.strNode = strPort;
    facts.bPresent = true;
    return facts;
}

std::vector<PortProblem> PortDoctor::Explain(const PortFacts&, SerialStatus) const {
    return {};
}

PortCheck PortDoctor::Check(const std::string& strPort) const {
    PortCheck check;
    check.facts = Facts(strPort);
    SerialPort port;
    check.openStatus = port.Open(strPort, 115200);
    port.Close();
    check.facts.bPresent = check.openStatus != SerialStatus::NotFound;
    return check;
}

std::vector<PortCheck> PortDoctor::CheckAll() const {
    std::vector<PortCheck> checks;
    for (const SerialPortInfo& port : m_enumerate()) checks.push_back(Check(port.strName));
    return checks;
}

std::vector<PortProblem> PortDoctor::WatchForPort(const std::string&,
                                                  std::chrono::milliseconds) const {
    return {};
}

std::vector<PortProblem> PortDoctor::SystemProblems(bool) const {
    return {};
}

std::vector<UsbBridge> PortDoctor::BridgesWithoutTty() const {
    return {};
}

std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status, const SystemRoots&) {
    if (status == SerialStatus::Ok) return "";
    return strPath + ": " + SerialStatusMessage(status);
}

std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status) {
    return PortOpenDiagnosis(strPath, status, SystemRoots{});
}
