#include <CLI/CLI.hpp>
#include <algorithm>
#include <vector>

#ifdef _WIN32
#include <windows.h>
// After windows.h.
#include <shellapi.h>

#include "platform/Text.h"
#endif

#include "CliCommand.h"
#include "CommandTable.h"
#include "QuorvelVersion.h"
#include "platform/File.h"

CliCommand MakeDownloadCommand();
CliCommand MakeEraseCommand();
CliCommand MakeConfigCommand();
CliCommand MakeSyncCommand();
CliCommand MakeMergeCommand();
#ifdef QUORVEL_HAVE_GEOTAG
CliCommand MakeGeotagCommand();
#endif

int main(int argc, char** argv) {
    OpenClosedStandardStreams();
    CLI::App app{"Quorvel: download, erase, configure and translate GPS track loggers"};
    app.name("quorvel-cli");
    app.require_subcommand(1);
    app.set_version_flag("--version", std::string("quorvel-cli ") + kQuorvelVersion);
    // Options begin with "-" or "--" only: a path such as /tmp/x.dlg is never an option.
    app.allow_windows_style_options(false);

    std::vector<CliCommand> commands = {MakeInfoCommand(), MakeTranslateCommand(),
                                        MakePortsCommand()};
    commands.push_back(MakeDownloadCommand());
    commands.push_back(MakeSyncCommand());
    commands.push_back(MakeEraseCommand());
    commands.push_back(MakeConfigCommand());
    commands.push_back(MakeDoctorCommand());
    commands.push_back(MakeMergeCommand());
#ifdef QUORVEL_HAVE_GEOTAG
    commands.push_back(MakeGeotagCommand());
#endif
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
#ifdef _WIN32
        // The UTF-16 command line reaches every path; argv holds only what the ANSI code page
        // can show. Reversed, as the parser takes it.
        static_cast<void>(argc);
        static_cast<void>(argv);
        ::SetConsoleOutputCP(CP_UTF8);
        int nArgs = 0;
        wchar_t** ppArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
        std::vector<std::string> args;
        for (int i = 1; ppArgs != nullptr && i < nArgs; ++i)
            args.push_back(NarrowToUtf8(ppArgs[i]));
        ::LocalFree(ppArgs);
        std::reverse(args.begin(), args.end());
        app.parse(args);
#else
        app.parse(argc, argv);
#endif
    } catch (const CLI::ParseError& e) {
        const int rc = app.exit(e);
        return rc == 0 ? kExitOk : kExitUsage;
    }
    for (CliCommand& command : commands) {
        if (app.got_subcommand(command.strName)) return command.Run();
    }
    return kExitUsage;
}
