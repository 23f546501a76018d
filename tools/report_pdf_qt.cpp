// The report writer on Qt: a QGuiApplication of its own when none exists.
#include <QGuiApplication>
#include <clocale>
#include <cstdlib>

#include "report/report_output.h"
#include "report/runtime_folder.h"
#include "tools/report_pdf.h"

namespace zx840 {

struct ReportPdfWriter::Application {
    RuntimeFolder runtime;  // made before the application, removed after it
    // QGuiApplication keeps references to argc and argv for its lifetime.
    int argc = 1;
    char name[16] = "zx840-cli";
    char platformOption[16] = "-platform";
    char platform[16] = "offscreen";
    char* argv[4] = {name, platformOption, platform, nullptr};
    std::unique_ptr<QGuiApplication> app;
};

ReportPdfWriter::ReportPdfWriter() = default;

ReportPdfWriter::~ReportPdfWriter() = default;

bool ReportPdfWriter::Available() {
    return true;
}

void ReportPdfWriter::StartApplication() {
    if (QGuiApplication::instance() == nullptr) {
        application_ = std::make_unique<Application>();
        const char* chosen = std::getenv("QT_QPA_PLATFORM");
        application_->argc = chosen != nullptr && *chosen != '\0' ? 1 : 3;
        application_->app =
            std::make_unique<QGuiApplication>(application_->argc, application_->argv);
        // Qt takes the environment's locale for the C library; the rest of the
        // tool formats numbers without it, but keep the C functions in "C".
        std::setlocale(LC_NUMERIC, "C");
    }
}

bool ReportPdfWriter::Write(const std::string& path, const WorkingRecord& working,
                            const ProductMark& mark, std::string* error, const Verdict* verdict) {
    StartApplication();
    return WriteReportPdf(path, working.Record, working.Angles, mark, error, verdict);
}

bool ReportPdfWriter::Make(std::string& document, const WorkingRecord& working,
                           const ProductMark& mark, std::string* error, const Verdict* verdict) {
    StartApplication();
    return MakeReportPdf(document, working.Record, working.Angles, mark, error, verdict);
}

}  // namespace zx840
