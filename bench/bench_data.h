// The data the store benchmarks share: a sample result and the store of a
// million results, made once and kept in ZX840_BENCH_DATA (default:
// bench-data in the build folder).
#pragma once

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <random>
#include <string>

#include "store/results_store.h"

namespace zx840::bench {

inline constexpr std::int64_t kBigStore = 1000000;
inline constexpr int kTypes = 10;  // 100,000 results of each type
inline constexpr int kNumbers = 100000;

std::filesystem::path DataFolder();
// A rectifier's measurement with a little spread.
Result SampleResult(std::mt19937& random);
// The store named by `text`; nothing after telling `state` why not.
std::unique_ptr<ResultsStore> Open(const std::string& text, benchmark::State& state);
// The URL of the store of a million results, made when it is not there yet;
// empty after telling `state` why it cannot be.
std::string BigStore(benchmark::State& state);

struct PeakMemory {
    long beforeKb = -1;  // resident before the work
    long peakKb = -1;    // the high-water mark during the work (VmHWM)
    long maxRssKb = -1;  // getrusage's ru_maxrss, the same mark as the kernel keeps it
    long GrowthKb() const { return peakKb - beforeKb; }
};

// Runs `work` in a child process whose high-water mark starts afresh, so
// the figure belongs to the work alone and not to whatever ran before.
PeakMemory MeasurePeak(const std::function<void()>& work);

}  // namespace zx840::bench
