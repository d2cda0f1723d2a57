#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

#include "PortDiagnosis.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr auto kVanishLimit = std::chrono::seconds(2);
constexpr auto kWatchStep = std::chrono::milliseconds(20);
constexpr const char* kUdevRule = "contrib/udev/60-quorvel.rules";

// First line of a small file without its line end; empty when unreadable.
std::string ReadLine(const fs::path& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    while (!line.empty() && std::isspace(static_cast<unsigned char>(line.back()))) line.pop_back();
    return line;
}

std::vector<std::string> ReadLines(const fs::path& path) {
    std::ifstream in(path);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

std::string LinkTarget(const fs::path& path) {
    std::error_code ec;
    const fs::path target = fs::read_symlink(path, ec);
    return ec ? std::string() : target.string();
}

std::string LinkName(const fs::path& path) {
    return fs::path(LinkTarget(path)).filename().string();
}

// Entry names of a folder, sorted; empty when it cannot be read.
std::vector<std::string> ListNames(const fs::path& dir) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// A USB id as ENV{PRODUCT} writes it: lower-case hex without leading zeros.
std::string ShortHex(const std::string& strId) {
    const size_t nFirst = strId.find_first_not_of('0');
    return nFirst == std::string::npos ? "0" : Lower(strId.substr(nFirst));
}

// The device node's place under the dev root: "/dev/ttyUSB0" -> "ttyUSB0"; empty outside /dev.
std::string DevRelative(const std::string& strNode) {
    return strNode.rfind("/dev/", 0) == 0 ? strNode.substr(5) : std::string();
}

std::string UsbIds(const std::string& strVendor, const std::string& strProduct) {
    return strVendor + ":" + strProduct;
}

struct Bridge {
    const char* vendor;
    const char* product;
    const char* module;
};

// USB serial bridges that loggers are built on, with their kernel drivers.
constexpr Bridge kKnownBridges[] = {
    {"0403", "6001", "ftdi_sio"}, {"0403", "6010", "ftdi_sio"},   {"0403", "6014", "ftdi_sio"},
    {"0403", "6015", "ftdi_sio"}, {"067b", "2303", "pl2303"},     {"067b", "23a3", "pl2303"},
    {"10c4", "ea60", "cp210x"},   {"10c4", "ea70", "cp210x"},     {"1a86", "7523", "ch341"},
    {"1a86", "5523", "ch341"},    {"091e", "0003", "garmin_gps"},
};

const char* KnownModule(const std::string& strVendor, const std::string& strProduct) {
    for (const Bridge& b : kKnownBridges) {
        if (Lower(strVendor) == b.vendor && Lower(strProduct) == b.product) return b.module;
    }
    return nullptr;
}

struct Process {
    std::string strPid;
    std::string strName;
    bool bHolds = false;  // has the port open
};

struct GroupEntry {
    std::string strName;
    gid_t gid = 0;
    std::vector<std::string> members;
};

std::vector<GroupEntry> ReadGroups(const std::string& strFile) {
    std::vector<GroupEntry> groups;
    for (const std::string& line : ReadLines(strFile)) {
        std::vector<std::string> fields;
        size_t nStart = 0;
        for (size_t nColon; (nColon = line.find(':', nStart)) != std::string::npos;) {
            fields.push_back(line.substr(nStart, nColon - nStart));
            nStart = nColon + 1;
        }
        fields.push_back(line.substr(nStart));
        if (fields.size() < 4 || fields[2].empty() ||
            fields[2].find_first_not_of("0123456789") != std::string::npos) {
            continue;
        }
        GroupEntry entry{fields[0], static_cast<gid_t>(std::stoul(fields[2])), {}};
        for (size_t nPos = 0; nPos <= fields[3].size();) {
            const size_t nComma = std::min(fields[3].find(',', nPos), fields[3].size());
            if (nComma > nPos) entry.members.push_back(fields[3].substr(nPos, nComma - nPos));
            nPos = nComma + 1;
        }
        groups.push_back(std::move(entry));
    }
    return groups;
}

enum class NodeKind { Tty, NotATty, Unknown };

// Whether a download could open the node, learnt without changing it: opened without becoming
// its controlling terminal or waiting for carrier, only read (terminal or not, claimed for one
// program or not), closed again. Nothing is set, flushed or raised. Called only when no process
// is seen holding the node; one that holds it unseen keeps it open past our close, so a HUPCL
// port does not drop its lines for it.
SerialStatus ProbeNode(const fs::path& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return SerialStatusFromErrno(errno);
    SerialStatus status = SerialStatus::Ok;
    int nExclusive = 0;
    termios tio{};
    if (::ioctl(fd, TIOCGEXCL, &nExclusive) != 0 || ::tcgetattr(fd, &tio) != 0) {
        status =
            errno == ENOTTY || errno == EINVAL ? SerialStatus::NotAPort : SerialStatus::IoError;
    } else if (nExclusive != 0) {
        status = SerialStatus::Busy;
    }
    ::close(fd);
    return status;
}

class SystemView {
  public:
    explicit SystemView(const SystemRoots& roots) : m_roots(roots) {}

    fs::path Dev(const std::string& strRelative) const {
        return m_roots.strDev + "/" + strRelative;
    }
    fs::path TtyClass() const { return m_roots.strSys + "/class/tty"; }
    // Where a node named under /dev is found under the dev root; other paths as they are.
    fs::path Node(const std::string& strNode) const {
        const std::string strRelative = DevRelative(strNode);
        return strRelative.empty() ? fs::path(strNode) : Dev(strRelative);
    }

    // What sysfs says a device node is, without opening it. Pseudo-terminals have no entry.
    NodeKind KindOf(const fs::path& node) const {
        struct stat st {};
        if (::stat(node.c_str(), &st) != 0) return NodeKind::Unknown;
        if (!S_ISCHR(st.st_mode)) return NodeKind::NotATty;
        const std::string strClass =
            LinkName(fs::path(m_roots.strSys) / "dev/char" /
                     (std::to_string(major(st.st_rdev)) + ":" + std::to_string(minor(st.st_rdev))) /
                     "subsystem");
        if (strClass.empty()) return NodeKind::Unknown;
        return strClass == "tty" ? NodeKind::Tty : NodeKind::NotATty;
    }

    // Every process with its name; those with strNode open marked. This process is left out.
    std::vector<Process> Processes(const std::string& strNode) const {
        std::vector<Process> processes;
        const std::string strSelf = std::to_string(::getpid());
        for (const std::string& strPid : ListNames(m_roots.strProc)) {
            if (strPid.find_first_not_of("0123456789") != std::string::npos || strPid == strSelf) {
                continue;
            }
            const fs::path dir = fs::path(m_roots.strProc) / strPid;
            Process process{strPid, ReadLine(dir / "comm")};
            if (!strNode.empty()) {
                for (const std::string& strFd : ListNames(dir / "fd")) {
                    if (LinkTarget(dir / "fd" / strFd) == strNode) process.bHolds = true;
                }
            }
            processes.push_back(std::move(process));
        }
        return processes;
    }

    // The rules files udev reads, by name, the first folder holding a name winning.
    std::vector<fs::path> RuleFiles() const {
        std::set<std::string> seen;
        std::vector<fs::path> files;
        for (const std::string& strDir : m_roots.ruleDirs) {
            for (const std::string& strName : ListNames(strDir)) {
                if (strName.size() < 6 || strName.substr(strName.size() - 6) != ".rules") continue;
                if (seen.insert(strName).second) files.push_back(fs::path(strDir) / strName);
            }
        }
        return files;
    }

    // A live brltty rule line that claims this vendor:product, as "file:line"; empty if none.
    std::string BrlttyRule(const std::string& strVendor, const std::string& strProduct) const {
        if (strVendor.empty()) return "";
        const std::string strEnv =
            "env{product}==\"" + ShortHex(strVendor) + "/" + ShortHex(strProduct) + "/";
        const std::string strAttrVendor = "{idvendor}==\"" + Lower(strVendor) + "\"";
        const std::string strAttrProduct = "{idproduct}==\"" + Lower(strProduct) + "\"";
        for (const fs::path& file : RuleFiles()) {
            if (Lower(file.filename().string()).find("brltty") == std::string::npos) continue;
            const std::vector<std::string> lines = ReadLines(file);
            for (size_t i = 0; i < lines.size(); ++i) {
                const std::string line = Lower(lines[i]);
                const size_t nFirst = line.find_first_not_of(" \t");
                if (nFirst == std::string::npos || line[nFirst] == '#') continue;
                if (line.find(strEnv) != std::string::npos ||
                    (line.find(strAttrVendor) != std::string::npos &&
                     line.find(strAttrProduct) != std::string::npos)) {
                    return file.string() + ":" + std::to_string(i + 1);
                }
            }
        }
        return "";
    }

    bool UdevRunning() const {
        std::error_code ec;  // a folder this user may not enter: no daemon to count on
        return fs::exists(m_roots.strUdevRun + "/control", ec);
    }

    // Every tty's device folder, to tell which USB interfaces have one.
    std::vector<std::string> TtyDevicePaths() const {
        std::vector<std::string> paths;
        for (const std::string& strName : ListNames(TtyClass())) {
            std::error_code ec;
            const fs::path real = fs::canonical(TtyClass() / strName, ec);
            if (!ec) paths.push_back(real.string());
        }
        return paths;
    }

    const SystemRoots& Roots() const { return m_roots; }

  private:
    const SystemRoots& m_roots;
};

std::string DescribeUsb(const PortFacts& facts) {
    std::string text = UsbIds(facts.strVendorId, facts.strProductId);
    for (const std::string& part : {facts.strManufacturer, facts.strProduct}) {
        if (!part.empty()) text += " " + part;
    }
    return text;
}

PortProblem BrlttyProblem(const std::string& strRule, const std::string& strIds) {
    const std::string strFile = strRule.substr(0, strRule.rfind(':'));
    const std::string strName = fs::path(strFile).filename().string();
    std::string strFix;
    if (strFile.rfind("/etc/", 0) == 0) {
        strFix = "remove that line from " + strFile + ", then plug the device in again";
    } else {
        strFix = "sudo ln -s /dev/null /etc/udev/rules.d/" + strName +
                 " && sudo udevadm control --reload, then plug the device in again (or sudo apt "
                 "remove brltty if you use no braille display)";
    }
    return {ProblemKind::Brltty,
            "brltty's udev rule " + strRule + " claims USB devices " + strIds +
                " as braille displays: the port goes away a moment after it appears",
            strFix};
}

std::string SerialGroupName(const std::vector<GroupEntry>& groups) {
    for (const char* pName : {"dialout", "uucp"}) {
        for (const GroupEntry& g : groups) {
            if (g.strName == pName) return g.strName;
        }
    }
    return "dialout";
}

// Why this user may not open the node, from its owner, group and mode.
// The user's standing towards the group that owns a device node.
struct GroupStanding {
    std::string strName;    // the group's name, or its number
    bool bListed = false;   // the group file lists the user in it (or it is the user's own)
    bool bInLogin = false;  // this login has it
};

GroupStanding StandingIn(gid_t gid, const std::vector<GroupEntry>& groups) {
    GroupStanding standing{std::to_string(gid)};
    const uid_t uid = ::geteuid();
    std::string strUser = std::to_string(uid);
    if (const passwd* pw = ::getpwuid(uid)) {
        strUser = pw->pw_name;
        standing.bListed = pw->pw_gid == gid;
    }
    for (const GroupEntry& g : groups) {
        if (g.gid != gid) continue;
        standing.strName = g.strName;
        standing.bListed = standing.bListed || std::find(g.members.begin(), g.members.end(),
                                                         strUser) != g.members.end();
    }
    std::vector<gid_t> login(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
    login.resize(static_cast<size_t>(
        std::max(::getgroups(static_cast<int>(login.size()), login.data()), 0)));
    login.push_back(::getegid());
    standing.bInLogin = std::find(login.begin(), login.end(), gid) != login.end();
    return standing;
}

// A node whose mode lets no group in: the udev rule gives it to the serial group, or, with no
// udev daemon, a chgrp and chmod until it is made again.
PortProblem ModeProblem(const SystemView& system, const std::string& strNode, const struct stat& st,
                        const std::string& strGroup, const std::vector<GroupEntry>& groups) {
    char mode[8];
    std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(st.st_mode & 07777));
    const passwd* owner = ::getpwuid(st.st_uid);
    const std::string strWhat = strNode + " belongs to " +
                                (owner ? std::string(owner->pw_name) : std::to_string(st.st_uid)) +
                                ":" + strGroup + " with mode " + mode +
                                ", so no group membership lets you use it";
    const std::string strSerialGroup = SerialGroupName(groups);
    if (!system.UdevRunning()) {
        return {
            ProblemKind::NoPermission,
            strWhat + " (no udev daemon runs here to give it to the group " + strSerialGroup + ")",
            "sudo chgrp " + strSerialGroup + " " + strNode + " && sudo chmod 660 " + strNode +
                " (until the node is made again at the next plug-in or boot), and be in the "
                "group " +
                strSerialGroup};
    }
    return {ProblemKind::NoPermission, strWhat,
            "install the udev rule " + std::string(kUdevRule) + ": sudo cp " + kUdevRule +
                " /etc/udev/rules.d/ && sudo udevadm control --reload && sudo udevadm trigger, "
                "then plug the logger in again"};
}

std::vector<PortProblem> AccessProblems(const SystemView& system, const PortFacts& facts) {
    struct stat st {};
    const std::string strRelative = DevRelative(facts.strNode);
    const fs::path node = strRelative.empty() ? fs::path(facts.strNode) : system.Dev(strRelative);
    if (::stat(node.c_str(), &st) != 0) return {};
    if (::geteuid() == 0 || (st.st_mode & S_IROTH && st.st_mode & S_IWOTH)) return {};

    const std::vector<GroupEntry> groups = ReadGroups(system.Roots().strGroupFile);
    const GroupStanding group = StandingIn(st.st_gid, groups);
    const bool bGroupMayUse = (st.st_mode & S_IRGRP) && (st.st_mode & S_IWGRP);
    // Joining root's group to reach one device would be a far bigger change than the problem.
    if (!bGroupMayUse || st.st_gid == 0) {
        return {ModeProblem(system, facts.strNode, st, group.strName, groups)};
    }
    if (group.bInLogin) return {};  // refused for another reason (ACL, security module)
    if (group.bListed) {
        return {{ProblemKind::NoPermission,
                 "you are in the group " + group.strName +
                     ", but this login started before you were added to it",
                 "log out and log in again (or run: newgrp " + group.strName + ")"}};
    }
    return {{ProblemKind::NoPermission,
             "you are not in the group " + group.strName + ", which owns " + facts.strNode,
             "sudo usermod -aG " + group.strName + " $USER, then log out and in again"}};
}

PortProblem HolderProblem(const Process& process, const std::string& strNode) {
    // A terminal program or a simulator: the user closes it (or its port), nobody kills it.
    std::string strFix = "close " + process.strName + " (or the port in it), then try again";
    if (process.strName == "gpsd") {
        strFix =
            "sudo systemctl stop gpsd.socket gpsd (to keep it away from loggers: "
            "USBAUTO=\"false\" in /etc/default/gpsd)";
    } else if (process.strName == "ModemManager") {
        strFix = "sudo systemctl stop ModemManager";
    }
    return {ProblemKind::HeldBy,
            process.strName + " (pid " + process.strPid + ") has " + strNode + " open", strFix};
}

}  // namespace

