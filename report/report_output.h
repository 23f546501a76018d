// The report on real devices: a printer, a PDF file, or any paint device.
#pragma once

#include <string>

#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

class QPainter;
class QPaintDevice;

namespace zx840 {

// Draws the report into the whole of `device` (its printable area) with
// `painter`, which is active on it.
// With a verdict, the page shows its line (see ReportPage).
void DrawReport(QPainter& painter, QPaintDevice& device, const MeasurementRecord& record,
                const ConductionAngles& angles, const ProductMark& mark,
                const Verdict* verdict = nullptr);

// The report as a one-page A4 PDF document in memory, into `document`,
// drawn into the printable area of a typical laser printer (4.2 mm margins).
// Needs a QGuiApplication. False with `error` set when it cannot be made.
bool MakeReportPdf(std::string& document, const MeasurementRecord& record,
                   const ConductionAngles& angles, const ProductMark& mark, std::string* error,
                   const Verdict* verdict = nullptr);

// Writes the report as a one-page A4 PDF. Needs a QGuiApplication.
bool WriteReportPdf(const std::string& path, const MeasurementRecord& record,
                    const ConductionAngles& angles, const ProductMark& mark, std::string* error,
                    const Verdict* verdict = nullptr);

}  // namespace zx840
