#include <signal.h>
#include <unistd.h>

#include <iostream>
#include <string>
#include <vector>

#include "record/file_io.h"
#include "tools/cli.h"

int main(int argc, char** argv) {
    // Started with standard output or error closed (`>&-`), the log or a
    // test file would otherwise open as descriptor 1 or 2 and take in the
    // JSON and the messages.
    zx840::OpenClosedStandardDescriptors();
    // Past a file-size limit a write fails with EFBIG, which the writers
    // handle (a log row is taken back whole), instead of killing the program
    // in the middle of a row.
    ::signal(SIGXFSZ, SIG_IGN);
    const std::vector<std::string> args(argv + 1, argv + argc);
    zx840::CliContext context;
    context.errIsTerminal = isatty(STDERR_FILENO) == 1;
    int status = zx840::RunCli(args, std::cout, std::cerr, context);
    // What could not be written is no success (`> /dev/full`, a full disk).
    if (const zx840::FileStatus closed = zx840::CloseStandardOutput(); !closed) {
        std::cerr << "zx840-cli: cannot write to standard output: " << closed.Describe() << "\n";
        if (status == zx840::kCliOk || status == zx840::kCliVerdictFail) {
            status = zx840::kCliFileError;
        }
    }
    return status;
}
