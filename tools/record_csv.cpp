#include "tools/record_csv.h"

#include "record/derived_values.h"

namespace zx840 {
namespace {

constexpr const char* kMarkColumns[] = {"Manufacturer", "Type",     "Number",    "Temperature",
                                        "Humidity",     "Operator", "Inspector", "Testday"};
constexpr const char* kReadingNames[kReadingColumns] = {
    "Urms",  "Irms",  "PF",          "Freq",        "Power",      "Ucf",       "Icf",
    "Upeak", "Ipeak", "UthdPercent", "IthdPercent", "StartAngle", "PeakAngle", "EndAngle"};
constexpr const char* kTableColumns[] = {"Order",        "USpec",  "ISpec", "USpecPercent",
                                         "ISpecPercent", "Sample", "UWave", "IWave"};

constexpr int kMarkColumnCount = static_cast<int>(std::size(kMarkColumns));

void AppendTestCsvHeader(CsvRow& row) {
    row.Text("Source");
    AppendMarkHeader(row);
    AppendReadingsHeader(row);
    for (const char* name : kTableColumns) {
        row.Text(name);
    }
}

}  // namespace

void AppendMarkHeader(CsvRow& row) {
    for (const char* name : kMarkColumns) {
        row.Text(name);
    }
}

void AppendMark(CsvRow& row, const ProductMark& mark) {
    row.Text(mark.Manufacturer)
        .Text(mark.Type)
        .Int(mark.Number)
        .Text(mark.Temperature)
        .Text(mark.Humidity)
        .Text(mark.Operator)
        .Text(mark.Inspector)
        .Text(mark.Testday);
}

void AppendReadingsHeader(CsvRow& row) {
    for (const char* name : kReadingNames) {
        row.Text(name);
    }
}

void AppendReadings(CsvRow& row, const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    row.Float(r.Urms)
        .Float(r.Irms)
        .Float(r.PF)
        .Float(r.Freq)
        .Float(r.Power)
        .Float(r.Ucf)
        .Float(r.Icf)
        .Float(ToFloatSaturating(Upeak(r)))
        .Float(ToFloatSaturating(Ipeak(r)))
        .Float(PercentOfFundamentalAsFloat(r.Uthd, r.USpec[0]))
        .Float(PercentOfFundamentalAsFloat(r.Ithd, r.ISpec[0]))
        .Float(working.Angles.StartAngle)
        .Float(working.Angles.PeakAngle)
        .Float(working.Angles.EndAngle);
}

void AppendTestCsv(std::string& csv, const std::string& source, const ProductMark& mark,
                   const WorkingRecord& working) {
    {
        CsvRow header(csv);
        AppendTestCsvHeader(header);
        header.End();
    }
    const MeasurementRecord& r = working.Record;
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const auto i = static_cast<std::size_t>(n);
        CsvRow row(csv);
        if (n == 0) {
            row.Text(source);
            AppendMark(row, mark);
            AppendReadings(row, working);
        } else {
            row.Empty(1 + kMarkColumnCount + kReadingColumns);
        }
        if (n < kHarmonicOrders) {
            row.Int(n + 1)
                .Float(r.USpec[i])
                .Float(r.ISpec[i])
                .Float(PercentOfFundamentalAsFloat(r.USpec[i], r.USpec[0]))
                .Float(PercentOfFundamentalAsFloat(r.ISpec[i], r.ISpec[0]));
        } else {
            row.Empty(5);
        }
        row.Int(n).Int(r.UWave[i]).Int(r.IWave[i]);
        row.End();
    }
}

void AppendTestCsvPrefix(std::string& prefix, const std::string& source) {
    CsvRow header(prefix);
    AppendTestCsvHeader(header);
    header.End();
    CsvRow(prefix).Text(source).Empty();
}

}  // namespace zx840
