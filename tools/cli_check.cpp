// zx840-cli check: saved tests judged against a test plan, without a meter.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/displayed_record.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/record_json.h"
#include "tools/cli_commands.h"
#include "tools/cli_files.h"
#include "tools/cli_inputs.h"
#include "tools/cli_text.h"

namespace zx840 {
namespace {

// The tests judged so far and how the run stands.
struct Tally {
    int judged = 0;
    int failed = 0;
    int status = kCliOk;
};

// Judges one test file and prints its verdict; a file that cannot be read
// is said and counts against the run.
void JudgeFile(const CommandCall& call, const TestPlan& plan, bool text, const std::string& path,
               Tally& tally) {
    const std::optional<TestFileContents> test = LoadTestFile(path, call.err);
    if (!test) {
        tally.status = kCliFileError;
        return;
    }
    const std::optional<Verdict> verdict = Judge(plan, DisplayedRecord(test->Record));
    ++tally.judged;
    tally.failed += verdict->pass ? 0 : 1;
    if (text) {
        call.out << path << "\n";
        PrintVerdictText(call.out, *verdict);
        return;
    }
    std::string line;
    JsonWriter json(line);
    json.BeginObject().Key("File").String(path);
    WriteMark(json.Key("Mark"), test->Mark);
    WriteVerdict(json.Key("Verdict"), *verdict);
    json.EndObject();
    call.out << line << "\n";
}

// The summary line; the exit status of the run.
int Conclude(std::ostream& err, const Tally& tally) {
    err << "zx840-cli: " << Counted(tally.judged, "test", "tests") << " judged, "
        << (tally.judged - tally.failed) << " passed, " << tally.failed << " failed\n";
    if (tally.status == kCliOk && tally.judged == 0) {
        // Nothing judged is no pass: an empty folder or a wrong one.
        err << "zx840-cli: no test file found in what was named\n";
        return kCliFileError;
    }
    if (tally.status == kCliOk && tally.failed > 0) {
        return kCliVerdictFail;
    }
    return tally.status;
}

}  // namespace

int CheckCommand(const CommandCall& call) {
    std::string planPath;
    bool text = false;
    for (const auto& [name, value] : call.options) {
        if (name == "--plan") {
            planPath = value;
        } else if (name == "--text") {
            text = true;
        }
    }
    if (call.operands.empty()) {
        return call.Mistake("check takes one or more test files or directories");
    }
    if (planPath.empty()) {
        return call.Mistake("check needs --plan FILE");
    }
    const std::optional<TestPlan> plan = LoadPlan(planPath, call.err);
    if (!plan) {
        return kCliFileError;
    }
    Tally tally;
    ForEachInput(
        call.operands,
        [&](const std::string& path) {
            JudgeFile(call, *plan, text, path, tally);
            return true;
        },
        [&](const std::string& path, const std::string& reason) {
            ReportUnreadable(call.err, path, reason);
            tally.status = kCliFileError;
        });
    return Conclude(call.err, tally);
}

}  // namespace zx840
