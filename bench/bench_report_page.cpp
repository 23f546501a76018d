// Cost of computing the printed report page: for an ordinary test, and for
// one whose product texts are enormous (a test file may hold texts of any
// length; only what can show on the page is kept).
#include <benchmark/benchmark.h>

#include <string>

#include "report/report_page.h"

namespace zx840 {
namespace {

// A4 at 600 dpi with the metrics of the report's Courier fonts there.
constexpr int kWidth = 4958;
constexpr int kHeight = 7017;
constexpr ReportMetrics kMetrics{{110, 0, 58, 81}, {84, 0, 44, 62}};

void BM_ReportPage(benchmark::State& state) {
    const auto length = static_cast<std::size_t>(state.range(0));
    ProductMark mark;
    mark.Manufacturer = std::string(length, 'M');
    mark.Type = std::string(length, 'T');
    mark.Operator = std::string(length, 'O');
    MeasurementRecord record;
    for (std::size_t k = 0; k < record.USpec.size(); ++k) {
        record.USpec[k] = 1000.0f / static_cast<float>(k + 1);
        record.ISpec[k] = 500.0f / static_cast<float>(k + 1);
    }
    for (auto _ : state) {
        DrawList ops = ReportPage(record, ConductionAngles{}, mark, kWidth, kHeight, kMetrics);
        benchmark::DoNotOptimize(ops);
    }
}
BENCHMARK(BM_ReportPage)->Arg(12)->Arg(60'000'000)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
