// Printing the report: with the print dialog, straight to a printer, or in
// the preview window. Always exactly one page.
#pragma once

#include <QString>

#include "record/measurement_record.h"
#include "record/product_mark.h"

class QPrinter;
class QWidget;

namespace zx840 {

inline constexpr char kCouldNotStartPrintJob[] = "Could not start print job.";

struct ReportData {
    const MeasurementRecord& record;
    const ConductionAngles& angles;
    const ProductMark& mark;
};

enum class PrintResult {
    Printed,
    Cancelled,  // the dialog was cancelled, or its page range leaves out page 1
    Failed,     // the job could not start
};

// Prints one page on `printer` as it is set up.
PrintResult PrintReport(QPrinter& printer, const ReportData& data);

// The print dialog, then the page.
PrintResult PrintWithDialog(QPrinter& printer, const ReportData& data, QWidget* parent);

// The page on the default printer, or on the printer named, without a
// dialog. Failed when there is no such printer.
PrintResult PrintDirect(QPrinter& printer, const QString& printerName, const ReportData& data);

// The preview window; `pages` (1 or 2) is how many pages it shows side by
// side, updated to what the operator left it at.
void PreviewReport(QPrinter& printer, const ReportData& data, QWidget* parent, int& pages);

}  // namespace zx840
