// The History window's table over a store of 1,000,000 results, as its
// store thread serves it: opening (the count and the first page), learning
// where every page begins, and jumping anywhere in the list, or in the list
// of one type, as a dragged scroll bar does. Target: a jump under 10 ms.
#include <benchmark/benchmark.h>

#include <random>

#include "bench_data.h"
#include "store/history_pages.h"
#include "view/history_model.h"

namespace zx840 {
namespace {

// The page of `row` as the table asks for it, and the cells of one screen.
void PaintScreen(HistoryPages& pages, std::int64_t row, benchmark::State& state) {
    std::vector<Result> rows;
    if (const StoreStatus status = pages.Page(row / pages.PageSize(), &rows); !status) {
        state.SkipWithError(status.message.c_str());
        return;
    }
    for (std::size_t i = 0; i < rows.size() && i < 40; ++i) {
        for (int column = 0; column < HistoryModel::kColumns; ++column) {
            benchmark::DoNotOptimize(HistoryCellText(rows[i], column));
        }
    }
}

void BM_HistoryOpenAMillion(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    if (url.empty()) {
        return;
    }
    for (auto _ : state) {
        const auto store = bench::Open(url, state);
        if (!store) {
            return;
        }
        HistoryPages pages(*store, {});
        std::int64_t count = 0;
        if (!pages.Count(&count) || count != bench::kBigStore) {
            state.SkipWithError("the store does not hold a million results");
            return;
        }
        PaintScreen(pages, 0, state);
    }
}
BENCHMARK(BM_HistoryOpenAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

// Where every page begins: on the store's thread, after the first screen,
// in slices of 50,000 rows between the pages it serves (Arg: the rows of
// one slice, the longest a page waits; -1 for all at once).
void BM_HistoryLearnKeysOfAMillion(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    const auto store = url.empty() ? nullptr : bench::Open(url, state);
    if (!store) {
        return;
    }
    for (auto _ : state) {
        HistoryPages pages(*store, {});
        if (const StoreStatus status = pages.LearnKeys(state.range(0)); !status) {
            state.SkipWithError(status.message.c_str());
            return;
        }
    }
}
BENCHMARK(BM_HistoryLearnKeysOfAMillion)
    ->Arg(50000)
    ->Arg(-1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

// Random jumps, by the pages' keys (Arg 1) or counted off the index from
// the top as before the keys are learnt (Arg 0); in all results or in the
// 100,000 of one type.
void Jumps(benchmark::State& state, const ResultFilter& filter, std::int64_t rows) {
    const std::string url = bench::BigStore(state);
    const auto store = url.empty() ? nullptr : bench::Open(url, state);
    if (!store) {
        return;
    }
    HistoryPages pages(*store, filter);
    std::int64_t count = 0;
    if (!pages.Count(&count) || count != rows) {
        state.SkipWithError("the store does not hold the results expected");
        return;
    }
    const bool byKeys = state.range(0) == 1;
    if (byKeys && !pages.LearnKeys()) {
        state.SkipWithError("cannot learn the keys");
        return;
    }
    std::mt19937 random(5);
    std::uniform_int_distribution<std::int64_t> row(0, rows - 1);
    for (auto _ : state) {
        PaintScreen(pages, row(random), state);
    }
}

void BM_HistoryJumpInAMillion(benchmark::State& state) {
    Jumps(state, {}, bench::kBigStore);
}
BENCHMARK(BM_HistoryJumpInAMillion)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistoryJumpInOneType(benchmark::State& state) {
    ResultFilter filter;
    filter.type = "T3";
    Jumps(state, filter, bench::kBigStore / bench::kTypes);
}
BENCHMARK(BM_HistoryJumpInOneType)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zx840
