// Printing the report on a printer as it is set up, or straight to the
// default or a named printer. Always exactly one page. The dialogs that
// come before printing live with the window (view/print_dialogs.h).
#pragma once

#include <QString>

#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

class QPrinter;

namespace zx840 {

inline constexpr char kCouldNotStartPrintJob[] = "Could not start print job.";

struct ReportData {
    const MeasurementRecord& record;
    const ConductionAngles& angles;
    const ProductMark& mark;
    const Verdict* verdict = nullptr;  // while a test plan is active
};

enum class PrintResult {
    Printed,
    Cancelled,  // the dialog was cancelled, or its page range leaves out page 1
    Failed,     // the job could not start
};

// Prints one page on `printer` as it is set up.
PrintResult PrintReport(QPrinter& printer, const ReportData& data);

// The page on the default printer, or on the printer named, without a
// dialog. Failed when there is no such printer.
PrintResult PrintDirect(QPrinter& printer, const QString& printerName, const ReportData& data);

// What the operator reads when a job on `printerName` (the default printer
// when empty) could not start: kCouldNotStartPrintJob, then on a line of its
// own why, naming the queue.
QString CouldNotStartPrintJobText(const QString& printerName);

}  // namespace zx840
