#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "serial/PortEnumeration.h"
#include "serial/SerialPort.h"

namespace {

TEST(WindowsSerialPort, DevicePathIsTheNameBehindTheDevicePrefix) {
    EXPECT_EQ(SerialPort::DevicePath("COM1"), "\\\\.\\COM1");
    EXPECT_EQ(SerialPort::DevicePath("COM15"), "\\\\.\\COM15");
}

TEST(WindowsSerialPort, NamesThatDoNotFitTheDevicePathAreRefused) {
    SerialPort port;
    // Fifteen characters fit the 20-character device path with its terminator; sixteen do not.
    EXPECT_EQ(port.Open("", 115200), SerialStatus::BadName);
    EXPECT_EQ(port.Open("COM123456789012X", 115200), SerialStatus::BadName);
    EXPECT_EQ(port.Open("COM123456789012", 115200), SerialStatus::NotFound);
    EXPECT_FALSE(port.IsOpen());
}

TEST(WindowsSerialPort, MissingPortsAndClosedPortsFailCleanly) {
    SerialPort port;
    EXPECT_EQ(port.Open("COM250", 115200), SerialStatus::NotFound);
    EXPECT_FALSE(port.IsOpen());
    uint8_t buffer[4] = {};
    size_t nRead = 99;
    EXPECT_EQ(port.Read(buffer, sizeof buffer, 10, nRead), SerialStatus::NotOpen);
    EXPECT_EQ(nRead, 0u);
    EXPECT_EQ(port.Write(buffer, sizeof buffer, 10), SerialStatus::NotOpen);
    EXPECT_EQ(port.Purge(), SerialStatus::NotOpen);
    port.Close();  // closing twice is harmless
}

TEST(WindowsSerialPort, AFileIsNotAPort) {
    // NUL opens like a device but has no serial settings.
    SerialPort port;
    EXPECT_EQ(port.Open("NUL", 115200), SerialStatus::NotAPort);
    EXPECT_FALSE(port.IsOpen());
}

TEST(WindowsPortEnumeration, ListsOnlyNamesTheFriendlyNameRuleAccepts) {
    // Whatever the machine has, every listed name came through the "(COM" ... ")" rule once.
    const std::vector<SerialPortInfo> ports = EnumerateSerialPorts();
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(ports[i].strName.rfind("COM", 0), 0u) << ports[i].strName;
        EXPECT_EQ(PortNameFromFriendlyName(ports[i].strDescription), ports[i].strName);
        for (size_t j = 0; j < i; ++j) EXPECT_NE(ports[i].strName, ports[j].strName);
    }
}

}  // namespace
