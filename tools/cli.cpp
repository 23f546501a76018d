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

int Show(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        return Usage(err, "show takes one test file");
    }
    const auto test = OpenTest(args[1], err);
    if (!test) {
        return kCliFileError;
    }
    out << WorkingRecordJson(test->working, true)
        << ",\"ProductMark\":" << ProductMarkJson(test->mark) << "}\n";
    return kCliOk;
}

// The printed report of a test file as a PDF, without any printer.
int Report(const std::vector<std::string>& args, std::ostream& err) {
    if (args.size() != 4 || args[2] != "--pdf") {
        return Usage(err, "report takes a test file, --pdf and the PDF to write");
    }
    if (!ReportPdfWriter::Available()) {
        err << "zx840-cli: this build has no PDF support\n";
        return kCliFileError;
    }
    const auto test = OpenTest(args[1], err);
    if (!test) {
        return kCliFileError;
    }
    ReportPdfWriter writer;
    std::string error;
    if (!writer.Write(args[3], test->working, test->mark, &error)) {
        err << "zx840-cli: " << error << "\n";
        return kCliFileError;
    }
    return kCliOk;
}

int Decode(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    if (args.size() != 2) {
        return Usage(err, "decode takes one file");
    }
    std::ifstream file(args[1], std::ios::binary);
    if (!file) {
        err << "zx840-cli: cannot open " << args[1] << ": " << std::strerror(errno) << "\n";
        return kCliFileError;
    }
    // Like the read on the line: up to one reply's worth into a cleared buffer.
    ExchangeResult exchange;
    file.read(reinterpret_cast<char*>(exchange.reply.data()), exchange.reply.size());
    exchange.received = static_cast<std::size_t>(file.gcount());
    if (file.bad()) {
        err << "zx840-cli: cannot read " << args[1] << "\n";
        return kCliFileError;
    }
    if (!IsReplyAccepted(exchange.reply, exchange.received)) {
        exchange.failure = AcquireFailure::BadReply;
        return ReportFailure(err, exchange, args[1], args[1]);
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
        return Usage(err, "no command given");
    }
    const std::string& command = args[0];
    if (command == "--help" || command == "-h" || command == "help") {
        out << CliHelp();
        return kCliOk;
    }
    if (command == "--version" || command == "-V") {
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
    if (command == "show") {
        return Show(args, out, err);
    }
    if (command == "report") {
        return Report(args, err);
    }
    if (command == "decode") {
        return Decode(args, out, err);
    }
    return Usage(err, "unknown command \"" + command + "\"");
}

}  // namespace zx840
