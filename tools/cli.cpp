#include "tools/cli.h"

#include <ostream>

#include "record/product_identity.h"
#include "tools/argument_parser.h"
#include "tools/cli_commands.h"

namespace zx840 {
namespace {

// Options before any command: only help and version.
int ProgramOptions(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ArgumentParser parser;
    parser.Switch("-V,--version");
    switch (parser.Parse(args)) {
        case ArgumentParser::Outcome::Help:
            out << CliHelp();
            return kCliOk;
        case ArgumentParser::Outcome::Mistake:
            return Usage(err, nullptr, parser.Problem());
        case ArgumentParser::Outcome::Parsed:
            break;
    }
    if (!parser.Given("--version")) {
        return Usage(err, nullptr, "no command given");
    }
    out << "zx840-cli " << kVersionText << "\n";
    return kCliOk;
}

// Reads the command's options as its row declares them; prints its help
// (-h, --help) or says what is wrong, else runs it.
int RunCommand(const CliCommand& command, const std::vector<std::string>& args, std::ostream& out,
               std::ostream& err, const CliContext& context) {
    ArgumentParser parser;
    parser.Declare(command.options);
    if (command.operands) {
        parser.TakePositionals();
    }
    switch (parser.Parse({args.begin() + 1, args.end()})) {
        case ArgumentParser::Outcome::Help:
            out << CommandHelp(command.name);
            return kCliOk;
        case ArgumentParser::Outcome::Mistake:
            return Usage(err, &command, parser.Problem());
        case ArgumentParser::Outcome::Parsed:
            break;
    }
    return command.run({command, parser.Options(), parser.Positionals(), out, err, context});
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliContext& context) {
    if (args.empty()) {
        return Usage(err, nullptr, "no command given");
    }
    const std::string& name = args[0];
    if (name == "help") {
        out << CliHelp();
        return kCliOk;
    }
    if (name.size() > 1 && name[0] == '-') {
        return ProgramOptions(args, out, err);
    }
    if (const CliCommand* command = FindCliCommand(name)) {
        return RunCommand(*command, args, out, err, context);
    }
    std::string problem = "unknown command \"";
    problem += name;
    problem += '"';
    return Usage(err, nullptr, problem);
}

}  // namespace zx840
