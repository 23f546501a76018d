// One command of zx840-cli as the command table lists it, and what its run
// function is given.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "tools/argument_parser.h"
#include "tools/cli.h"

namespace zx840 {

struct CommandCall;

struct CliCommand {
    std::string_view name = {};
    // The synopsis a mistake shows after "Usage: ".
    std::string_view usage = {};
    // Its block of --help: the synopses from column 2, the text from column 6.
    std::string_view help = {};
    // The options it takes besides -h and --help.
    std::span<const OptionDeclaration> options = {};
    // Whether it takes operands (test files, folders) after or among them.
    bool operands = false;
    // Runs the command once its command line was read without a mistake.
    int (*run)(const CommandCall& call) = nullptr;
    // Options listed after the help block, from a table of their own.
    std::string (*optionsHelp)() = nullptr;
};

// A command's command line, read, and where it writes.
struct CommandCall {
    const CliCommand& command;
    const std::vector<std::pair<std::string, std::string>>& options;  // in the order given
    const std::vector<std::string>& operands;
    std::ostream& out;  // results
    std::ostream& err;  // messages
    const CliContext& context;

    // Says what is wrong, then the command's usage line and where its help
    // is (not the whole help, which would bury the message); returns
    // kCliUsage.
    int Mistake(const std::string& problem) const;
};

// The same for `command`, or with nullptr for the program's usage.
int Usage(std::ostream& err, const CliCommand* command, const std::string& problem);

}  // namespace zx840
