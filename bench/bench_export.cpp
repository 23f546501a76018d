// zx840-cli export over batches of test files: how many files a second, and
// the peak memory of a whole batch, which must not grow with its size.
// Most of a batch's time is the file system's: creating and renaming files.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "analysis/displayed_record.h"
#include "bench_data.h"
#include "meter/acquisition.h"
#include "meter/sim/sim_load.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
#include "tools/cli.h"
#include "tools/record_csv.h"

namespace zx840 {
namespace {

namespace fs = std::filesystem;

// The inputs and outputs of every batch, removed when the program ends.
class Workspace {
  public:
    Workspace()
        : root_(fs::temp_directory_path() / ("zx840-bench-export-" + std::to_string(getpid()))) {}
    ~Workspace() {
        std::error_code ignored;
        fs::remove_all(root_, ignored);
    }
    Workspace(const Workspace&) = delete;
    Workspace& operator=(const Workspace&) = delete;

    // A directory of `count` test files, made on first use: loads of all
    // three kinds, each with its own number.
    fs::path Inputs(int count) const {
        const fs::path directory = root_ / ("in-" + std::to_string(count));
        if (fs::exists(directory)) {
            return directory;
        }
        fs::create_directories(directory);
        ProductMark mark;
        mark.Type = "PSU 12V";
        mark.Operator = "Line 3";
        mark.Testday = "26-12-08";
        const HarmonicTable table;
        for (int n = 0; n < count; ++n) {
            LoadSettings load;
            load.kind = static_cast<LoadKind>(n % 3);
            load.loadAmps = 0.5 + (n % 17) * 0.1;
            WorkingRecord working;
            ApplyReply(*EncodeReply(SimulateMeasurement(load)), table, working);
            mark.Number = n + 1;
            const auto bytes = SerializeTest(mark, working.Record);
            std::ofstream(directory / ("PSU_" + std::to_string(n + 1) + ".ZX8"), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
        }
        return directory;
    }
    fs::path Outputs(int count) const { return root_ / ("csv-" + std::to_string(count)); }

  private:
    fs::path root_;
};

const Workspace g_workspace;

int Export(const fs::path& inputs, const fs::path& outputs) {
    std::ostringstream out;
    std::ostringstream err;
    return RunCli({"export", inputs.string(), "--csv", outputs.string()}, out, err);
}

void BM_ExportCsv(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const fs::path inputs = g_workspace.Inputs(count);
    const fs::path outputs = g_workspace.Outputs(count);
    for (auto _ : state) {
        // Each batch into an empty directory, as a day's tests are exported.
        state.PauseTiming();
        fs::remove_all(outputs);
        state.ResumeTiming();
        if (Export(inputs, outputs) != kCliOk) {
            state.SkipWithError("export failed");
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * count);
    state.counters["files_per_s"] =
        benchmark::Counter(count, benchmark::Counter::kIsIterationInvariantRate);
    // The peak of one more batch, which finds the files of the last one and
    // replaces them.
    const bench::PeakMemory peak = bench::MeasurePeak([&] { Export(inputs, outputs); });
    state.counters["rss_before_kB"] = static_cast<double>(peak.beforeKb);
    state.counters["peak_rss_kB"] = static_cast<double>(peak.peakKb);
    state.counters["ru_maxrss_kB"] = static_cast<double>(peak.maxRssKb);
    state.counters["peak_growth_kB"] = static_cast<double>(peak.peakKb - peak.beforeKb);
}
BENCHMARK(BM_ExportCsv)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->MinTime(2.0);

// The program's own share of a file, without the file system: parse the
// test, derive the angles, build the CSV text.
void BM_TestToCsv(benchmark::State& state) {
    const fs::path inputs = g_workspace.Inputs(1000);
    std::vector<std::uint8_t> bytes;
    if (!ReadWholeFile((inputs / "PSU_1.ZX8").string(), &bytes)) {
        state.SkipWithError("no test file");
        return;
    }
    std::string csv;
    for (auto _ : state) {
        const auto test = ParseTest(bytes);
        const WorkingRecord working = DisplayedRecord(test->Record);
        csv.clear();
        AppendTestCsv(csv, inputs.string(), test->Mark, working);
        benchmark::DoNotOptimize(csv.data());
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(state.iterations() * static_cast<std::int64_t>(csv.size()));
}
BENCHMARK(BM_TestToCsv)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
