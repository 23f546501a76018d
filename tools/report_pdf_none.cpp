// The report writer of a build without the Qt GUI library.
#include "tools/report_pdf.h"

namespace zx840 {

struct ReportPdfWriter::Application {};

ReportPdfWriter::ReportPdfWriter() = default;
ReportPdfWriter::~ReportPdfWriter() = default;

bool ReportPdfWriter::Available() {
    return false;
}

bool ReportPdfWriter::Write(const std::string&, const WorkingRecord&, const ProductMark&,
                            std::string* error, const Verdict*) {
    *error = "this build writes no PDF reports (built without the GUI)";
    return false;
}

bool ReportPdfWriter::Make(std::string&, const WorkingRecord&, const ProductMark&,
                           std::string* error, const Verdict*) {
    *error = "this build writes no PDF reports (built without the GUI)";
    return false;
}

void ReportPdfWriter::StartApplication() {}

}  // namespace zx840