PortDoctor::PortDoctor(SystemRoots roots, PortEnumerator enumerate)
    : m_roots(std::move(roots)), m_enumerate(std::move(enumerate)) {}

PortFacts PortDoctor::Facts(const std::string& strPort) const {
    const SystemView system(m_roots);
    PortFacts facts;
    facts.strNode = SerialPort::DevicePath(strPort);
    std::string strRelative = DevRelative(facts.strNode);
    // A stable name given: the facts are those of the node it points to.
    const std::string strTarget = strRelative.empty() ? "" : LinkTarget(system.Dev(strRelative));
    if (!strTarget.empty() && strRelative.rfind("serial/", 0) == 0) {
        facts.strStableName = facts.strNode;
        strRelative = fs::path(strTarget).filename().string();
        facts.strNode = "/dev/" + strRelative;
    } else if (!strRelative.empty()) {
        facts.strStableName = StableSerialName(facts.strNode, m_roots.strDev);
    }
    struct stat st {};
    facts.bPresent =
        ::stat((strRelative.empty() ? fs::path(facts.strNode) : system.Dev(strRelative)).c_str(),
               &st) == 0;
    if (strRelative.empty() || strRelative.find('/') != std::string::npos) return facts;

    const fs::path tty = system.TtyClass() / strRelative;
    std::error_code ec;
    const fs::path real = fs::canonical(tty, ec);
    const fs::path sysRoot = fs::canonical(m_roots.strSys, ec);
    if (real.empty() || sysRoot.empty()) return facts;
    // Up from the tty: the first folder with a driver is the port's device, the first with USB
    // ids the USB device.
    for (fs::path dir = real.parent_path();
         dir.string().size() > sysRoot.string().size() && dir.string().rfind(sysRoot, 0) == 0;
         dir = dir.parent_path()) {
        // The serial core's own port and controller devices say nothing about the hardware.
        const std::string strDriver = LinkTarget(dir / "driver");
        if (facts.strDriver.empty() && strDriver.find("/serial-base/") == std::string::npos) {
            facts.strDriver = fs::path(strDriver).filename().string();
        }
        facts.strVendorId = ReadLine(dir / "idVendor");
        if (facts.strVendorId.empty()) continue;
        facts.strProductId = ReadLine(dir / "idProduct");
        facts.strManufacturer = ReadLine(dir / "manufacturer");
        facts.strProduct = ReadLine(dir / "product");
        break;
    }
    // udev's database holds what its rules added; a recorded device keeps it in its uevent file.
    const std::string strDevNumbers = ReadLine(tty / "dev");
    for (const fs::path& file :
         {fs::path(m_roots.strUdevRun + "/data/c" + strDevNumbers), tty / "uevent"}) {
        for (const std::string& line : ReadLines(file)) {
            if (line == "E:ID_MM_DEVICE_IGNORE=1" || line == "ID_MM_DEVICE_IGNORE=1") {
                facts.bMmIgnored = true;
            }
        }
    }
    return facts;
}

