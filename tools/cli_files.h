// The files the commands of zx840-cli read and write: the test files and
// plans they are given, a report to write, "-" for standard output.
#pragma once

#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "plan/test_plan.h"
#include "plan/verdict.h"
#include "record/test_file.h"

namespace zx840 {

// Reads and parses a whole test file. On failure the message for the
// operator goes to `error`: the format message for a damaged file.
std::optional<TestFileContents> LoadTestFile(const std::string& path, std::string* error);

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
