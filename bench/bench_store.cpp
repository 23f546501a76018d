// The results store: storing one result (SQLite; PostgreSQL on loopback
// when ZX840_BENCH_PG_URL names a database), `history --number N` on a store
// of 1,000,000 results, `stats` over 100,000 results, and importing 10,000
// test files. The large stores are made once and kept in ZX840_BENCH_DATA
// (default: bench-data in the build folder).
#include <benchmark/benchmark.h>

#include <QUuid>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "bench_data.h"
#include "record/file_io.h"
#include "record/test_file.h"
#include "store/results_store.h"
#include "tools/cli.h"

namespace zx840 {
namespace {

using bench::BigStore;
using bench::DataFolder;
using bench::kBigStore;
using bench::kNumbers;
using bench::kTypes;
using bench::Open;
using bench::SampleResult;

constexpr int kImportFiles = 10000;

void StoreOne(benchmark::State& state, const std::string& url) {
    auto store = Open(url, state);
    if (!store) {
        return;
    }
    std::mt19937 random(1);
    Result result = SampleResult(random);
    result.mark.Type = "ONE";
    for (auto _ : state) {
        result.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        ++result.mark.Number;
        if (const StoreStatus status = store->Write(result); !status) {
            state.SkipWithError(status.message.c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_StoreOneResultSqlite(benchmark::State& state) {
    const std::filesystem::path file = DataFolder() / "one.sqlite";
    for (const char* suffix : {"", "-wal", "-shm"}) {
        std::filesystem::remove(file.string() + suffix);
    }
    StoreOne(state, "sqlite:" + file.string());
}
BENCHMARK(BM_StoreOneResultSqlite)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_StoreOneResultPostgresql(benchmark::State& state) {
    StoreOne(state, std::getenv("ZX840_BENCH_PG_URL"));
}
// Only with a server to write to.
const bool kPostgresqlRegistered = [] {
    const char* url = std::getenv("ZX840_BENCH_PG_URL");
    if (url != nullptr && *url != '\0') {
        benchmark::RegisterBenchmark("BM_StoreOneResultPostgresql", BM_StoreOneResultPostgresql)
            ->Unit(benchmark::kMicrosecond)
            ->UseRealTime();
    }
    return true;
}();

void BM_HistoryNumberOfAMillion(benchmark::State& state) {
    const std::string url = BigStore(state);
    if (url.empty()) {
        return;
    }
    std::mt19937 random(7);
    std::uniform_int_distribution<int> number(1, kNumbers);
    std::size_t rows = 0;
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        const int status =
            RunCli({"history", "--db", url, "--number", std::to_string(number(random))}, out, err);
        if (status != kCliOk) {
            state.SkipWithError(err.str().c_str());
            break;
        }
        const std::string text = out.str();
        rows = static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n')) - 2;
    }
    state.counters["rows"] = static_cast<double>(rows);
}
BENCHMARK(BM_HistoryNumberOfAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_StatsOverAHundredThousand(benchmark::State& state) {
    const std::string url = BigStore(state);
    if (url.empty()) {
        return;
    }
    for (auto _ : state) {
        std::ostringstream out;
        std::ostringstream err;
        if (RunCli({"stats", "--db", url, "--type", "T3"}, out, err) != kCliOk) {
            state.SkipWithError(err.str().c_str());
            break;
        }
    }
    state.counters["results"] = kBigStore / kTypes;
}
BENCHMARK(BM_StatsOverAHundredThousand)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ImportTenThousandFiles(benchmark::State& state) {
    const std::filesystem::path files = DataFolder() / "import-files";
    if (!std::filesystem::exists(files / "done")) {
        std::filesystem::create_directories(files);
        std::mt19937 random(3);
        Result sample = SampleResult(random);
        for (int i = 0; i < kImportFiles; ++i) {
            sample.mark.Number = i;
            sample.working.Record.Urms += 0.001f;
            std::string name = std::string(1, 't');
            name += std::to_string(i);
            name += ".ZX8";
            if (!WriteFileAtomically((files / name).string(),
                                     SerializeTest(sample.mark, sample.working.Record))) {
                state.SkipWithError("cannot write the test files");
                return;
            }
        }
        WriteFileAtomically((files / "done").string(), std::string_view());
    }
    const std::filesystem::path store = DataFolder() / "import.sqlite";
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(store.string() + suffix);
        }
        state.ResumeTiming();
        std::ostringstream out;
        std::ostringstream err;
        if (RunCli({"import", files.string(), "--db", "sqlite:" + store.string()}, out, err) !=
            kCliOk) {
            state.SkipWithError(err.str().c_str());
            break;
        }
    }
    state.SetItemsProcessed(state.iterations() * kImportFiles);
}
BENCHMARK(BM_ImportTenThousandFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

}  // namespace
}  // namespace zx840
