#include "web/web_background.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace zx840 {

BackgroundCounts::BackgroundCounts(WebSite& site, StoreUrl url, QObject* parent)
    : QObject(parent),
      site_(site),
      url_(std::move(url)),
      metricsEvery_(std::max(site.MetricsLifetime(), std::chrono::milliseconds(1))),
      statsEvery_(site.StatsRecount()),
      capacity_(site.KeptStats().Capacity()) {}

BackgroundCounts::~BackgroundCounts() {
    {
        const std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void BackgroundCounts::Start() {
    if (!worker_.joinable()) {
        worker_ = std::thread([this] { Run(); });
    }
}

bool BackgroundCounts::Wait(std::chrono::milliseconds time) {
    std::unique_lock lock(mutex_);
    return !wake_.wait_for(lock, time, [this] { return stop_; });
}

// On the worker: every answer goes to the object's thread, where the site
// lives; those still on their way when the object goes are dropped with it.
void BackgroundCounts::Run() {
    std::optional<std::chrono::steady_clock::time_point> lastStats;
    std::unique_ptr<ResultsStore> store;
    do {
        if (!store) {
            StoreStatus status;
            store = ResultsStore::Open(url_, &status, ResultsStore::Journal::Wal,
                                       ResultsStore::Access::ReadOnly);
        }
        MetricsView metrics = store ? CountMetrics(*store) : MetricsView{};
        if (!metrics.storeUp) {
            store.reset();  // opened afresh at the next interval
        }
        // The types and their newest results, from the metrics' counts.
        const std::vector<TallyRow> rows = metrics.tally;
        QMetaObject::invokeMethod(
            this,
            [this, view = std::move(metrics)]() mutable {
                site_.KeepMetrics(std::move(view));
                emit metricsCounted();
            },
            Qt::QueuedConnection);
        const auto now = std::chrono::steady_clock::now();
        if (store && (!lastStats || now - *lastStats >= statsEvery_)) {
            lastStats = now;
            const int types = CountStatsAhead(*store, rows);
            QMetaObject::invokeMethod(
                this, [this, types] { emit this->statsCounted(types); }, Qt::QueuedConnection);
        }
    } while (Wait(metricsEvery_));
    store.reset();  // its connection closed on the thread that opened it
}

int BackgroundCounts::CountStatsAhead(ResultsStore& store, const std::vector<TallyRow>& rows) {
    std::map<std::string, std::int64_t> newest;
    for (const TallyRow& row : rows) {
        newest[row.type] = std::max(newest[row.type], row.lastMs);
    }
    std::vector<std::pair<std::int64_t, std::string>> types;
    for (const auto& [type, lastMs] : newest) {
        types.emplace_back(lastMs, type);
    }
    std::sort(types.rbegin(), types.rend());
    types.resize(std::min(types.size(), capacity_));
    int counted = 0;
    for (const auto& [lastMs, type] : types) {
        ResultFilter filter;
        filter.type = type;
        ResultStats stats;
        std::optional<std::int64_t> upToMs;
        if (!Wait(std::chrono::milliseconds(0)) || !CountStats(store, filter, &stats, &upToMs)) {
            break;
        }
        QMetaObject::invokeMethod(
            this, [this, filter, stats, upToMs] { site_.KeptStats().Seed(filter, stats, upToMs); },
            Qt::QueuedConnection);
        ++counted;
    }
    return counted;
}

}  // namespace zx840
