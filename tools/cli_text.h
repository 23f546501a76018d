// What zx840-cli writes for a person to read: the readings, a verdict, a
// count and its noun, the summary of a run.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>

#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "session/run_trend.h"

namespace zx840 {

// "1 test", "2 tests": a count and the noun that agrees with it.
std::string Counted(std::size_t count, const char* singular, const char* plural);

// The readings: one per line, with their units; a line with the figures
// when the meter's readings disagree with its samples.
void PrintText(std::ostream& out, const WorkingRecord& working);
// The verdict line, then one line per failing check.
void PrintVerdictText(std::ostream& out, const Verdict& verdict);

// The summary of a run, each line after "zx840-cli: ": with good
// measurements, its length, energy and first FAIL, then the minimum, mean,
// maximum and standard deviation of the default trend readings; last the
// counts ("5 acquisitions, 4 good, 1 failed, 3 PASS, 1 FAIL, interrupted").
void PrintRunSummary(std::ostream& out, const RunSummary& summary, bool interrupted);

}  // namespace zx840