std::vector<PortProblem> PortDoctor::Explain(const PortFacts& facts, SerialStatus status) const {
    const SystemView system(m_roots);
    std::vector<PortProblem> problems;
    if (!facts.bPresent) {
        PortProblem missing{ProblemKind::Missing, facts.strNode + " does not exist",
                            "plug the logger in and switch it on"};
        // Device names follow the order of plugging in: after a re-plug ttyUSB0 may be ttyUSB1.
        for (const SerialPortInfo& port : m_enumerate()) {
            const PortFacts other = Facts(port.strName);
            if (other.strVendorId.empty() || other.strNode == facts.strNode) continue;
            missing.strWhat += "; there is " + other.strNode + " (" + DescribeUsb(other) + ")";
            missing.strFix = "use " + other.strNode;
            if (!other.strStableName.empty()) {
                missing.strFix +=
                    ", or better its name that stays the same when plugged in "
                    "again: " +
                    other.strStableName;
            }
            break;
        }
        problems.push_back(missing);
        return problems;
    }
    // Whoever else holds something that is no port at all has nothing to do with the logger.
    if (status == SerialStatus::NotAPort) {
        problems.push_back({ProblemKind::NotAPort,
                            std::string(SerialStatusMessage(status)) + " (not a terminal device)",
                            "name the logger's port: quorvel-cli ports lists them"});
        return problems;
    }
    if (status == SerialStatus::AccessDenied) {
        for (PortProblem& p : AccessProblems(system, facts)) problems.push_back(std::move(p));
    }
    bool bHeld = false;
    const std::vector<Process> processes = system.Processes(facts.strNode);
    for (const Process& process : processes) {
        if (!process.bHolds) continue;
        problems.push_back(HolderProblem(process, facts.strNode));
        bHeld = true;
    }
    if (status == SerialStatus::Busy && !bHeld) {
        problems.push_back({ProblemKind::HeldBy,
                            "another program has " + facts.strNode +
                                " open for itself, and this user cannot see which",
                            "sudo fuser -v " + facts.strNode + " names it; close that program"});
    }
    if (!facts.strVendorId.empty() && !facts.bMmIgnored) {
        for (const Process& process : processes) {
            if (process.strName != "ModemManager") continue;
            problems.push_back(
                {ProblemKind::ModemManager,
                 "ModemManager runs (pid " + process.strPid + ") and may probe " + facts.strNode +
                     " with modem commands, holding it for seconds after it is plugged in",
                 "install " + std::string(kUdevRule) +
                     ", which tells ModemManager to leave the logger alone, or if you use no "
                     "mobile broadband modem: sudo systemctl disable --now ModemManager"});
            break;
        }
    }
    const std::string strRule = system.BrlttyRule(facts.strVendorId, facts.strProductId);
    if (!strRule.empty()) {
        problems.push_back(BrlttyProblem(strRule, UsbIds(facts.strVendorId, facts.strProductId)));
    }
    return problems;
}

