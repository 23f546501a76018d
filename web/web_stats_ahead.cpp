#include "web/web_stats_ahead.h"

#include <set>

namespace zx840 {

StatsAhead::StatsAhead(LiveStats& live, StoreUrl url, QObject* parent)
    : QObject(parent), live_(live), url_(std::move(url)) {}

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
        std::set<std::string> types;
        for (const TallyRow& row : rows) {
            types.insert(row.type);
        }
        for (const std::string& type : types) {
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
