// What the commands of zx840-cli share: the usage text, failure reports, the
// readings as text, reading test files.
#pragma once

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "meter/acquisition.h"
#include "plan/verdict.h"
#include "record/test_file.h"
#include "tools/argument_parser.h"
#include "tools/cli.h"

namespace zx840 {

// The text of --help; the acquire options come from their table.
std::string CliHelp();
// The help of one command (`zx840-cli acquire --help`).
std::string CommandHelp(std::string_view command);

// "1 test", "2 tests": a count and the noun that agrees with it.
std::string Counted(std::size_t count, const char* singular, const char* plural);

// Says what is wrong, then the command's usage line and where its help is
// (not the whole help, which would bury the message); returns kCliUsage.
// An empty command: the program's usage.
int Usage(std::ostream& err, std::string_view command, const std::string& problem);

// Reads the arguments of a command (args[0] is its name) with `parser`.
// Nothing when the command goes on; else the exit status, after printing
// the command's help (-h, --help) or saying what is wrong.
std::optional<int> ReadArguments(ArgumentParser& parser, const std::vector<std::string>& args,
                                 std::ostream& out, std::ostream& err);

// "-" as a file to write: standard output.
bool IsStandardOutput(const std::string& path);

// The exit status of a failed exchange.
int FailureStatus(AcquireFailure failure);
// The technical side of a failure, after the operator message: the port
// (and its device) and what went wrong there.
std::string FailureDetail(const ExchangeResult& exchange, const std::string& port,
                          const std::string& device);
// Prints the operator message and the detail; returns the exit status.
int ReportFailure(std::ostream& err, const ExchangeResult& exchange, const std::string& port,
                  const std::string& device);

// The readings for a person: one per line, with their units.
void PrintText(std::ostream& out, const WorkingRecord& working);
// The verdict line, then one line per failing check.
void PrintVerdictText(std::ostream& out, const Verdict& verdict);

// Writes the printed report as a PDF to `path`, or with "-" to `out`; with
// a verdict, its line on the page. The exit status, after saying a failure.
int WriteReport(const std::string& path, const WorkingRecord& working, const ProductMark& mark,
                const Verdict* verdict, std::ostream& out, std::ostream& err);

// Reads the test plan at `path`; nothing, with the reason said on `err`,
// when it cannot be used.
std::optional<TestPlan> LoadPlan(const std::string& path, std::ostream& err);

// Reads and parses a whole test file. On failure the message for the
// operator goes to `error`: the format message for a damaged file.
std::optional<TestFileContents> LoadTestFile(const std::string& path, std::string* error);

// The commands with more than a screenful of code.
int AcquireCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int PortsCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// zx840-cli serve: the remote control without a window, until a signal.
int Serve(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int CheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
int ExportCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                  const CliContext& context);
// history, stats, sync and import: the results store.
int StoreCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 const CliContext& context);

}  // namespace zx840