PortCheck PortDoctor::Check(const std::string& strPort) const {
    const SystemView system(m_roots);
    PortCheck check;
    check.facts = Facts(strPort);
    const fs::path node = system.Node(check.facts.strNode);
    const std::vector<Process> processes = system.Processes(check.facts.strNode);
    const bool bHeld =
        std::any_of(processes.begin(), processes.end(), [](const Process& p) { return p.bHolds; });
    check.bOpenTried = false;
    if (!check.facts.bPresent) {
        check.openStatus = SerialStatus::NotFound;
    } else if (system.KindOf(node) == NodeKind::NotATty) {
        check.openStatus = SerialStatus::NotAPort;
    } else if (bHeld) {
        // A port another program uses is not ours to open, even to look.
        check.openStatus = SerialStatus::Busy;
    } else {
        check.openStatus = ProbeNode(node);
        check.bOpenTried = true;
    }
    check.problems = Explain(check.facts, check.openStatus);
    return check;
}

std::vector<PortCheck> PortDoctor::CheckAll() const {
    std::vector<PortCheck> checks;
    for (const SerialPortInfo& port : m_enumerate()) checks.push_back(Check(port.strName));
    return checks;
}

std::vector<UsbBridge> PortDoctor::BridgesWithoutTty() const {
    const SystemView system(m_roots);
    const std::vector<std::string> ttys = system.TtyDevicePaths();
    std::vector<UsbBridge> bridges;
    const fs::path usb = fs::path(m_roots.strSys) / "bus/usb/devices";
    for (const std::string& strName : ListNames(usb)) {
        if (strName.find(':') == std::string::npos) continue;  // devices; interfaces have a ':'
        std::error_code ec;
        const fs::path interface = fs::canonical(usb / strName, ec);
        if (ec) continue;
        const fs::path device = interface.parent_path();
        UsbBridge bridge{device.filename().string(), ReadLine(device / "idVendor"),
                         ReadLine(device / "idProduct"), ReadLine(device / "product"),
                         LinkName(interface / "driver")};
        const bool bCdcAcm = ReadLine(interface / "bInterfaceClass") == "02" &&
                             ReadLine(interface / "bInterfaceSubClass") == "02";
        if (!bCdcAcm && !KnownModule(bridge.strVendorId, bridge.strProductId)) continue;
        const std::string strPrefix = interface.string() + "/";
        const bool bHasTty = std::any_of(ttys.begin(), ttys.end(), [&](const std::string& p) {
            return p.rfind(strPrefix, 0) == 0;
        });
        const bool bListed = std::any_of(bridges.begin(), bridges.end(), [&](const UsbBridge& b) {
            return b.strSysName == bridge.strSysName;
        });
        if (!bHasTty && !bListed) bridges.push_back(bridge);
    }
    return bridges;
}

