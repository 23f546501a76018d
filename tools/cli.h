// zx840-cli: the meter's measurements for scripts and production lines.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace zx840 {

// Exit statuses, also listed by --help.
enum CliStatus : int {
    kCliOk = 0,
    kCliUsage = 1,
    kCliOpenFailed = 2,   // the port cannot be opened
    kCliWriteFailed = 3,  // the request cannot be written
    kCliBadReply = 4,     // no reply, short, or wrong first byte
    kCliFileError = 5,    // an input file cannot be read, an output cannot be written
    kCliInterrupted = 6,  // Ctrl+C or SIGTERM before the run was complete
    kCliVerdictFail = 7,  // all was measured, but a verdict against the test plan is FAIL
};

// Where the tool runs.
struct CliContext {
    bool errIsTerminal = false;  // `err` shows on a terminal: progress bars are welcome
};

// Runs one command; `args` excludes the program name. Results go to `out`,
// messages to `err`.
int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliContext& context = {});

}  // namespace zx840
