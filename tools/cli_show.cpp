// zx840-cli show, report and decode: one file each, as JSON or as the
// printed report.
#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>

#include "analysis/displayed_record.h"
#include "analysis/power_quality.h"
#include "record/record_json.h"
#include "tools/cli_commands.h"
#include "tools/cli_failure.h"
#include "tools/cli_files.h"
#include "tools/report_pdf.h"

namespace zx840 {
namespace {

// A test file as the panel shows it once opened: spectra from the file,
// angles computed anew. Nothing, with the reason on `err`, when it cannot
// be read whole.
struct OpenedTest {
    WorkingRecord working;
    ProductMark mark;
};

std::optional<OpenedTest> OpenTest(const std::string& path, std::ostream& err) {
    const auto test = LoadTestFile(path, err);
    if (!test) {
        return std::nullopt;
    }
    return OpenedTest{DisplayedRecord(test->Record), test->Mark};
}

}  // namespace

int ShowCommand(const CommandCall& call) {
    if (call.operands.size() != 1) {
        return call.Mistake("show takes one test file");
    }
    const auto test = OpenTest(call.operands.front(), call.err);
    if (!test) {
        return kCliFileError;
    }
    std::string text;
    JsonWriter json(text);
    json.BeginObject();
    WriteRecordMembers(json, test->working);
    WriteDerivedMembers(json, test->working.Record);
    WriteMark(json.Key("ProductMark"), test->mark);
    json.EndObject();
    call.out << text << "\n";
    return kCliOk;
}

// The printed report of a test file as a PDF, without any printer; with a
// plan, judged as check judges it, with the verdict line on the page.
int ReportCommand(const CommandCall& call) {
    const char kProblem[] = "report takes a test file, --pdf and the PDF to write";
    if (call.operands.size() != 1) {
        return call.Mistake(kProblem);
    }
    std::string pdf;
    std::string planPath;
    for (const auto& [name, value] : call.options) {
        (name == "--pdf" ? pdf : planPath) = value;  // the last one given
    }
    if (pdf.empty()) {
        return call.Mistake(kProblem);
    }
    if (!ReportPdfWriter::Available()) {
        call.err << "zx840-cli: this build has no PDF support\n";
        return kCliFileError;
    }
    std::optional<TestPlan> plan;
    if (!planPath.empty()) {
        plan = LoadPlan(planPath, call.err);
        if (!plan) {
            return kCliFileError;
        }
    }
    const auto test = OpenTest(call.operands.front(), call.err);
    if (!test) {
        return kCliFileError;
    }
    const std::optional<Verdict> verdict = plan ? Judge(*plan, test->working) : std::nullopt;
    const int status = WriteReport(pdf, test->working, test->mark, verdict ? &*verdict : nullptr,
                                   call.out, call.err);
    return status == kCliOk && verdict && !verdict->pass ? kCliVerdictFail : status;
}

int DecodeCommand(const CommandCall& call) {
    if (call.operands.size() != 1) {
        return call.Mistake("decode takes one file");
    }
    const std::string& path = call.operands.front();
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        ReportUnreadable(call.err, path, std::strerror(errno));
        return kCliFileError;
    }
    // Like the read on the line: up to one reply's worth into a cleared buffer.
    ExchangeResult exchange;
    errno = 0;
    file.read(reinterpret_cast<char*>(exchange.reply.data()), exchange.reply.size());
    exchange.received = static_cast<std::size_t>(file.gcount());
    if (file.bad()) {
        ReportUnreadable(call.err, path, std::strerror(errno != 0 ? errno : EIO));
        return kCliFileError;
    }
    if (!IsReplyAccepted(exchange.reply, exchange.received)) {
        exchange.failure = AcquireFailure::BadReply;
        return ReportFailure(call.err, exchange, path, path);
    }
    const HarmonicTable table;
    WorkingRecord working;
    ApplyReply(exchange.reply, table, working);
    std::string text;
    JsonWriter json(text);
    json.BeginObject();
    WriteRecordMembers(json, working);
    WriteDerivedMembers(json, working.Record);
    json.EndObject();
    call.out << text << "\n";
    return kCliOk;
}

}  // namespace zx840