std::vector<PortProblem> PortDoctor::SystemProblems(bool bAnyPort) const {
    const SystemView system(m_roots);
    std::vector<PortProblem> problems;
    if (!bAnyPort) {
        problems.push_back({ProblemKind::NoPorts,
                            "no USB serial port is there: nothing is plugged in, or the device "
                            "has no port (see any bridge below)",
                            "plug the logger in, switch it on, and run this again"});
    }
    for (const UsbBridge& bridge : BridgesWithoutTty()) {
        const std::string strIds = UsbIds(bridge.strVendorId, bridge.strProductId);
        const std::string strRule = system.BrlttyRule(bridge.strVendorId, bridge.strProductId);
        if (!strRule.empty()) {
            problems.push_back(BrlttyProblem(strRule, strIds));
            continue;
        }
        const std::string strDevice = "USB device " + bridge.strSysName + " (" + strIds +
                                      (bridge.strProduct.empty() ? "" : " " + bridge.strProduct) +
                                      ") is a serial bridge without a port";
        if (!bridge.strInterfaceDriver.empty()) {
            problems.push_back(
                {ProblemKind::NoDriver,
                 strDevice + ": a program holds it through " + bridge.strInterfaceDriver,
                 "find and close that program (brltty does this to braille "
                 "displays: sudo apt remove brltty if you use none)"});
            continue;
        }
        const char* pModule = KnownModule(bridge.strVendorId, bridge.strProductId);
        problems.push_back({ProblemKind::NoDriver, strDevice + ": no driver took it",
                            "sudo modprobe " + std::string(pModule ? pModule : "cdc_acm") +
                                ", then plug the device in again"});
    }
    return problems;
}

