#include "report/report_output.h"

#include <QBuffer>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <string_view>

#include "draw/painter_replay.h"
#include "record/file_io.h"
#include "report/report_page.h"

namespace zx840 {
namespace {

// A PDF has no printer to take its printable area from: it gets that of a
// typical laser printer, so that the table's last row, which the page puts
// at the bottom of the printable area, lies inside the page and not on its
// edge, where text extraction and copying lose it.
constexpr double kPdfMarginMm = 4.2;

}  // namespace

void DrawReport(QPainter& painter, QPaintDevice& device, const MeasurementRecord& record,
                const ConductionAngles& angles, const ProductMark& mark, const Verdict* verdict) {
    const int width = device.width();
    const int height = device.height();
    // The line height and character width come from the heading font, and
    // the table's fit from the table font, as the device itself measures
    // them, so a preview lays out like the paper.
    const ReportFonts fonts = ReportFontsFor(width, height);
    const auto font = [](const SelectFont& slot) {
        QFont f(QString::fromLatin1(kReportFontFamily));
        f.setStyleHint(QFont::TypeWriter);
        f.setPixelSize(std::max(1, slot.height));
        f.setWeight(static_cast<QFont::Weight>(slot.weight));
        return f;
    };
    const auto measure = [&device](const QFont& f) {
        const QFontMetrics m(f, &device);
        return FontMetrics{m.height(), m.leading(), m.averageCharWidth(), m.ascent()};
    };
    const QFont heading = font(fonts.heading);
    const ReportMetrics measured{measure(heading), measure(font(fonts.table))};
    Replay(painter, ReportPage(record, angles, mark, width, height, measured, verdict),
           {heading, {0, 0}, true});
}

bool MakeReportPdf(std::string& document, const MeasurementRecord& record,
                   const ConductionAngles& angles, const ProductMark& mark, std::string* error,
                   const Verdict* verdict) {
    QByteArray bytes;
    {
        QBuffer buffer(&bytes);
        buffer.open(QIODevice::WriteOnly);
        QPdfWriter writer(&buffer);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(kPdfMarginMm, kPdfMarginMm, kPdfMarginMm, kPdfMarginMm),
                              QPageLayout::Millimeter);
        writer.setResolution(600);
        writer.setTitle(QString::fromLatin1(kReportTitle));
        writer.setCreator(QStringLiteral("ZX840 DIGITAL POWER METER"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            *error = "the PDF could not be started";
            return false;
        }
        DrawReport(painter, writer, record, angles, mark, verdict);
        if (!painter.end() || bytes.isEmpty()) {
            *error = "the PDF could not be completed";
            return false;
        }
    }
    document.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return true;
}

bool WriteReportPdf(const std::string& path, const MeasurementRecord& record,
                    const ConductionAngles& angles, const ProductMark& mark, std::string* error,
                    const Verdict* verdict) {
    // The whole document is made in memory first; only a complete one goes
    // to the file, which replaces any earlier report in one step.
    std::string document;
    std::string problem;
    if (!MakeReportPdf(document, record, angles, mark, &problem, verdict)) {
        *error = "cannot write " + path + ": " + problem;
        return false;
    }
    if (const FileStatus status = WriteFileAtomically(path, document); !status) {
        *error = "cannot write " + path + ": " + status.Describe();
        return false;
    }
    return true;
}

}  // namespace zx840
