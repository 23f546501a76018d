#include "report/report_printing.h"

#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include "report/print_service.h"
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

QString CouldNotStartPrintJobText(const QString& printerName) {
    PrinterLookup lookup;
    lookup.serverAddress = PrintServerAddress();
    lookup.serverAnswers = PrintServerAnswers(lookup.serverAddress);
    lookup.defaultPrinter = QPrinterInfo::defaultPrinterName();
    lookup.printerExists =
        !printerName.isEmpty() && !QPrinterInfo::printerInfo(printerName).isNull();
    return QString::fromLatin1(kCouldNotStartPrintJob) + QLatin1Char('\n') +
           PrintFailureReason(printerName, lookup);
}

}  // namespace zx840
