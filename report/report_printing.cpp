#include "report/report_printing.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "report/report_output.h"

namespace zx840 {

PrintResult PrintReport(QPrinter& printer, const ReportData& data) {
    QPainter painter;
    if (!printer.isValid() || !painter.begin(&printer)) {
        return PrintResult::Failed;
    }
    DrawReport(painter, printer, data.record, data.angles, data.mark, data.verdict);
    return painter.end() ? PrintResult::Printed : PrintResult::Failed;
}

PrintResult PrintDirect(QPrinter& printer, const QString& printerName, const ReportData& data) {
    const QPrinterInfo info = printerName.isEmpty() ? QPrinterInfo::defaultPrinter()
                                                    : QPrinterInfo::printerInfo(printerName);
    if (info.isNull()) {
        return PrintResult::Failed;
    }
    printer.setPrinterName(info.printerName());
    printer.setOutputFormat(QPrinter::NativeFormat);
    printer.setPrintRange(QPrinter::AllPages);
    return PrintReport(printer, data);
}

}  // namespace zx840
