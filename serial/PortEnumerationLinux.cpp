#include <libudev.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <memory>

#include "PortEnumeration.h"

namespace {

struct UdevDeleter {
    void operator()(udev* p) const { udev_unref(p); }
    void operator()(udev_enumerate* p) const { udev_enumerate_unref(p); }
    void operator()(udev_device* p) const { udev_device_unref(p); }
    void operator()(udev_monitor* p) const { udev_monitor_unref(p); }
};
template <typename T>
using UdevPtr = std::unique_ptr<T, UdevDeleter>;

std::string Property(udev_device* dev, const char* key) {
    const char* value = udev_device_get_property_value(dev, key);
    return value ? value : "";
}

std::string FirstOf(udev_device* dev, const char* a, const char* b) {
    std::string value = Property(dev, a);
    return value.empty() ? Property(dev, b) : value;
}

// A tty is a real port when it hangs off a device. The legacy 8250 driver registers its ports
// whether or not a UART answers there; those without one report type 0 (unknown).
bool IsRealPort(udev_device* dev) {
    udev_device* parent = udev_device_get_parent(dev);  // owned by dev
    if (!parent) return false;
    const char* driver = udev_device_get_driver(parent);
    if (driver && std::strcmp(driver, "serial8250") == 0) {
        const char* type = udev_device_get_sysattr_value(dev, "type");
        return type && std::strcmp(type, "0") != 0;
    }
    return true;
}

std::string Describe(udev_device* dev) {
    std::string text;
    const std::string vendorId = Property(dev, "ID_VENDOR_ID");
    const std::string modelId = Property(dev, "ID_MODEL_ID");
    if (!vendorId.empty()) text = "USB " + vendorId + ":" + modelId;
    for (const std::string& part : {FirstOf(dev, "ID_VENDOR_FROM_DATABASE", "ID_VENDOR"),
                                    FirstOf(dev, "ID_MODEL_FROM_DATABASE", "ID_MODEL")}) {
        if (!part.empty()) text += (text.empty() ? "" : " ") + part;
    }
    if (text.empty()) {
        udev_device* parent = udev_device_get_parent(dev);
        const char* driver = parent ? udev_device_get_driver(parent) : nullptr;
        if (driver) text = std::string("driver ") + driver;
    }
    return text;
}

}  // namespace

std::string StableSerialName(const std::string& strNode, const std::string& strDevRoot) {
    namespace fs = std::filesystem;
    if (strNode.rfind("/dev/", 0) != 0) return "";
    const std::string strRelative = strNode.substr(5);
    const fs::path byId = fs::path(strDevRoot) / "serial/by-id";
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(byId, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    for (const std::string& strName : names) {
        fs::path target = fs::read_symlink(byId / strName, ec);
        if (ec) continue;
        if (target.is_relative()) target = (byId / target).lexically_normal();
        const std::string strTarget = target.string();
        // udev links relative to /dev; a recorded device tree may link to its own copy of /dev.
        const std::string strTail = "/dev/" + strRelative;
        if (strTarget == (fs::path(strDevRoot) / strRelative).lexically_normal().string() ||
            (strTarget.size() >= strTail.size() &&
             strTarget.compare(strTarget.size() - strTail.size(), strTail.size(), strTail) == 0)) {
            return "/dev/serial/by-id/" + strName;
        }
    }
    return "";
}

std::vector<SerialPortInfo> EnumerateSerialPorts() {
    std::vector<SerialPortInfo> ports;
    UdevPtr<udev> context(udev_new());
    if (!context) return ports;
    UdevPtr<udev_enumerate> walk(udev_enumerate_new(context.get()));
    if (!walk || udev_enumerate_add_match_subsystem(walk.get(), "tty") < 0 ||
        udev_enumerate_scan_devices(walk.get()) < 0) {
        return ports;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(walk.get())) {
        UdevPtr<udev_device> dev(
            udev_device_new_from_syspath(context.get(), udev_list_entry_get_name(entry)));
        if (!dev || !IsRealPort(dev.get())) continue;
        const char* node = udev_device_get_devnode(dev.get());
        if (!node) continue;
        ports.push_back({node, Describe(dev.get()), StableSerialName(node)});
    }
    return ports;
}

struct DeviceWatch::Monitor {
    UdevPtr<udev> context;
    UdevPtr<udev_monitor> monitor;
};

DeviceWatch::DeviceWatch(PortEnumerator enumerate) : m_enumerate(std::move(enumerate)) {}

DeviceWatch::~DeviceWatch() {
    delete m_pMonitor;
}

bool DeviceWatch::Start() {
    for (const SerialPortInfo& port : m_enumerate()) m_lastNames.push_back(port.strName);
    // Without a running udev daemon no events are ever broadcast; polling is the only way.
    if (::access("/run/udev/control", F_OK) != 0) return false;
    auto monitor = std::make_unique<Monitor>();
    monitor->context.reset(udev_new());
    if (!monitor->context) return false;
    monitor->monitor.reset(udev_monitor_new_from_netlink(monitor->context.get(), "udev"));
    if (!monitor->monitor ||
        udev_monitor_filter_add_match_subsystem_devtype(monitor->monitor.get(), "tty", nullptr) <
            0 ||
        udev_monitor_enable_receiving(monitor->monitor.get()) < 0) {
        return false;
    }
    m_pMonitor = monitor.release();
    return true;
}

int DeviceWatch::Fd() const {
    return m_pMonitor ? udev_monitor_get_fd(m_pMonitor->monitor.get()) : -1;
}

std::vector<unsigned> DeviceWatch::ReadEvents() {
    std::vector<unsigned> events;
    if (!m_pMonitor) return events;
    // The descriptor is non-blocking: receive returns null once nothing is pending.
    while (UdevPtr<udev_device> dev{udev_monitor_receive_device(m_pMonitor->monitor.get())}) {
        const char* action = udev_device_get_action(dev.get());
        if (!action) continue;
        if (std::strcmp(action, "add") == 0) {
            events.push_back(kDbtDeviceArrival);
        } else if (std::strcmp(action, "remove") == 0) {
            events.push_back(kDbtDeviceRemoveComplete);
        } else {
            continue;
        }
        events.push_back(kDbtDevNodesChanged);
    }
    return events;
}

std::vector<unsigned> DeviceWatch::Poll() {
    std::vector<std::string> names;
    for (const SerialPortInfo& port : m_enumerate()) names.push_back(port.strName);
    if (names == m_lastNames) return {};
    m_lastNames = std::move(names);
    return {kDbtDevNodesChanged};
}
