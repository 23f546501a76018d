#include "tools/cli.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <optional>
#include <ostream>

#include "analysis/displayed_record.h"
#include "record/product_identity.h"
#include "record/record_json.h"
#include "tools/cli_common.h"
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
    std::string error;
    const auto test = LoadTestFile(path, &error);
    if (!test) {
        err << error << "\n";
        return std::nullopt;
    }
    return OpenedTest{DisplayedRecord(test->Record), test->Mark};
}

// The one file a command reads: nothing when the arguments are not that
// file alone (help printed or the mistake said, `status` set).
std::optional<std::string> OneFile(const std::vector<std::string>& args, ArgumentParser& parser,
                                   const std::string& problem, std::ostream& out, std::ostream& err,
                                   int* status) {
    parser.TakePositionals();
    if (const auto done = ReadArguments(parser, args, out, err)) {
        *status = *done;
        return std::nullopt;
    }
    if (parser.Positionals().size() != 1) {
        *status = Usage(err, args[0], problem);
        return std::nullopt;
    }
    return parser.Positionals().front();
}

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ArgumentParser parser;
    int status = kCliOk;
    const auto path = OneFile(args, parser, "show takes one test file", out, err, &status);
    if (!path) {
        return status;
    }
    const auto test = OpenTest(*path, err);
    if (!test) {
        return kCliFileError;
    }
    out << WorkingRecordJson(test->working, true)
        << ",\"ProductMark\":" << ProductMarkJson(test->mark) << "}\n";
    return kCliOk;
}

// The printed report of a test file as a PDF, without any printer; with a
// plan, judged as check judges it, with the verdict line on the page.
int Report(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ArgumentParser parser;
    parser.Path("--pdf");
    parser.Path("--plan");
    int status = kCliOk;
    const auto path = OneFile(args, parser, "report takes a test file, --pdf and the PDF to write",
                              out, err, &status);
    if (!path) {
        return status;
    }
    std::string pdf;
    std::string planPath;
    for (const auto& [name, value] : parser.Options()) {
        (name == "--pdf" ? pdf : planPath) = value;  // the last one given
    }
    if (pdf.empty()) {
        return Usage(err, args[0], "report takes a test file, --pdf and the PDF to write");
    }
    if (!ReportPdfWriter::Available()) {
        err << "zx840-cli: this build has no PDF support\n";
        return kCliFileError;
    }
    std::optional<TestPlan> plan;
    if (!planPath.empty()) {
        plan = LoadPlan(planPath, err);
        if (!plan) {
            return kCliFileError;
        }
    }
    const auto test = OpenTest(*path, err);
    if (!test) {
        return kCliFileError;
    }
    const std::optional<Verdict> verdict = plan ? Judge(*plan, test->working) : std::nullopt;
    status = WriteReport(pdf, test->working, test->mark, verdict ? &*verdict : nullptr, out, err);
    return status == kCliOk && verdict && !verdict->pass ? kCliVerdictFail : status;
}

int Decode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    ArgumentParser parser;
    int status = kCliOk;
    const auto path = OneFile(args, parser, "decode takes one file", out, err, &status);
    if (!path) {
        return status;
    }
    std::ifstream file(*path, std::ios::binary);
    if (!file) {
        err << "zx840-cli: cannot open " << *path << ": " << std::strerror(errno) << "\n";
        return kCliFileError;
    }
    // Like the read on the line: up to one reply's worth into a cleared buffer.
    ExchangeResult exchange;
    file.read(reinterpret_cast<char*>(exchange.reply.data()), exchange.reply.size());
    exchange.received = static_cast<std::size_t>(file.gcount());
    if (file.bad()) {
        err << "zx840-cli: cannot read " << *path << "\n";
        return kCliFileError;
    }
    if (!IsReplyAccepted(exchange.reply, exchange.received)) {
        exchange.failure = AcquireFailure::BadReply;
        return ReportFailure(err, exchange, *path, *path);
    }
    const HarmonicTable table;
    WorkingRecord working;
    ApplyReply(exchange.reply, table, working);
    out << WorkingRecordJson(working) << "\n";
    return kCliOk;
}

}  // namespace

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliContext& context) {
    if (args.empty()) {
        return Usage(err, "", "no command given");
    }
    const std::string& command = args[0];
    if (command == "help") {
        out << CliHelp();
        return kCliOk;
    }
    if (command.size() > 1 && command[0] == '-') {
        // Options before any command: only help and version.
        ArgumentParser parser;
        parser.Switch("-V,--version");
        switch (parser.Parse(args)) {
            case ArgumentParser::Outcome::Help:
                out << CliHelp();
                return kCliOk;
            case ArgumentParser::Outcome::Mistake:
                return Usage(err, "", parser.Problem());
            case ArgumentParser::Outcome::Parsed:
                break;
        }
        if (!parser.Given("--version")) {
            return Usage(err, "", "no command given");
        }
        out << "zx840-cli " << kVersionText << "\n";
        return kCliOk;
    }
    if (command == "acquire") {
        return AcquireCommand(args, out, err);
    }
    if (command == "ports") {
        return PortsCommand(args, out, err);
    }
    if (command == "check") {
        return CheckCommand(args, out, err);
    }
    if (command == "export") {
        return ExportCommand(args, out, err, context);
    }
    if (command == "history" || command == "stats" || command == "sync" || command == "import") {
        return StoreCommand(args, out, err, context);
    }
    if (command == "serve") {
        return Serve(args, out, err);
    }
    if (command == "show") {
        return Show(args, out, err);
    }
    if (command == "report") {
        return Report(args, out, err);
    }
    if (command == "decode") {
        return Decode(args, out, err);
    }
    std::string problem = "unknown command \"";
    problem += command;
    problem += '"';
    return Usage(err, "", problem);
}

}  // namespace zx840
