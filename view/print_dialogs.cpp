#include "view/print_dialogs.h"

#include <QPainter>
#include <QPrintDialog>
#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QPrinter>

#include "report/report_output.h"

namespace zx840 {

PrintResult PrintWithDialog(QPrinter& printer, const ReportData& data, QWidget* parent) {
    QPrintDialog dialog(&printer, parent);
    dialog.setMinMax(1, 9999);  // the report has no page count of its own
    dialog.setOption(QAbstractPrintDialog::PrintSelection, false);
    if (dialog.exec() != QDialog::Accepted) {
        return PrintResult::Cancelled;
    }
    // The report is page 1: a range that leaves it out prints nothing.
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 1) {
        return PrintResult::Cancelled;
    }
    return PrintReport(printer, data);
}

void PreviewReport(QPrinter& printer, const ReportData& data, QWidget* parent, int& pages) {
    QPrintPreviewDialog dialog(&printer, parent);
    QObject::connect(&dialog, &QPrintPreviewDialog::paintRequested, [&data](QPrinter* target) {
        QPainter painter(target);
        DrawReport(painter, *target, data.record, data.angles, data.mark, data.verdict);
    });
    auto* widget = dialog.findChild<QPrintPreviewWidget*>();
    if (widget != nullptr) {
        widget->setViewMode(pages == 2 ? QPrintPreviewWidget::FacingPagesView
                                       : QPrintPreviewWidget::SinglePageView);
    }
    dialog.exec();
    if (widget != nullptr) {
        pages = widget->viewMode() == QPrintPreviewWidget::SinglePageView ? 1 : 2;
    }
}

}  // namespace zx840
