// The commands of zx840-cli: one table of them drives the dispatch, --help
// and COMMAND --help. A command is one row and its run function.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "tools/cli_command.h"

namespace zx840 {

// Every command, in the order the help lists them.
std::span<const CliCommand> CliCommands();
// The command of that name, or nullptr.
const CliCommand* FindCliCommand(std::string_view name);

// The text of --help: each command's block, how options take their values,
// the exit statuses.
std::string CliHelp();
// The help of one command (`zx840-cli acquire --help`); of an unknown one,
// the whole help.
std::string CommandHelp(std::string_view name);

// The run functions of the rows.
int AcquireCommand(const CommandCall& call);
int ExportCommand(const CommandCall& call);
int PortsCommand(const CommandCall& call);
int CheckCommand(const CommandCall& call);
int HistoryCommand(const CommandCall& call);
int StatsCommand(const CommandCall& call);
int ImportCommand(const CommandCall& call);
int SyncCommand(const CommandCall& call);
// The remote control without a window, until a signal.
int ServeCommand(const CommandCall& call);
// The results store in a browser, as JSON and as metrics, until a signal.
int WebCommand(const CommandCall& call);
int ShowCommand(const CommandCall& call);
int ReportCommand(const CommandCall& call);
int DecodeCommand(const CommandCall& call);

}  // namespace zx840
