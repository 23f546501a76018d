// The columns that the acquisition log and the exported tests share, and
// the exported test itself.
#pragma once

#include <string>

#include "record/csv.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

// Manufacturer, Type, Number, Temperature, Humidity, Operator, Inspector,
// Testday.
void AppendMarkHeader(CsvRow& row);
void AppendMark(CsvRow& row, const ProductMark& mark);

// Urms, Irms, PF, Freq, Power, Ucf, Icf (as the meter reported them),
// Upeak, Ipeak, UthdPercent, IthdPercent, StartAngle, PeakAngle, EndAngle.
inline constexpr int kReadingColumns = 14;
void AppendReadingsHeader(CsvRow& row);
void AppendReadings(CsvRow& row, const WorkingRecord& working);

// One test as one table of 256 rows under a single header: the source file,
// the product information and the readings in the first row; the harmonic
// table (Order, USpec, ISpec in counts, USpecPercent, ISpecPercent) in the
// first 50 rows; Sample, UWave, IWave in every row. Appended to `csv`.
void AppendTestCsv(std::string& csv, const std::string& source, const ProductMark& mark,
                   const WorkingRecord& working);

// How every exported test file begins up to its first data field: the header
// and the source as the first field, so a later export can tell whose file
// it is. Appended to `prefix`.
void AppendTestCsvPrefix(std::string& prefix, const std::string& source);

}  // namespace zx840
