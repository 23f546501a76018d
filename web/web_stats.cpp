// Stats counted once and merged with those of the results kept since.
#include "web/web_stats.h"

#include <algorithm>
#include <chrono>

namespace zx840 {
namespace {

void Add(std::string& key, const std::optional<std::string>& text) {
    key += text ? std::to_string(text->size()) + ":" + *text : std::string("-");
    key += ';';
}

template <typename Number>
void Add(std::string& key, const std::optional<Number>& number) {
    key += number ? std::to_string(*number) : std::string("-");
    key += ';';
}

// One text for each filter, another for every other.
std::string KeyOf(const ResultFilter& f) {
    std::string key;
    Add(key, f.id);
    Add(key, f.type);
    Add(key, f.numberFrom);
    Add(key, f.numberTo);
    Add(key, f.pass ? std::optional<int>(*f.pass ? 1 : 0) : std::nullopt);
    Add(key, f.station);
    Add(key, f.sinceMs);
    Add(key, f.untilMs);
    Add(key, f.after ? std::optional(f.after->timeMs) : std::nullopt);
    Add(key, f.after ? std::optional(f.after->id) : std::nullopt);
    return key;
}

// `filter` narrowed to the results after `afterMs` (if given) up to `upToMs`.
ResultFilter Between(ResultFilter filter, std::optional<std::int64_t> afterMs,
                     std::int64_t upToMs) {
    if (afterMs) {
        filter.sinceMs = std::max(filter.sinceMs.value_or(*afterMs + 1), *afterMs + 1);
    }
    filter.untilMs = std::min(filter.untilMs.value_or(upToMs), upToMs);
    return filter;
}

// The time of the newest result `filter` takes, if it takes any.
StoreStatus NewestMs(ResultsStore& store, const ResultFilter& filter,
                     std::optional<std::int64_t>* timeMs) {
    std::vector<Result> newest;
    if (const StoreStatus status = store.Find(filter, 0, 1, Detail::Summary, newest); !status) {
        return status;
    }
    *timeMs = newest.empty() ? std::nullopt : std::optional(newest.front().timeMs);
    return {};
}

}  // namespace

LiveStats::LiveStats(ResultsStore& store, std::size_t maxFilters)
    : store_(store), maxFilters_(std::max<std::size_t>(maxFilters, 1)) {}

StoreStatus LiveStats::Get(const ResultFilter& filter, ResultStats* stats) {
    const std::string key = KeyOf(filter);
    auto found = kept_.find(key);
    if (found == kept_.end()) {
        MakeRoom();
        Kept fresh;
        if (const StoreStatus status = Recount(filter, &fresh); !status) {
            return status;
        }
        found = kept_.emplace(key, std::move(fresh)).first;
    } else {
        bool consistent = false;
        StoreStatus status = Update(filter, &found->second, &consistent);
        if (status && !consistent) {
            status = Recount(filter, &found->second);
        }
        if (!status) {
            kept_.erase(found);
            return status;
        }
    }
    found->second.lastUsed = ++uses_;
    *stats = found->second.stats;
    return {};
}

MetricsView CountMetrics(ResultsStore& store) {
    MetricsView view;
    const auto start = std::chrono::steady_clock::now();
    view.storeUp = static_cast<bool>(store.Tally({}, TallyBy::StationAndType, &view.tally));
    view.querySeconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return view;
}

StoreStatus CountStats(ResultsStore& store, const ResultFilter& filter, ResultStats* stats,
                       std::optional<std::int64_t>* upToMs) {
    *stats = {};
    if (const StoreStatus status = NewestMs(store, filter, upToMs); !status) {
        return status;
    }
    // Only up to the newest: what is kept meanwhile comes with the next.
    return *upToMs ? store.Stats(Between(filter, std::nullopt, **upToMs), stats) : StoreStatus{};
}

StoreStatus LiveStats::Recount(const ResultFilter& filter, Kept* kept) {
    ++recounts_;
    return CountStats(store_, filter, &kept->stats, &kept->upToMs);
}

void LiveStats::Seed(const ResultFilter& filter, const ResultStats& stats,
                     std::optional<std::int64_t> upToMs) {
    const std::string key = KeyOf(filter);
    if (kept_.count(key) == 0) {
        MakeRoom();
    }
    kept_[key] = Kept{stats, upToMs, ++uses_};
}

StoreStatus LiveStats::Update(const ResultFilter& filter, Kept* kept, bool* consistent) {
    std::optional<std::int64_t> newest;
    if (const StoreStatus status = NewestMs(store_, filter, &newest); !status) {
        return status;
    }
    if (!newest) {
        // All removed, or there never were any.
        *consistent = !kept->upToMs;
        return {};
    }
    ResultStats added;
    if (!kept->upToMs || *newest > *kept->upToMs) {
        const StoreStatus status = store_.Stats(Between(filter, kept->upToMs, *newest), &added);
        if (!status) {
            return status;
        }
    }
    // Everything up to the newest must be what was counted and what was
    // added; anything else (kept late, or removed) needs a recount.
    std::int64_t count = 0;
    if (const StoreStatus status = store_.Count(Between(filter, std::nullopt, *newest), &count);
        !status) {
        return status;
    }
    *consistent = count == kept->stats.count + added.count;
    if (*consistent) {
        kept->stats = CombinedStats(kept->stats, added);
        kept->upToMs = newest;
    }
    return {};
}

void LiveStats::MakeRoom() {
    if (kept_.size() < maxFilters_) {
        return;
    }
    const auto oldest = std::min_element(
        kept_.begin(), kept_.end(),
        [](const auto& a, const auto& b) { return a.second.lastUsed < b.second.lastUsed; });
    kept_.erase(oldest);
}

}  // namespace zx840
