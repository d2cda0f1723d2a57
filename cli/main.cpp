#include <CLI/CLI.hpp>
#include <vector>

#include "CliCommand.h"
#include "CommandTable.h"
#include "QuorvelVersion.h"

CliCommand MakeDownloadCommand();
CliCommand MakeEraseCommand();
CliCommand MakeConfigCommand();

int main(int argc, char** argv) {
    CLI::App app{"Quorvel: download, erase, configure and translate GPS track loggers"};
    app.name("quorvel-cli");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quorvel-cli ") + kQuorvelVersion);

    std::vector<CliCommand> commands = {MakeInfoCommand(), MakeTranslateCommand(),
                                        MakePortsCommand()};
    commands.push_back(MakeDownloadCommand());
    commands.push_back(MakeEraseCommand());
    commands.push_back(MakeConfigCommand());
    commands.push_back(MakeDoctorCommand());
    for (CliCommand& command : commands) {
        CLI::App* sub = app.add_subcommand(command.strName, command.strSummary);
        command.AddOptions(*sub);
    }
    // Hidden: the build generates the manual page and the shell completion from this table.
    app.add_flag_callback(
           "--command-table",
           [&app] {
               PrintCommandTable(app, stdout);
               throw CLI::Success();
           },
           "")
        ->group("");
    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }
    for (CliCommand& command : commands) {
        if (app.got_subcommand(command.strName)) return command.Run();
    }
    return kExitUsage;
}
