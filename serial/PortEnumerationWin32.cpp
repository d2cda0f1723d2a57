#include <windows.h>
// The Setup API needs windows.h first.
#include <setupapi.h>

#include <algorithm>

#include "PortEnumeration.h"

namespace {

// Friendly names longer than this (200 UTF-16 units with the terminator) are skipped.
constexpr DWORD kFriendlyNameBytes = 400;

}  // namespace

std::vector<SerialPortInfo> EnumerateSerialPorts() {
    std::vector<SerialPortInfo> ports;
    const HDEVINFO hDevices =
        ::SetupDiGetClassDevsW(nullptr, nullptr, nullptr, DIGCF_PRESENT | DIGCF_ALLCLASSES);
    if (hDevices == INVALID_HANDLE_VALUE) return ports;
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    for (DWORD i = 0; ::SetupDiEnumDeviceInfo(hDevices, i, &device); ++i) {
        wchar_t name[kFriendlyNameBytes / sizeof(wchar_t)] = {};
        if (!::SetupDiGetDeviceRegistryPropertyW(hDevices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                                 reinterpret_cast<BYTE*>(name), sizeof name,
                                                 nullptr)) {
            continue;
        }
        name[std::size(name) - 1] = L'\0';
        const std::optional<std::string> port = PortNameFromFriendlyName(std::wstring_view(name));
        if (!port) continue;
        // Two devices with one port name: the first one's place counts.
        const bool bListed = std::any_of(ports.begin(), ports.end(), [&](const SerialPortInfo& p) {
            return p.strName == *port;
        });
        if (bListed) continue;
        std::string strDescription;
        for (const wchar_t* p = name; *p != L'\0'; ++p) {
            strDescription += (*p >= 0x20 && *p < 0x7f) ? static_cast<char>(*p) : '?';
        }
        ports.push_back({*port, strDescription});
    }
    ::SetupDiDestroyDeviceInfoList(hDevices);
    return ports;
}

// Windows keeps a COM name with its device; there is no second, stable name.
std::string StableSerialName(const std::string&, const std::string&) {
    return "";
}

// The window receives WM_DEVICECHANGE from the system itself; the watch serves programs without a
// window by polling.
struct DeviceWatch::Monitor {};

DeviceWatch::DeviceWatch(PortEnumerator enumerate) : m_enumerate(std::move(enumerate)) {}

DeviceWatch::~DeviceWatch() {
    delete m_pMonitor;
}

bool DeviceWatch::Start() {
    for (const SerialPortInfo& port : m_enumerate()) m_lastNames.push_back(port.strName);
    return false;
}

int DeviceWatch::Fd() const {
    return -1;
}

std::vector<unsigned> DeviceWatch::ReadEvents() {
    return {};
}

std::vector<unsigned> DeviceWatch::Poll() {
    std::vector<std::string> names;
    for (const SerialPortInfo& port : m_enumerate()) names.push_back(port.strName);
    if (names == m_lastNames) return {};
    m_lastNames = std::move(names);
    return {kDbtDevNodesChanged};
}
