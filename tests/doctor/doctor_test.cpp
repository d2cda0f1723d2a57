// quorvel-cli doctor and ports against recorded USB devices (umockdev), folders standing for /proc
// and udev's rules and database, and real pseudo-terminals opened as another user.
#include <fcntl.h>
#include <grp.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <umockdev.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "serial/PortDiagnosis.h"

namespace {

using namespace std::chrono_literals;
const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
const std::string kFixtures = std::string(QUORVEL_SOURCE_DIR) + "/tests/doctor/fixtures/";
const char* const kStableName =
    "/dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0";

struct Output {
    int nExit;
    std::string strOut;  // standard output and error together
};
using Child = std::pair<pid_t, int>;  // the process and the read end of its output

// Every text is in the output, except those marked "!", which must not be.
void ExpectTexts(const Output& r, const std::vector<std::string>& texts) {
    for (const std::string& text : texts) {
        const bool bSays = text[0] != '!';
        EXPECT_EQ(r.strOut.find(text.substr(bSays ? 0 : 1)) != std::string::npos, bSays)
            << text << "\n"
            << r.strOut;
    }
}

// Runs fn in a forked child whose output comes back through a pipe.
Child Start(const std::function<void()>& fn) {
    int fds[2];
    if (::pipe(fds) != 0) return {-1, -1};
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(fds[1], STDOUT_FILENO);
        ::dup2(fds[1], STDERR_FILENO);
        fn();
        ::_exit(127);
    }
    ::close(fds[1]);
    ::fcntl(fds[0], F_SETFL, O_NONBLOCK);
    return {pid, fds[0]};
}

// Collects the child's output until it ends, meanwhile letting umockdev answer its device calls.
Output Finish(Child child) {
    std::string out;
    int status = 0;
    for (bool bDone = false; !bDone;) {
        bDone = ::waitpid(child.first, &status, WNOHANG) == child.first;
        char buf[4096];
        for (ssize_t n; (n = ::read(child.second, buf, sizeof buf)) > 0;)
            out.append(buf, size_t(n));
        while (g_main_context_iteration(nullptr, FALSE)) {
        }
        if (!bDone) std::this_thread::sleep_for(5ms);
    }
    ::close(child.second);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out};
}

// Executes the program, under this process's umockdev testbed if there is one. The preload
// library comes before the sanitizer runtime.
void ExecCli(std::vector<std::string> args, const std::string& strCli = kCli) {
    if (std::getenv("UMOCKDEV_DIR")) ::setenv("LD_PRELOAD", "libumockdev-preload.so.0", 1);
    const char* pAsan = std::getenv("ASAN_OPTIONS");
    const std::string asan = std::string("verify_asan_link_order=0:") + (pAsan ? pAsan : "");
    ::setenv("ASAN_OPTIONS", asan.c_str(), 1);
    args.insert(args.begin(), strCli);
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
}

gboolean PassIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer) {
    gint nErrno = 0;
    const gint nResult = umockdev_ioctl_client_execute(client, &nErrno, nullptr);
    umockdev_ioctl_client_complete(client, nResult, nErrno);
    return TRUE;
}

class RecordedDevices : public ::testing::Test {
  protected:
    void SetUp() override {
        m_pBed = umockdev_testbed_new();
        m_pIoctl = umockdev_ioctl_base_new();  // the testbed does not keep it alive
    }
    void TearDown() override {
        g_object_unref(m_pBed);
        g_object_unref(m_pIoctl);
    }
    void Load(const std::string& strName) {
        ASSERT_TRUE(umockdev_testbed_add_from_file(m_pBed, (kFixtures + strName).c_str(), nullptr));
        // umockdev refuses tty calls it has no recording of (TIOCEXCL): let the pty answer.
        g_signal_connect(m_pIoctl, "handle-ioctl", G_CALLBACK(PassIoctl), nullptr);
        ASSERT_TRUE(umockdev_testbed_attach_ioctl(m_pBed, "/dev/ttyUSB0", m_pIoctl, nullptr));
    }
    UMockdevTestbed* m_pBed = nullptr;
    UMockdevIoctlBase* m_pIoctl = nullptr;
};

