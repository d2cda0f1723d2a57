#pragma once

// The programs as a user runs them: quorvel-cli and quorvel-sim processes, their output and status.

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "Testing.h"

extern char** environ;

inline const std::string kCli = std::string(QUORVEL_BINARY_DIR) + "/cli/quorvel-cli";
inline const std::string kSim = std::string(QUORVEL_BINARY_DIR) + "/sim/quorvel-sim";
inline const std::string kSample = std::string(QUORVEL_SOURCE_DIR) + "/samples/sample.dlg";

struct RunResult {
    int nStatus = -1;  // the exit status, or 128 + the signal that ended the program
    std::string strOut;
    std::string strErr;
};

// Starts a program with standard input from /dev/null and its output into the two files; extra
// environment entries ("TZ=UTC") come on top of this process's.
inline pid_t Spawn(const std::vector<std::string>& args, const fs::path& out, const fs::path& err,
                   const std::vector<std::string>& env = {}) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, out.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, err.c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> environment(env);
    for (char** p = environ; *p != nullptr; ++p) environment.emplace_back(*p);
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

inline int Wait(pid_t pid) {
    int status = 0;
    if (pid <= 0 || waitpid(pid, &status, 0) != pid) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Runs a program to its end.
inline RunResult RunProgram(const std::vector<std::string>& args,
                            const std::vector<std::string>& env = {}) {
    TempDir dir;  // braces initialise in order: the program ends before its output is read
    return {Wait(Spawn(args, dir / "out", dir / "err", env)), ReadFile(dir / "out"),
            ReadFile(dir / "err")};
}

inline RunResult Shell(const std::string& line) {
    return RunProgram({"/bin/sh", "-c", line});
}

inline bool Have(const char* pszTool) {
    return Shell(std::string("command -v ") + pszTool).nStatus == 0;
}

// A quorvel-sim process for the length of a test; it prints the port it serves.
class SimProcess {
  public:
    explicit SimProcess(std::vector<std::string> args) {
        args.insert(args.begin(), kSim);
        m_pid = Spawn(args, m_dir / "out", m_dir / "err");
        for (int i = 0; i < 500 && m_strPort.empty() && m_pid > 0; ++i) {
            const std::string out = ReadFile(m_dir / "out");
            if (out.find('\n') != std::string::npos) {
                m_strPort = out.substr(0, out.find('\n'));
            } else {
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        }
        EXPECT_FALSE(m_strPort.empty()) << ReadFile(m_dir / "err");
    }
    ~SimProcess() { Stop(); }
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& Port() const { return m_strPort; }
    // Ends the simulator (cleanly, on SIGTERM); returns what it said on the way.
    std::string Stop() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            EXPECT_EQ(Wait(m_pid), 0);
            m_pid = -1;
        }
        return ReadFile(m_dir / "err");
    }

  private:
    TempDir m_dir;
    pid_t m_pid = -1;
    std::string m_strPort;
};
