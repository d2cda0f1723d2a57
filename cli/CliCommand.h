#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <string>

// One subcommand of quorvel-cli: its name, a one-line summary, the options it adds to its own
// CLI::App, and what it does once parsed. Run returns the process exit status.
struct CliCommand {
    std::string strName;
    std::string strSummary;
    std::function<void(CLI::App&)> AddOptions;
    std::function<int()> Run;
};

// Exit statuses shared by all commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitFailure = 1;
inline constexpr int kExitUsage = 2;

CliCommand MakeInfoCommand();
CliCommand MakeTranslateCommand();
CliCommand MakePortsCommand();
CliCommand MakeDoctorCommand();
