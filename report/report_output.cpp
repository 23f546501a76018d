#include "report/report_output.h"

#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <cstdio>

#include "draw/painter_replay.h"
#include "report/report_page.h"

namespace zx840 {

void DrawReport(QPainter& painter, QPaintDevice& device, const MeasurementRecord& record,
                const ConductionAngles& angles, const ProductMark& mark) {
    const int width = device.width();
    const int height = device.height();
    // The line height and character width come from the heading font as the
    // device itself measures it, so a preview lays out like the paper.
    const ReportFonts fonts = ReportFontsFor(width, height);
    QFont heading(QString::fromLatin1(kReportFontFamily));
    heading.setStyleHint(QFont::TypeWriter);
    heading.setPixelSize(std::max(1, fonts.heading.height));
    heading.setWeight(static_cast<QFont::Weight>(fonts.heading.weight));
    const QFontMetrics metrics(heading, &device);
    const FontMetrics measured{metrics.height(), metrics.leading(), metrics.averageCharWidth()};
    QFont base(heading);
    Replay(painter, ReportPage(record, angles, mark, width, height, measured),
           {base, {0, 0}, true});
}

bool WriteReportPdf(const std::string& path, const MeasurementRecord& record,
                    const ConductionAngles& angles, const ProductMark& mark, std::string* error) {
    // Written beside the target and renamed over it once complete.
    const QString target = QString::fromStdString(path);
    const QString partial = target + QStringLiteral(".part");
    {
        QPdfWriter writer(partial);
        writer.setPageSize(QPageSize(QPageSize::A4));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setResolution(600);
        writer.setTitle(QString::fromLatin1(kReportTitle));
        writer.setCreator(QStringLiteral("ZX840 DIGITAL POWER METER"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            *error = "cannot write " + path;
            QFile::remove(partial);
            return false;
        }
        DrawReport(painter, writer, record, angles, mark);
        painter.end();
    }
    if (std::rename(QFile::encodeName(partial).constData(),
                    QFile::encodeName(target).constData()) != 0) {
        *error = "cannot write " + path;
        QFile::remove(partial);
        return false;
    }
    return true;
}

}  // namespace zx840
