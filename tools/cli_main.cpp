#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    zx840::CliContext context;
    context.errIsTerminal = isatty(STDERR_FILENO) == 1;
    return zx840::RunCli(args, std::cout, std::cerr, context);
}
