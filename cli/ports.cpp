#include <cstdio>

#include "CliCommand.h"
#include "serial/PortEnumeration.h"

CliCommand MakePortsCommand() {
    return {"ports", "List the serial ports the system has now", [](CLI::App&) {},
            [] {
                const std::vector<SerialPortInfo> ports = EnumerateSerialPorts();
                if (ports.empty()) {
                    std::fprintf(stderr, "No serial ports found.\n");
                    return kExitOk;
                }
                // Name, description, and the name that survives a re-plug, tab-separated.
                for (const SerialPortInfo& port : ports) {
                    std::string line = port.strName;
                    if (!port.strDescription.empty() || !port.strStableName.empty()) {
                        line += "\t" + port.strDescription;
                    }
                    if (!port.strStableName.empty()) line += "\t" + port.strStableName;
                    std::printf("%s\n", line.c_str());
                }
                return kExitOk;
            }};
}
