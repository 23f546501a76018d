// The report on real devices: a printer, a PDF file, or any paint device.
#pragma once

#include <string>

#include "record/measurement_record.h"
#include "record/product_mark.h"

class QPainter;
class QPaintDevice;

namespace zx840 {

// Draws the report into the whole of `device` (its printable area) with
// `painter`, which is active on it.
void DrawReport(QPainter& painter, QPaintDevice& device, const MeasurementRecord& record,
                const ConductionAngles& angles, const ProductMark& mark);

// Writes the report as a one-page A4 PDF. Needs a QGuiApplication.
bool WriteReportPdf(const std::string& path, const MeasurementRecord& record,
                    const ConductionAngles& angles, const ProductMark& mark, std::string* error);

}  // namespace zx840
