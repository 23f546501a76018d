// zx840-cli check: saved tests judged against a test plan, without a meter.
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "analysis/displayed_record.h"
#include "plan/test_plan.h"
#include "plan/verdict.h"
#include "record/record_json.h"
#include "tools/argument_parser.h"
#include "tools/cli_common.h"
#include "tools/test_inputs.h"

namespace zx840 {

int CheckCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ArgumentParser parser;
    parser.Path("--plan");
    parser.Switch("--text");
    parser.TakePositionals();
    if (const auto done = ReadArguments(parser, args, out, err)) {
        return *done;
    }
    const std::vector<std::string>& inputs = parser.Positionals();
    std::string planPath;
    bool text = false;
    for (const auto& [name, value] : parser.Options()) {
        if (name == "--plan") {
            planPath = value;
        } else if (name == "--text") {
            text = true;
        }
    }
    if (inputs.empty()) {
        return Usage(err, "check", "check takes one or more test files or directories");
    }
    if (planPath.empty()) {
        return Usage(err, "check", "check needs --plan FILE");
    }
    const std::optional<TestPlan> plan = LoadPlan(planPath, err);
    if (!plan) {
        return kCliFileError;
    }

    int status = kCliOk;
    int judged = 0;
    int failed = 0;
    ForEachInput(
        inputs,
        [&](const std::string& path) {
            std::string error;
            const std::optional<TestFileContents> test = LoadTestFile(path, &error);
            if (!test) {
                err << "zx840-cli: " << path << ": " << error << "\n";
                status = kCliFileError;
                return true;
            }
            const std::optional<Verdict> verdict = Judge(*plan, DisplayedRecord(test->Record));
            ++judged;
            failed += verdict->pass ? 0 : 1;
            if (text) {
                out << path << "\n";
                PrintVerdictText(out, *verdict);
            } else {
                std::string line;
                JsonWriter json(line);
                json.BeginObject().Key("File").String(path);
                WriteMark(json.Key("Mark"), test->Mark);
                WriteVerdict(json.Key("Verdict"), *verdict);
                json.EndObject();
                out << line << "\n";
            }
            return true;
        },
        [&](const std::string& path, const std::string& reason) {
            err << "zx840-cli: cannot list " << path << ": " << reason << "\n";
            status = kCliFileError;
        });
    err << "zx840-cli: " << Counted(judged, "test", "tests") << " judged, " << (judged - failed)
        << " passed, " << failed << " failed\n";
    if (status == kCliOk && judged == 0) {
        // Nothing judged is no pass: an empty folder or a wrong one.
        err << "zx840-cli: no test file found in what was named\n";
        status = kCliFileError;
    }
    if (status == kCliOk && failed > 0) {
        status = kCliVerdictFail;
    }
    return status;
}

}  // namespace zx840
