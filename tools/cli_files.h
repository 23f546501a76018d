// The files the commands of zx840-cli read and write: the test files and
// plans they are given, how one that cannot be read is said, a report to
// write, "-" for standard output.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/measurement_file.h"

namespace zx840 {

// An input that cannot be read (a file, a folder), said on `err` as every
// command says it: "zx840-cli: PATH: REASON".
void ReportUnreadable(std::ostream& err, const std::string& path, std::string_view reason);

// Why a test file read by ReadTestFile gave no test: the system's reason, or
// "Unexpected file format." for a file that is none.
std::string UnreadableReason(const TestFileRead& read);

// Reads and parses a whole test file; nothing, after ReportUnreadable, when
// it cannot be read or is no test file.
std::optional<TestFileContents> LoadTestFile(const std::string& path, std::ostream& err);

// Reads the test plan at `path`; nothing, with the reason said on `err`,
// when it cannot be used.
std::optional<TestPlan> LoadPlan(const std::string& path, std::ostream& err);

// "-" as a file to write: standard output.
bool IsStandardOutput(const std::string& path);

// Writes the printed report as a PDF to `path`, or with "-" to `out`; with
// a verdict, its line on the page. The exit status, after saying a failure.
int WriteReport(const std::string& path, const WorkingRecord& working, const ProductMark& mark,
                const Verdict* verdict, std::ostream& out, std::ostream& err);

}  // namespace zx840
