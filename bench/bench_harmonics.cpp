// Cost of the harmonic analysis (direct evaluation against the table path)
// and of the conduction angles, on a measurement shaped like a rectifier load.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <random>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"
#include "analysis/power_quality.h"

namespace zx840 {
namespace {

// Sinusoidal voltage with some flat-topping, and a pulsed current drawn near
// the voltage peaks, both with a few counts of noise.
MeasurementRecord RealisticRecord() {
    constexpr double kPi = 3.14159265358979323846;
    std::mt19937 gen(50);
    std::normal_distribution<double> noise(0.0, 3.0);
    MeasurementRecord r;
    for (int n = 0; n < kSamplesPerPeriod; ++n) {
        const double phase = 2.0 * kPi * (n + 3) / kSamplesPerPeriod;
        const double u = 15000.0 * std::sin(phase) - 600.0 * std::sin(3.0 * phase) +
                         250.0 * std::sin(5.0 * phase + 0.4);
        const double pulse = std::pow(std::fabs(std::sin(phase)), 12.0);
        const double i = 9000.0 * pulse * (std::sin(phase) < 0 ? -1.0 : 1.0);
        const auto at = static_cast<std::size_t>(n);
        r.UWave[at] = static_cast<std::int32_t>(std::lround(u + noise(gen)));
        r.IWave[at] = static_cast<std::int32_t>(std::lround(i + noise(gen)));
    }
    return r;
}

void BM_ComputeHarmonicsDirect(benchmark::State& state) {
    MeasurementRecord r = RealisticRecord();
    for (auto _ : state) {
        ComputeHarmonicsDirect(r);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ComputeHarmonicsDirect);

void BM_ComputeHarmonicsTable(benchmark::State& state) {
    const HarmonicTable table;
    MeasurementRecord r = RealisticRecord();
    for (auto _ : state) {
        ComputeHarmonics(table, r);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
    }
}
BENCHMARK(BM_ComputeHarmonicsTable);

// Times both paths within the same iterations and reports how many times
// faster the table path is, as the counter "speedup".
void BM_HarmonicsSpeedup(benchmark::State& state) {
    using Clock = std::chrono::steady_clock;
    constexpr int kTableRuns = 32;  // the table path is too short to time alone
    const HarmonicTable table;
    MeasurementRecord r = RealisticRecord();
    Clock::duration direct{};
    Clock::duration fast{};
    for (auto _ : state) {
        const auto t0 = Clock::now();
        ComputeHarmonicsDirect(r);
        benchmark::DoNotOptimize(r);
        benchmark::ClobberMemory();
        const auto t1 = Clock::now();
        for (int run = 0; run < kTableRuns; ++run) {
            ComputeHarmonics(table, r);
            benchmark::DoNotOptimize(r);
            benchmark::ClobberMemory();
        }
        const auto t2 = Clock::now();
        direct += t1 - t0;
        fast += t2 - t1;
    }
    const double iterations = static_cast<double>(state.iterations());
    const double direct_us = std::chrono::duration<double, std::micro>(direct).count() / iterations;
    const double fast_us =
        std::chrono::duration<double, std::micro>(fast).count() / (iterations * kTableRuns);
    state.counters["direct_us"] = direct_us;
    state.counters["table_us"] = fast_us;
    state.counters["speedup"] = direct_us / fast_us;
}
BENCHMARK(BM_HarmonicsSpeedup)->Unit(benchmark::kMillisecond);

void BM_HarmonicTableBuild(benchmark::State& state) {
    for (auto _ : state) {
        HarmonicTable table;
        benchmark::DoNotOptimize(table.Cos(255));
    }
}
BENCHMARK(BM_HarmonicTableBuild);

void BM_ComputeConductionAngles(benchmark::State& state) {
    const MeasurementRecord r = RealisticRecord();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeConductionAngles(r));
    }
}
BENCHMARK(BM_ComputeConductionAngles);

// What every measurement's JSON costs beyond the record: the derived
// quantities and the meter's check against its samples.
void BM_DerivedQuantitiesAndMeterCheck(benchmark::State& state) {
    const MeasurementRecord r = RealisticRecord();
    for (auto _ : state) {
        benchmark::DoNotOptimize(ComputeDerived(r));
        benchmark::DoNotOptimize(CheckMeter(r));
    }
}
BENCHMARK(BM_DerivedQuantitiesAndMeterCheck)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
