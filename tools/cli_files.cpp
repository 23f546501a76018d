#include "tools/cli_files.h"

#include "tools/cli.h"
#include "tools/report_pdf.h"

namespace zx840 {

void ReportUnreadable(std::ostream& err, const std::string& path, std::string_view reason) {
    std::string text = "zx840-cli: ";
    text += path;
    text += ": ";
    text += reason;
    text += '\n';
    err << text;
}

std::string UnreadableReason(const TestFileRead& read) {
    return read.readStatus ? std::string(kUnexpectedFileFormat) : read.readStatus.Describe();
}

std::optional<TestFileContents> LoadTestFile(const std::string& path, std::ostream& err) {
    TestFileRead read = ReadTestFile(path);
    if (!read.contents) {
        ReportUnreadable(err, path, UnreadableReason(read));
    }
    return std::move(read.contents);
}

std::optional<TestPlan> LoadPlan(const std::string& path, std::ostream& err) {
    PlanRead read = ReadPlanFile(path);
    if (!read.plan) {
        err << "zx840-cli: " << read.error << "\n";
    }
    return std::move(read.plan);
}

bool IsStandardOutput(const std::string& path) {
    return path == "-";
}

int WriteReport(const std::string& path, const WorkingRecord& working, const ProductMark& mark,
                const Verdict* verdict, std::ostream& out, std::ostream& err) {
    ReportPdfWriter writer;
    std::string error;
    if (!IsStandardOutput(path)) {
        if (!writer.Write(path, working, mark, &error, verdict)) {
            err << "zx840-cli: " << error << "\n";
            return kCliFileError;
        }
        return kCliOk;
    }
    std::string document;
    if (!writer.Make(document, working, mark, &error, verdict)) {
        err << "zx840-cli: cannot make the report: " << error << "\n";
        return kCliFileError;
    }
    if (!out.write(document.data(), static_cast<std::streamsize>(document.size())).flush()) {
        err << "zx840-cli: cannot write the report to standard output\n";
        return kCliFileError;
    }
    return kCliOk;
}

}  // namespace zx840
