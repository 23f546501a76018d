// The history of a filter as a table shows it: the count once, then pages
// of rows as they come into view. Each page is found from the key of the
// last row of the page before it, on the index of time and id, so a page
// a million rows deep costs what the first one does. Used on one thread;
// holds no widget.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "store/results_store.h"

namespace zx840 {

// Rows to a page of the History window.
inline constexpr std::int64_t kHistoryPageSize = 100;

class HistoryPages {
  public:
    HistoryPages(ResultsStore& store, ResultFilter filter,
                 std::int64_t pageSize = kHistoryPageSize);

    std::int64_t PageSize() const { return pageSize_; }
    const ResultFilter& Filter() const { return filter_; }

    // How many results match; asked once until the filter changes.
    StoreStatus Count(std::int64_t* count);
    // Learns where the pages of the next `rows` rows begin (all when
    // negative), on from those learnt: a million rows take about a second,
    // so a reader learns them a slice at a time between the pages it
    // serves. Until then a page deep in the list is counted off the index
    // from its top.
    StoreStatus LearnKeys(std::int64_t rows = -1);
    bool KnowsKeys() const { return keysKnown_; }
    // Changes with every Reset: work that spans several calls sees the
    // filter change under it.
    std::uint64_t Generation() const { return generation_; }
    // The rows of page `page` (0 is the newest), without their spectra and
    // waveforms; fewer at the end of the list.
    StoreStatus Page(std::int64_t page, std::vector<Result>* rows);
    // `count` rows from row `first`, in order, handed to `visit` until it
    // says stop; with Detail::Full their spectra and waveforms too.
    StoreStatus Rows(std::int64_t first, std::int64_t count, Detail detail,
                     const std::function<bool(const Result&)>& visit);
    // A new filter, or the store changed: the count and the keys are
    // asked again.
    void Reset(ResultFilter filter);

  private:
    // A filter that starts at the page of `row` and how many rows of it to
    // skip to reach `row`.
    ResultFilter StartOf(std::int64_t row, std::int64_t* skip) const;

    ResultsStore& store_;
    ResultFilter filter_;
    std::int64_t pageSize_;
    std::int64_t count_ = -1;      // not asked yet
    std::vector<ResultKey> keys_;  // keys_[p]: the last row of page p
    bool keysKnown_ = false;
    std::uint64_t generation_ = 0;
    // The last row of the last page read, for the page after it.
    std::optional<std::pair<std::int64_t, ResultKey>> lastRead_;
};

}  // namespace zx840
