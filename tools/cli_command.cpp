#include "tools/cli_command.h"

namespace zx840 {

int Usage(std::ostream& err, const CliCommand* command, const std::string& problem) {
    std::string text = "zx840-cli: ";
    text += problem;
    text += "\nUsage: ";
    text += command != nullptr ? command->usage : std::string_view("zx840-cli COMMAND [OPTIONS]");
    text += "\nTry 'zx840-cli ";
    if (command != nullptr) {
        text += command->name;
        text += ' ';
    }
    text += "--help' for more information.\n";
    err << text;
    return kCliUsage;
}

int CommandCall::Mistake(const std::string& problem) const {
    return Usage(err, &command, problem);
}

}  // namespace zx840
