#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>

// Prints the program's commands and options, one line per command and nested subcommand, for the
// build's generators of shell completion and manual pages, so both follow the commands as they are:
//   path|subcommands|flags|options=TYPE|positionals=TYPE
// e.g. "quorvel-cli config set|||--port=TEXT --interval=TEXT|". Hidden options are left out.
void PrintCommandTable(const CLI::App& app, std::FILE* pOut);
