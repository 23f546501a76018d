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
      statsEvery_(site.StatsRecount()),
      capacity_(site.KeptStats().Capacity()) {
    site_.WhenMetricsAsked([this] {
        {
            const std::lock_guard lock(mutex_);
            metricsAsked_ = true;
        }
        wake_.notify_all();
    });
}

BackgroundCounts::~BackgroundCounts() {
    site_.WhenMetricsAsked(nullptr);
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

bool BackgroundCounts::Wait(std::chrono::steady_clock::duration time, bool* asked) {
    std::unique_lock lock(mutex_);
    wake_.wait_for(lock, time, [this] { return stop_ || metricsAsked_; });
    *asked = std::exchange(metricsAsked_, false);
    return !stop_;
}

bool BackgroundCounts::Stopping() {
    const std::lock_guard lock(mutex_);
    return stop_;
}

// On the worker: every answer goes to the object's thread, where the site
// lives; those still on their way when the object goes are dropped with it.
void BackgroundCounts::Run() {
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> lastStats;
    std::unique_ptr<ResultsStore> store;
    bool asked = true;  // the first metrics, counted as the server starts
    do {
        const bool statsDue = !lastStats || Clock::now() - *lastStats >= statsEvery_;
        if (!asked && !statsDue) {
            continue;
        }
        if (!store) {
            StoreStatus status;
            store = ResultsStore::Open(url_, &status, ResultsStore::Journal::Wal,
                                       ResultsStore::Access::ReadOnly);
        }
        MetricsView metrics = store ? CountMetrics(*store) : MetricsView{};
        if (!metrics.storeUp) {
            store.reset();  // opened afresh at the next count
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
        if (store && statsDue) {
            lastStats = Clock::now();
            const int types = CountStatsAhead(*store, rows);
            QMetaObject::invokeMethod(
                this, [this, types] { emit this->statsCounted(types); }, Qt::QueuedConnection);
        }
    } while (Wait(lastStats ? *lastStats + statsEvery_ - Clock::now() : statsEvery_, &asked));
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
        if (Stopping() || !CountStats(store, filter, &stats, &upToMs)) {
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
