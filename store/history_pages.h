// The history of a filter as a table shows it: the count once, then rows
// fetched a page at a time as they come into view, so a list of a million
// results opens at once. A table model wraps this; it holds no widget.
#pragma once

#include <cstdint>
#include <list>
#include <vector>

#include "store/results_store.h"

namespace zx840 {

class HistoryPages {
  public:
    // Rows newest first, `pageSize` to a fetch, at most `pagesKept` pages
    // in memory (the least recently used goes first).
    HistoryPages(ResultsStore& store, ResultFilter filter, std::int64_t pageSize = 200,
                 std::size_t pagesKept = 16);

    // How many results match; asked once until the filter changes.
    StoreStatus Count(std::int64_t* count);
    // The row at `index` (0 is the newest), without its spectra and
    // waveforms; nullptr past the end or when the store cannot be read
    // (`status` says which). Valid until the next call.
    const Result* Row(std::int64_t index, StoreStatus* status);
    // A new filter, or the store changed: the count and the pages are
    // asked again.
    void Reset(ResultFilter filter);
    void Refresh() { Reset(filter_); }

  private:
    struct Page {
        std::int64_t first = 0;
        std::vector<Result> rows;
    };

    ResultsStore& store_;
    ResultFilter filter_;
    std::int64_t pageSize_;
    std::size_t pagesKept_;
    std::int64_t count_ = -1;  // not asked yet
    std::list<Page> pages_;    // the most recently used first
};

}  // namespace zx840
