#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "serial/PortEnumeration.h"

namespace {

TEST(PortNames, FriendlyNameRule) {
    struct Case {
        const wchar_t* friendly;
        std::optional<std::string> port;
    };
    const Case cases[] = {
        {L"USB Serial Port (COM7)", "COM7"},
        {L"Prolific USB-to-Serial Comm Port (COM12) extra", "COM12"},
        {L"Two (COM4) (COM5)", "COM4"},  // the first "(COM" counts
        {L"Modem (LPT1) then (COM9)", "COM9"},
        {L"Broken (COM8", std::nullopt},    // no ")" after it
        {L") before (COM2", std::nullopt},  // the ")" must come after
        {L"lower (com1)", std::nullopt},    // case-sensitive
        {L"Empty (COM)", "COM"},
        {L"Wide \u00e9 (COM\u00e96)", "COM?6"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PortNameFromFriendlyName(std::wstring_view(c.friendly)), c.port);
    EXPECT_EQ(PortNameFromFriendlyName(std::string_view("Dongle (COM21)")), "COM21");
}

TEST(DeviceWatch, PollingReportsOnlyChangedNameLists) {
    std::vector<SerialPortInfo> ports = {{"/dev/ttyUSB0", ""}};
    DeviceWatch watch([&] { return ports; });
    // Polling works whether or not udev events are available.
    if (!watch.Start()) {
        EXPECT_EQ(watch.Fd(), -1);
    }
    EXPECT_TRUE(watch.Poll().empty());
    ports.push_back({"/dev/ttyACM0", ""});
    EXPECT_EQ(watch.Poll(), std::vector<unsigned>{kDbtDevNodesChanged});
    EXPECT_TRUE(watch.Poll().empty());
    ports[1].strDescription = "a new description alone is no change";
    EXPECT_TRUE(watch.Poll().empty());
    ports.clear();
    EXPECT_EQ(watch.Poll(), std::vector<unsigned>{kDbtDevNodesChanged});
}

}  // namespace
