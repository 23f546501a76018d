// PDF reports from the command line. The report needs the Qt GUI library
// and an application object; the writer creates that object only when the
// first report is written, on the "offscreen" platform unless
// QT_QPA_PLATFORM names another, so runs without --pdf-dir never start Qt.
#pragma once

#include <memory>
#include <string>

#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

class ReportPdfWriter {
  public:
    ReportPdfWriter();
    ~ReportPdfWriter();
    ReportPdfWriter(const ReportPdfWriter&) = delete;
    ReportPdfWriter& operator=(const ReportPdfWriter&) = delete;

    // Whether this build of the program can write reports at all.
    static bool Available();

    // Writes the one-page report of `working` to `path`; false with `error`
    // set when it cannot.
    // With a verdict the report carries its line.
    bool Write(const std::string& path, const WorkingRecord& working, const ProductMark& mark,
               std::string* error, const Verdict* verdict = nullptr);

    // The same report as a PDF document in memory, into `document`.
    bool Make(std::string& document, const WorkingRecord& working, const ProductMark& mark,
              std::string* error, const Verdict* verdict = nullptr);

    // The application object reports need, made now: for a program whose
    // own event loop runs on it (a server that writes reports on request).
    void StartApplication();

  private:

    struct Application;
    std::unique_ptr<Application> application_;
};

}  // namespace zx840
