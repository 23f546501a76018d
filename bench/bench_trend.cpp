// A run in view: the cost of taking in one measurement (statistics and the
// bounded trend) and of drawing the strip chart, and the trend's memory,
// which stays the same however long the run.
#include <benchmark/benchmark.h>

#include <cmath>

#include "session/run_trend.h"
#include "view/trend_plot.h"

namespace zx840 {
namespace {

TrendPoint PointAt(std::int64_t i) {
    TrendPoint point;
    for (std::size_t r = 0; r < kPlanReadings; ++r) {
        point.values[r] = 100.0 + std::sin(static_cast<double>(i) * 0.01 + static_cast<double>(r));
    }
    point.seconds = static_cast<double>(i) * 1.2;
    point.pass = i % 1000 != 999;
    return point;
}

// A run of state.range(0) measurements; "bytes" is what the trend holds at
// its end, the same for a thousand points as for ten million.
void BM_RunOfPoints(benchmark::State& state) {
    const std::int64_t points = state.range(0);
    std::size_t bytes = 0;
    std::size_t buckets = 0;
    for (auto _ : state) {
        TrendSeries series;
        RunSummary summary;
        for (std::int64_t i = 0; i < points; ++i) {
            const TrendPoint point = PointAt(i);
            series.Add(point);
            summary.Add(point);
        }
        bytes = sizeof series + series.Buckets().capacity() * sizeof(TrendBucket) + sizeof summary;
        buckets = series.Buckets().size();
        benchmark::DoNotOptimize(summary.energyWh);
    }
    state.counters["bytes"] = static_cast<double>(bytes);
    state.counters["buckets"] = static_cast<double>(buckets);
    state.counters["per_point"] = benchmark::Counter(
        static_cast<double>(points),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RunOfPoints)->Arg(1000)->Arg(100000)->Arg(10000000)->Unit(benchmark::kMillisecond);

// The chart of the four default readings over a full trend, as the panel
// draws it after each measurement.
void BM_TrendChartFull(benchmark::State& state) {
    TrendSeries series;
    for (std::int64_t i = 0; i < 100000; ++i) {
        series.Add(PointAt(i));
    }
    TestPlan plan;
    plan.readings[static_cast<std::size_t>(PlanReading::Power)] = Limit{99.5, 100.5};
    std::size_t ops = 0;
    for (auto _ : state) {
        const DrawList chart = TrendChart(series, kDefaultTrendReadings, &plan, 800, 400);
        ops = chart.size();
        benchmark::DoNotOptimize(chart);
    }
    state.counters["ops"] = static_cast<double>(ops);
}
BENCHMARK(BM_TrendChartFull)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
