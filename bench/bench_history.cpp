// The History window's table over a store of 1,000,000 results: opening
// it (the count and the first screen of rows), and jumping anywhere in the
// list, or in the list of one type, as a dragged scroll bar does.
#include <benchmark/benchmark.h>

#include <random>

#include "bench_data.h"
#include "view/history_model.h"

namespace zx840 {
namespace {

constexpr int kScreenRows = 40;

// Reads the cells of one screen of rows from `first`, as the table paints them.
void PaintScreen(const HistoryModel& model, int first) {
    for (int row = first; row < first + kScreenRows && row < model.rowCount(); ++row) {
        for (int column = 0; column < HistoryModel::kColumns; ++column) {
            benchmark::DoNotOptimize(model.data(model.index(row, column)));
        }
    }
}

std::unique_ptr<HistoryModel> OpenModel(benchmark::State& state) {
    const std::string url = bench::BigStore(state);
    if (url.empty()) {
        return nullptr;
    }
    auto store = bench::Open(url, state);
    if (!store) {
        return nullptr;
    }
    return std::make_unique<HistoryModel>(std::move(store));
}

void BM_HistoryOpenAMillion(benchmark::State& state) {
    for (auto _ : state) {
        const auto model = OpenModel(state);
        if (!model) {
            return;
        }
        if (model->rowCount() != bench::kBigStore) {
            state.SkipWithError("the store does not hold a million results");
            return;
        }
        PaintScreen(*model, 0);
    }
}
BENCHMARK(BM_HistoryOpenAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistoryJumpInAMillion(benchmark::State& state) {
    const auto model = OpenModel(state);
    if (!model) {
        return;
    }
    std::mt19937 random(5);
    std::uniform_int_distribution<int> row(0, static_cast<int>(bench::kBigStore) - kScreenRows);
    for (auto _ : state) {
        PaintScreen(*model, row(random));
    }
}
BENCHMARK(BM_HistoryJumpInAMillion)->Unit(benchmark::kMillisecond)->UseRealTime();

// The same within one product type: 100,000 of the million.
void BM_HistoryJumpInOneType(benchmark::State& state) {
    const auto model = OpenModel(state);
    if (!model) {
        return;
    }
    ResultFilter filter;
    filter.type = "T3";
    model->SetFilter(filter);
    const int rows = model->rowCount();
    if (rows != bench::kBigStore / bench::kTypes) {
        state.SkipWithError("the type does not hold 100,000 results");
        return;
    }
    std::mt19937 random(6);
    std::uniform_int_distribution<int> row(0, rows - kScreenRows);
    for (auto _ : state) {
        PaintScreen(*model, row(random));
    }
}
BENCHMARK(BM_HistoryJumpInOneType)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zx840
