// The print dialog and the preview window in front of the report's page.
#pragma once

#include "report/report_printing.h"

class QPrinter;
class QWidget;

namespace zx840 {

// The print dialog, then the page.
PrintResult PrintWithDialog(QPrinter& printer, const ReportData& data, QWidget* parent);

// The preview window; `pages` (1 or 2) is how many pages it shows side by
// side, updated to what the operator left it at.
void PreviewReport(QPrinter& printer, const ReportData& data, QWidget* parent, int& pages);

}  // namespace zx840