TEST_F(RecordedDevices, DoctorNamesEachProblemAndItsFix) {
    struct Scene {
        const char* legend;
        const char* devices;
        const char* options;  // "%" stands for the fixture folder
        int nExit;
        std::vector<std::string> says;
    };
    // clang-format off
    const Scene scenes[] = {
        {"gpsd holds the logger and ModemManager may probe it", "gps-logger.umockdev",
         "--port ttyUSB0 --proc-root %proc-busy --rules-dir %rules", 1,
         {std::string("stable name: ") + kStableName, "driver: pl2303",
          "USB: 067b:2303 Prolific Technology Inc. USB-Serial Controller",
          "opens: not tried, another program has it open",
          "problem: gpsd (pid 812) has /dev/ttyUSB0 open",
          "fix: sudo systemctl stop gpsd.socket gpsd",
          "problem: ModemManager runs (pid 900)", "fix: install contrib/udev/60-quorvel.rules",
          "!brltty", "!No problem"}},
        {"udev told ModemManager to leave the logger alone", "gps-logger.umockdev",
         "--proc-root %proc-modemmanager --udev-run %udev-run --rules-dir %rules", 0,
         {"/dev/ttyUSB0\n", "opens: yes", "No problem found.", "!ModemManager", "!problem:"}},
        {"the logger came back under another name", "gps-logger.umockdev", "--port ttyUSB1", 1,
         {"problem: /dev/ttyUSB1 does not exist; there is /dev/ttyUSB0 (067b:2303",
          std::string("fix: use /dev/ttyUSB0, or better its name that stays the same when plugged "
                      "in again: ") + kStableName,
          "!no USB serial port is there"}},
        {"brltty claims one bridge, no driver took the other", "bridges-without-tty.umockdev",
         "--port ttyUSB0 --rules-dir %rules", 1,
         {"problem: no USB serial port is there",
          "85-brltty.rules:10 claims USB devices 0403:6001 as braille displays",
          "fix: sudo ln -s /dev/null /etc/udev/rules.d/85-brltty.rules",
          "problem: USB device 1-4 (10c4:ea60 CP2102 USB to UART Bridge Controller) is a serial "
          "bridge without a port: no driver took it", "fix: sudo modprobe cp210x"}},
        {"a brltty rule masked in a folder read first claims nothing",
         "bridges-without-tty.umockdev",
         "--port ttyUSB0 --rules-dir %rules-mask --rules-dir %rules", 1,
         {"1-3 (0403:6001 FT232R USB UART) is a serial bridge without a port: a program holds",
          "!brltty's udev rule"}},
        {"the port list carries the name that survives a re-plug", "gps-logger.umockdev", "ports",
         0,
         {std::string("/dev/ttyUSB0\tdriver pl2303\t") + kStableName + "\n"}},
    };
    // clang-format on
    for (const Scene& s : scenes) {
        SCOPED_TRACE(s.legend);
        TearDown();
        SetUp();
        Load(s.devices);
        // Nothing of this machine's own /proc or udev leaks into the doctor.
        std::vector<std::string> args;
        if (s.options[0] == '-')
            args = {"doctor",     "--watch",         "0", "--proc-root", kFixtures + "none",
                    "--udev-run", kFixtures + "none"};
        std::istringstream options(s.options);
        for (std::string word; options >> word;)
            args.push_back(word[0] == '%' ? kFixtures + word.substr(1) : word);
        const Output r = Finish(Start([&] { ExecCli(args); }));
        EXPECT_EQ(r.nExit, s.nExit) << r.strOut;
        ExpectTexts(r, s.says);
    }
}

TEST_F(RecordedDevices, PortThatComesAndGoesIsCaught) {
    const Child child = Start([] {
        ExecCli({"doctor", "--port", "/dev/ttyUSB0", "--watch", "3"});
    });
    std::this_thread::sleep_for(300ms);
    Load("gps-logger.umockdev");
    std::this_thread::sleep_for(500ms);
    umockdev_testbed_remove_device(
        m_pBed, "/sys/devices/pci0000:00/0000:00:14.0/usb1/1-2/1-2:1.0/ttyUSB0/tty/ttyUSB0");
    const Output r = Finish(child);
    EXPECT_EQ(r.nExit, 1);
    ExpectTexts(r, {"/dev/ttyUSB0 appeared and was gone again after", "fix: brltty does this"});
}

// A program holds a pseudo-terminal at 9600 bit/s, line by line, with a line not read yet: the
// doctor names it and leaves the port as it was. /dev/null is no port, whoever has it open.
TEST(HeldPort, DoctorLooksWithoutTouchingAndNamesTheHolder) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
    const std::string pts = ::ptsname(master);
    const int slave = ::open(pts.c_str(), O_RDWR | O_NOCTTY);
    termios set{};  // a new pseudo-terminal is canonical, with HUPCL; c_cflag holds the speed
    ASSERT_EQ(::tcgetattr(slave, &set) | ::cfsetspeed(&set, B9600), 0);
    ASSERT_EQ(::tcsetattr(slave, TCSANOW, &set) | !(set.c_lflag & ICANON), 0);
    ASSERT_EQ(::write(master, "hello\n", 6), 6);
    const pid_t holder = ::fork();  // holds the port from its first instant
    while (holder == 0) ::pause();
    ::close(slave);
    const Output r = Finish(Start([&] { ExecCli({"doctor", "--port", pts, "--watch", "0"}); }));
    EXPECT_EQ(r.nExit, 1);
    ExpectTexts(r,
                {"problem: doctor_tests (pid " + std::to_string(holder) + ") has " + pts + " open",
                 "fix: close doctor_tests", "!kill", "opens: not tried"});
    const int look = ::open(pts.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios after{};
    char line[16] = {};
    ASSERT_EQ(::tcgetattr(look, &after), 0);
    EXPECT_EQ(std::tie(after.c_iflag, after.c_oflag, after.c_cflag, after.c_lflag),
              std::tie(set.c_iflag, set.c_oflag, set.c_cflag, set.c_lflag));
    EXPECT_EQ(::read(look, line, sizeof line), 6) << "the holder's unread line";
    ::kill(holder, SIGKILL);
    ::waitpid(holder, nullptr, 0);
    ::close(look);
    ::close(master);
    const Output null = Finish(Start([] { ExecCli({"doctor", "--port", "/dev/null"}); }));
    EXPECT_EQ(null.nExit, 1);
    ExpectTexts(null, {"problem: the device is not a serial port (not a terminal device)", "!(pid",
                       "!kill"});
}