std::vector<PortProblem> PortDoctor::WatchForPort(const std::string& strPort,
                                                  std::chrono::milliseconds nWatch) const {
    const SystemView system(m_roots);
    const std::string strWanted = fs::path(SerialPort::DevicePath(strPort)).filename().string();
    const Clock::time_point start = Clock::now();
    std::vector<std::string> before = ListNames(system.TtyClass());
    std::vector<std::pair<std::string, Clock::time_point>> arrived;
    std::vector<PortProblem> problems;
    // sysfs is read directly: it works with or without a udev daemon broadcasting events.
    while (Clock::now() - start < nWatch) {
        std::this_thread::sleep_for(kWatchStep);
        const std::vector<std::string> now = ListNames(system.TtyClass());
        const Clock::time_point at = Clock::now();
        for (const std::string& strName : now) {
            if (!std::binary_search(before.begin(), before.end(), strName)) {
                arrived.emplace_back(strName, at);
            }
        }
        for (auto it = arrived.begin(); it != arrived.end();) {
            if (std::binary_search(now.begin(), now.end(), it->first)) {
                ++it;
                continue;
            }
            const auto nLived =
                std::chrono::duration_cast<std::chrono::milliseconds>(at - it->second);
            if (nLived < kVanishLimit) {
                problems.push_back(
                    {ProblemKind::Vanished,
                     "/dev/" + it->first + " appeared and was gone again after " +
                         std::to_string(nLived.count()) + " ms: a program claimed the device",
                     "brltty does this to USB serial bridges: sudo apt remove brltty (or mask "
                     "its udev rule: sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules), "
                     "then plug the logger in again"});
            }
            it = arrived.erase(it);
        }
        before = now;
        const bool bWantedStays = std::any_of(arrived.begin(), arrived.end(), [&](const auto& a) {
            return a.first == strWanted && at - a.second >= kVanishLimit;
        });
        if (bWantedStays) break;
    }
    for (const auto& [strName, at] : arrived) {
        if (strName == strWanted) continue;
        const std::string strNode = "/dev/" + strName;
        const std::string strStable = StableSerialName(strNode, m_roots.strDev);
        problems.push_back({ProblemKind::Missing, "the device came as " + strNode,
                            "use " + (strStable.empty() ? strNode : strStable)});
    }
    return problems;
}

std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status,
                              const SystemRoots& roots) {
    if (status == SerialStatus::Ok) return "";
    const PortDoctor doctor(roots);
    const PortFacts facts = doctor.Facts(strPath);
    std::vector<PortProblem> problems = doctor.Explain(facts, status);
    if (status == SerialStatus::NotFound) {
        // A bridge that brltty or a missing driver kept from becoming a port says more than
        // "does not exist".
        const std::vector<PortProblem> system = doctor.SystemProblems(true);
        problems.insert(problems.begin(), system.begin(), system.end());
    }
    if (problems.empty()) return facts.strNode + ": " + SerialStatusMessage(status);
    return facts.strNode + ": " + problems.front().strWhat + " (" + problems.front().strFix + ")";
}

std::string PortOpenDiagnosis(const std::string& strPath, SerialStatus status) {
    return PortOpenDiagnosis(strPath, status, SystemRoots{});
}
