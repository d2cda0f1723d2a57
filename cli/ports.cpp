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
                for (const SerialPortInfo& port : ports) {
                    if (port.strDescription.empty()) {
                        std::printf("%s\n", port.strName.c_str());
                    } else {
                        std::printf("%s\t%s\n", port.strName.c_str(), port.strDescription.c_str());
                    }
                }
                return kExitOk;
            }};
}
