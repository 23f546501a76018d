// A million kept results written out: `zx840-cli history` as JSON, CSV and
// with the arrays, and the History window's CSV export of every row. Rows
// go from the store to the output one page at a time. Target: a peak
// memory growth under 50 MB, whatever the output.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "bench_data.h"
#include "store/history_export.h"
#include "tools/cli.h"

namespace zx840 {
namespace {

constexpr long kPeakTargetKb = 50 * 1024;

void Report(benchmark::State& state, const bench::PeakMemory& peak) {
    state.counters["peak_growth_kB"] = static_cast<double>(peak.GrowthKb());
    state.counters["peak_rss_kB"] = static_cast<double>(peak.peakKb);
    if (peak.peakKb < 0 || peak.GrowthKb() > kPeakTargetKb) {
        state.SkipWithError("the peak memory grew by more than 50 MB");
    }
}

// Arg 0: JSON, 1: CSV, 2: JSON with the spectra and waveforms.
void BM_HistoryCommandAMillion(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    if (url.empty()) {
        return;
    }
    std::vector<std::string> args = {"history", "--db", url};
    if (state.range(0) == 1) {
        args.push_back("--csv");
    } else if (state.range(0) == 2) {
        args.push_back("--full");
    }
    bool ok = true;
    bench::PeakMemory peak;
    for (auto _ : state) {
        peak = bench::MeasurePeak([&] {
            std::ofstream out("/dev/null");
            std::ostringstream err;
            if (RunCli(args, out, err) != kCliOk) {
                _exit(1);
            }
        });
        ok = ok && peak.peakKb >= 0;
    }
    if (!ok) {
        state.SkipWithError("history failed");
        return;
    }
    Report(state, peak);
}
BENCHMARK(BM_HistoryCommandAMillion)
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

void BM_HistoryWindowCsvExportAMillion(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    if (url.empty()) {
        return;
    }
    const std::string path = (bench::DataFolder() / "history-export.csv").string();
    bench::PeakMemory peak;
    for (auto _ : state) {
        peak = bench::MeasurePeak([&] {
            StoreStatus status;
            auto store = ResultsStore::Open(*ParseStoreUrl(url).url, &status);
            if (!store) {
                _exit(1);
            }
            HistoryPages pages(*store, {});
            pages.LearnKeys();
            const HistoryExport outcome = ExportHistoryCsv(pages, {{0, bench::kBigStore - 1}}, path,
                                                           [](std::int64_t) { return true; });
            if (!outcome.ok() || outcome.done != bench::kBigStore) {
                _exit(1);
            }
        });
    }
    std::filesystem::remove(path);
    Report(state, peak);
}
BENCHMARK(BM_HistoryWindowCsvExportAMillion)
    ->Iterations(1)
    ->Unit(benchmark::kSecond)
    ->UseRealTime();

}  // namespace
}  // namespace zx840
