#include "web/web_stats_ahead.h"

#include <algorithm>
#include <map>
#include <utility>
#include <vector>

namespace zx840 {

StatsAhead::StatsAhead(LiveStats& live, StoreUrl url, QObject* parent)
    : QObject(parent), live_(live), url_(std::move(url)), capacity_(live.Capacity()) {}

StatsAhead::~StatsAhead() {
    stop_ = true;
    if (worker_.joinable()) {
        worker_.join();
    }
}

void StatsAhead::Start() {
    if (!worker_.joinable()) {
        worker_ = std::thread([this] { CountAll(); });
    }
}

// On the worker: every answer goes to the object's thread, where the site
// lives; those still on their way when the object goes are dropped with it.
void StatsAhead::CountAll() {
    int counted = 0;
    StoreStatus status;
    auto store = ResultsStore::Open(url_, &status, ResultsStore::Journal::Wal,
                                    ResultsStore::Access::ReadOnly);
    std::vector<TallyRow> rows;
    if (store && store->Tally({}, TallyBy::StationAndType, &rows)) {
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
        for (const auto& [lastMs, type] : types) {
            ResultFilter filter;
            filter.type = type;
            ResultStats stats;
            std::optional<std::int64_t> upToMs;
            if (stop_ || !CountStats(*store, filter, &stats, &upToMs)) {
                break;
            }
            QMetaObject::invokeMethod(
                this, [this, filter, stats, upToMs] { live_.Seed(filter, stats, upToMs); },
                Qt::QueuedConnection);
            ++counted;
        }
    }
    store.reset();  // its connection closed on the thread that opened it
    QMetaObject::invokeMethod(
        this, [this, counted] { emit finished(counted); }, Qt::QueuedConnection);
}

}  // namespace zx840
