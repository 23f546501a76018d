#include "store/history_pages.h"

namespace zx840 {

HistoryPages::HistoryPages(ResultsStore& store, ResultFilter filter, std::int64_t pageSize,
                           std::size_t pagesKept)
    : store_(store),
      filter_(std::move(filter)),
      pageSize_(pageSize < 1 ? 1 : pageSize),
      pagesKept_(pagesKept < 1 ? 1 : pagesKept) {}

StoreStatus HistoryPages::Count(std::int64_t* count) {
    if (count_ < 0) {
        if (const StoreStatus status = store_.Count(filter_, &count_); !status) {
            count_ = -1;
            return status;
        }
    }
    *count = count_;
    return {};
}

const Result* HistoryPages::Row(std::int64_t index, StoreStatus* status) {
    *status = {};
    if (index < 0) {
        return nullptr;
    }
    const std::int64_t first = index / pageSize_ * pageSize_;
    auto page = pages_.begin();
    while (page != pages_.end() && page->first != first) {
        ++page;
    }
    if (page == pages_.end()) {
        Page fetched;
        fetched.first = first;
        if (*status = store_.Find(filter_, first, pageSize_, false, fetched.rows); !*status) {
            return nullptr;
        }
        pages_.push_front(std::move(fetched));
        if (pages_.size() > pagesKept_) {
            pages_.pop_back();
        }
    } else if (page != pages_.begin()) {
        pages_.splice(pages_.begin(), pages_, page);
    }
    const std::vector<Result>& rows = pages_.front().rows;
    const auto at = static_cast<std::size_t>(index - first);
    return at < rows.size() ? &rows[at] : nullptr;
}

void HistoryPages::Reset(ResultFilter filter) {
    filter_ = std::move(filter);
    count_ = -1;
    pages_.clear();
}

}  // namespace zx840