// A pseudo-terminal given to group gpsusers (4242) with a mode, opened as the user nobody: the
// doctor's report and the one-line diagnosis after a failed open. "@" stands for the port.
TEST(PortAccess, DoctorAndOpenDiagnosisNameTheGroupAndTheFix) {
    struct Case {
        const char* members;  // of gpsusers in the group file
        mode_t mode;
        bool bJoined;  // this login has the group
        bool bHeld;    // another program has the port for itself
        const char* udevRun;
        std::string what;  // empty: the port opens
        std::string fix;
    };
    const Case cases[] = {
        {"", 0660, false, false, "none", "you are not in the group gpsusers, which owns @",
         "sudo usermod -aG gpsusers $USER, then log out and in again"},
        {"root,nobody", 0660, false, false, "none",
         "you are in the group gpsusers, but this login started before you were added to it",
         "log out and log in again (or run: newgrp gpsusers)"},
        {"nobody", 0600, true, false, "udev-run",
         "@ belongs to root:gpsusers with mode 0600, so no group membership lets you use it",
         "install the udev rule contrib/udev/60-quorvel.rules: sudo cp "
         "contrib/udev/60-quorvel.rules /etc/udev/rules.d/ && sudo udevadm control --reload && "
         "sudo udevadm trigger, then plug the logger in again"},
        {"nobody", 0660, true, false, "none", "", ""},
        {"nobody", 0660, true, true, "none",
         "another program has @ open for itself, and this user cannot see which",
         "sudo fuser -v @ names it; close that program"},
    };
    if (::geteuid() != 0) GTEST_SKIP() << "only root can become another user";
    const passwd* nobody = ::getpwnam("nobody");
    ASSERT_NE(nobody, nullptr);
    // The user nobody reads copies in a folder open to all: the checkout may sit in a home folder
    // only its owner may enter.
    char name[] = "/tmp/quorvel-doctor-XXXXXX";
    ASSERT_NE(::mkdtemp(name), nullptr);
    const std::string copies = name, group = copies + "/group";
    std::filesystem::copy_file(kCli, copies + "/quorvel-cli");
    std::filesystem::create_directory(copies + "/udev-run");
    std::ofstream(copies + "/udev-run/control");  // stands for a running udev daemon's socket
    for (const char* p : {"", "/quorvel-cli", "/udev-run", "/udev-run/control"})
        ::chmod((copies + p).c_str(), 0755);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::ofstream(group) << "root:x:0:\ngpsusers:x:4242:" << c.members << "\n";
        ::chmod(group.c_str(), 0644);
        const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
        const std::string pts = ::ptsname(master);
        ASSERT_EQ(::chown(pts.c_str(), 0, 4242) | ::chmod(pts.c_str(), c.mode), 0);
        const int held = c.bHeld ? ::open(pts.c_str(), O_RDWR | O_NOCTTY) : -1;
        ASSERT_TRUE(!c.bHeld || ::ioctl(held, TIOCEXCL) == 0);
        const auto asNobody = [&] {
            const gid_t joined = 4242;
            if (::setgroups(c.bJoined ? 1 : 0, &joined) || ::setgid(nobody->pw_gid) ||
                ::setuid(nobody->pw_uid)) {
                ::_exit(126);
            }
        };
        SystemRoots roots;
        roots.strGroupFile = group;
        roots.strUdevRun = copies + "/" + c.udevRun;
        const Output r = Finish(Start([&] {
            asNobody();
            ExecCli({"doctor", "--port", pts, "--watch", "0", "--group-file", group, "--udev-run",
                     roots.strUdevRun},
                    copies + "/quorvel-cli");
        }));
        const Output line = Finish(Start([&] {
            asNobody();
            SerialPort port;
            std::printf("%s", PortOpenDiagnosis(pts, port.Open(pts, 115200), roots).c_str());
            std::fflush(stdout);
            ::_exit(0);
        }));
        const auto withPort = [&](std::string text) {
            for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, pts);
            return text;
        };
        const std::string report = c.what.empty() ? "opens: yes\nNo problem found.\n"
                                                  : "problem: " + withPort(c.what) +
                                                        "\n      fix: " + withPort(c.fix) + "\n";
        EXPECT_EQ(r.nExit, c.what.empty() ? 0 : 1);
        EXPECT_NE(r.strOut.find(report), std::string::npos) << report << r.strOut;
        EXPECT_EQ(line.strOut, c.what.empty() ? "" : withPort("@: " + c.what + " (" + c.fix + ")"));
        if (held >= 0) ::close(held);
        ::close(master);
    }
    std::filesystem::remove_all(copies);
}

}  // namespace
