#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "tools/cli.h"

int main(int argc, char** argv) {
    // Past a file-size limit a write fails with EFBIG, which the writers
    // handle (a log row is taken back whole), instead of killing the program
    // in the middle of a row.
    ::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    zx840::CliContext context;
    context.errIsTerminal = isatty(STDERR_FILENO) == 1;
    return zx840::RunCli(args, std::cout, std::cerr, context);
}
