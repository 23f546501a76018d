// The results store: storing one result (SQLite; PostgreSQL on loopback
// when ZX840_BENCH_PG_URL names a database), `history --number N` on a store
// of 1,000,000 results, `stats` over 100,000 results, and importing 10,000
// test files. The large stores are made once and kept in ZX840_BENCH_DATA
// (default: bench-data in the build folder).
#include <benchmark/benchmark.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QUuid>
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <sstream>

#include "bench_data.h"
#include "record/file_io.h"
#include "record/measurement_file.h"
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

// The store at `path` as schema 4 left it: the derived columns gone.
void TakeDerivedColumnsAway(const std::string& path) {
    {
        QSqlDatabase db = QSqlDatabase::addDatabase("QSQLITE", "schema4");
        db.setDatabaseName(QString::fromStdString(path));
        db.open();
        QSqlQuery query(db);
        for (const char* column : {"displacement_pf", "phase_angle", "distortion_factor", "ithd_r",
                                   "uthd_r", "k_factor", "apparent_power", "reactive_power"}) {
            query.exec(QStringLiteral("ALTER TABLE results DROP COLUMN ") + column);
        }
        query.exec("UPDATE schema_version SET version = 4");
        db.close();
    }
    QSqlDatabase::removeDatabase("schema4");
}

// The update of a store of schema 4 to schema 5: the derived quantities
// computed for each result kept (SQLite, 20,000 results).
void BM_UpdateToSchema5Sqlite(benchmark::State& state) {
    constexpr int kResults = 20000;
    const std::filesystem::path file = DataFolder() / "schema4.sqlite";
    std::mt19937 random(4);
    std::vector<Result> results(kResults, SampleResult(random));
    for (Result& result : results) {
        result.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
    }
    for (auto _ : state) {
        state.PauseTiming();
        for (const char* suffix : {"", "-wal", "-shm"}) {
            std::filesystem::remove(file.string() + suffix);
        }
        const std::string url = "sqlite:" + file.string();
        if (auto store = Open(url, state); !store || !store->WriteAll(results)) {
            state.SkipWithError("cannot write the results");
            break;
        }
        TakeDerivedColumnsAway(file.string());
        state.ResumeTiming();
        benchmark::DoNotOptimize(Open(url, state));
    }
    state.SetItemsProcessed(state.iterations() * kResults);
}
BENCHMARK(BM_UpdateToSchema5Sqlite)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(2);

}  // namespace
}  // namespace zx840
