// The stats of a filter kept up to date as results arrive. Counting a
// type's readings afresh reads every one of its results (over half a
// second for 100,000 of them); kept stats are counted once, and after
// that each question reads only the results newer than the newest counted
// and merges their stats with what was counted. Results are bounded by
// their time alone, so that the engine counts from the index of a type's
// readings. A count of the filter's results checks that nothing else
// changed: a result kept late with an older time (or the same millisecond
// as the newest counted), or one removed, makes the stats be counted
// afresh.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "store/results_store.h"
#include "web/web_json.h"

namespace zx840 {

// The stats of the results `filter` takes up to its newest, and that
// newest result's time (nothing when it takes none).
StoreStatus CountStats(ResultsStore& store, const ResultFilter& filter, ResultStats* stats,
                       std::optional<std::int64_t>* upToMs);

// The metrics' counts of every result by station and type, with whether
// and how fast the store answered.
MetricsView CountMetrics(ResultsStore& store);

class LiveStats {
  public:
    LiveStats(ResultsStore& store, std::size_t maxFilters);

    // The stats of the results `filter` takes, as Stats counts them.
    StoreStatus Get(const ResultFilter& filter, ResultStats* stats);
    // Stats that CountStats counted elsewhere (on a connection of its
    // own), in the place of what is kept for the filter; the next Get
    // merges on from them.
    void Seed(const ResultFilter& filter, const ResultStats& stats,
              std::optional<std::int64_t> upToMs);

    // How many filters are kept at most.
    std::size_t Capacity() const { return maxFilters_; }
    // How many times the stats of a filter were counted over all its
    // results (not merged with what was kept).
    std::int64_t Recounts() const { return recounts_; }

  private:
    struct Kept {
        ResultStats stats;
        std::optional<std::int64_t> upToMs;  // the time of the newest result counted
        std::int64_t lastUsed = 0;
    };

    StoreStatus Recount(const ResultFilter& filter, Kept* kept);
    StoreStatus Update(const ResultFilter& filter, Kept* kept, bool* consistent);
    void MakeRoom();

    ResultsStore& store_;
    std::size_t maxFilters_;
    std::map<std::string, Kept> kept_;
    std::int64_t uses_ = 0;
    std::int64_t recounts_ = 0;
};

}  // namespace zx840
