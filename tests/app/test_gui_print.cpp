#include <gtest/gtest.h>

#include <QApplication>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"
#include "meter/acquisition.h"
#include "meter/sim/sim_load.h"
#include "report/report_output.h"
#include "report/report_printing.h"

namespace zx840 {
namespace {

struct PrintedTest {
    WorkingRecord working;
    ProductMark mark;
};

PrintedTest RectifierTest() {
    PrintedTest test;
    LoadSettings load;
    load.kind = LoadKind::Rectifier;
    const HarmonicTable table;
    ApplyReply(*EncodeReply(SimulateMeasurement(load)), table, test.working);
    test.mark.Manufacturer = "Acme";
    test.mark.Type = "PSU-12";
    test.mark.Number = 42;
    test.mark.Inspector = "Never printed";
    test.mark.Testday = "26-12-08";
    return test;
}

QString PdfText(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdftotext"),
                  {QStringLiteral("-layout"), path, QStringLiteral("-")});
    EXPECT_TRUE(process.waitForFinished(30000));
    return QString::fromUtf8(process.readAllStandardOutput());
}

int PdfPages(const QString& path) {
    QProcess process;
    process.start(QStringLiteral("pdfinfo"), {path});
    EXPECT_TRUE(process.waitForFinished(30000));
    for (const QString& line : QString::fromUtf8(process.readAllStandardOutput()).split('\n')) {
        if (line.startsWith(QStringLiteral("Pages:"))) {
            return line.mid(6).trimmed().toInt();
        }
    }
    return -1;
}

TEST(ReportOutput, OnePagePdfWithTheTestsTexts) {
    const PrintedTest test = RectifierTest();
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    std::string error;
    ASSERT_TRUE(WriteReportPdf(pdf.toStdString(), test.working.Record, test.working.Angles,
                               test.mark, &error))
        << error;
    EXPECT_EQ(PdfPages(pdf), 1);
    const QString text = PdfText(pdf);
    EXPECT_TRUE(text.contains(QStringLiteral("ZX840 DIGITAL POWER METER TEST REPORT")))
        << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Manufacturer : Acme")));
    EXPECT_TRUE(text.contains(QStringLiteral("Number : 42")));
    EXPECT_TRUE(text.contains(QStringLiteral("Urms = 230.0 V")) ||
                text.contains(QStringLiteral("Urms  = 230.0 V")));
    EXPECT_FALSE(text.contains(QStringLiteral("Never printed")));
    // Every row of the harmonic table lies inside the page, down to order
    // 50 at the bottom of the printable area: text extraction finds each
    // order with its two percentages at the end of a line.
    for (int order = 2; order <= 50; ++order) {
        const QRegularExpression row(
            QStringLiteral("(^|\\s)%1\\s+\\d+\\.\\d\\s+\\d+\\.\\d\\s*$").arg(order),
            QRegularExpression::MultilineOption);
        EXPECT_TRUE(row.match(text).hasMatch()) << "no row " << order << " in\n"
                                                << text.toStdString();
    }
}

TEST(ReportOutput, PrinterPathDrawsOnePageAndAMissingPrinterCannotStart) {
    const PrintedTest test = RectifierTest();
    QTemporaryDir dir;
    QPrinter printer(QPrinter::HighResolution);
    printer.setOutputFormat(QPrinter::PdfFormat);
    const QString pdf = dir.filePath(QStringLiteral("printed.pdf"));
    printer.setOutputFileName(pdf);
    EXPECT_EQ(PrintReport(printer, {test.working.Record, test.working.Angles, test.mark}),
              PrintResult::Printed);
    EXPECT_EQ(PdfPages(pdf), 1);
    EXPECT_TRUE(PdfText(pdf).contains(QStringLiteral("Power Parameter")));

    // No such printer: the job cannot start.
    QPrinter other;
    EXPECT_EQ(PrintDirect(other, QStringLiteral("zx840-no-such-printer"),
                          {test.working.Record, test.working.Angles, test.mark}),
              PrintResult::Failed);
}

}  // namespace
}  // namespace zx840

#include <QPrintPreviewDialog>
#include <QPrintPreviewWidget>
#include <QSettings>

#include "app/zx840_app.h"
#include "commands/command_ids.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

// Shows the preview through its command, leaves it in `mode`, closes it.
void PreviewAndLeaveIn(CZX840ENApp& app, QPrintPreviewWidget::ViewMode mode,
                       QPrintPreviewWidget::ViewMode* shown) {
    QTimer::singleShot(100, [&] {
        auto* dialog = qobject_cast<QPrintPreviewDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* widget = dialog->findChild<QPrintPreviewWidget*>();
        ASSERT_NE(widget, nullptr);
        *shown = widget->viewMode();
        EXPECT_EQ(widget->pageCount(), 1);
        widget->setViewMode(mode);
        dialog->reject();
    });
    app.Router().Dispatch(kCmdFilePrintPreview);
}

TEST(PrintPreview, ShowsOnePageAndRemembersOneOrTwoPagesPerUser) {
    QTemporaryDir settings;
    QSettings().remove(QStringLiteral("Settings/PreviewPages"));
    QPrintPreviewWidget::ViewMode shown{};
    {
        CZX840ENApp app(settings.path());
        ASSERT_TRUE(app.InitInstance({}));
        PreviewAndLeaveIn(app, QPrintPreviewWidget::FacingPagesView, &shown);
        EXPECT_EQ(shown, QPrintPreviewWidget::SinglePageView);
    }
    EXPECT_EQ(QSettings().value(QStringLiteral("Settings/PreviewPages")).toInt(), 2);
    {
        CZX840ENApp app(settings.path());
        ASSERT_TRUE(app.InitInstance({}));
        PreviewAndLeaveIn(app, QPrintPreviewWidget::SinglePageView, &shown);
        EXPECT_EQ(shown, QPrintPreviewWidget::FacingPagesView);
    }
    EXPECT_EQ(QSettings().value(QStringLiteral("Settings/PreviewPages")).toInt(), 1);
}

}  // namespace
}  // namespace zx840
