#include "store/history_pages.h"

#include <algorithm>

namespace zx840 {

HistoryPages::HistoryPages(ResultsStore& store, ResultFilter filter, std::int64_t pageSize)
    : store_(store), filter_(std::move(filter)), pageSize_(std::max<std::int64_t>(pageSize, 1)) {}

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

StoreStatus HistoryPages::LearnKeys(std::int64_t rows) {
    if (keysKnown_) {
        return {};
    }
    ResultFilter rest = filter_;
    if (!keys_.empty()) {
        rest.after = keys_.back();
    }
    // Whole pages only, so that the keys go on where they stopped.
    const std::int64_t limit =
        rows < 0 ? -1 : std::max<std::int64_t>(rows / pageSize_, 1) * pageSize_;
    const std::size_t before = keys_.size();
    if (const StoreStatus status = store_.PageKeys(rest, pageSize_, limit, keys_); !status) {
        keys_.resize(before);
        return status;
    }
    keysKnown_ = limit < 0 || static_cast<std::int64_t>(keys_.size() - before) < limit / pageSize_;
    return {};
}

ResultFilter HistoryPages::StartOf(std::int64_t row, std::int64_t* skip) const {
    const std::int64_t page = row / pageSize_;
    ResultFilter start = filter_;
    *skip = row % pageSize_;
    if (page == 0) {
        return start;
    }
    const auto before = static_cast<std::size_t>(page - 1);
    if (before < keys_.size()) {
        start.after = keys_[before];
    } else if (lastRead_ && lastRead_->first == row - 1) {
        start.after = lastRead_->second;  // reading on from the row before
        *skip = 0;
    } else {
        *skip = row;  // counted off the index from the top
    }
    return start;
}

StoreStatus HistoryPages::Page(std::int64_t page, std::vector<Result>* rows) {
    rows->clear();
    if (page < 0) {
        return {};
    }
    return Rows(page * pageSize_, pageSize_, Detail::Summary, [rows](const Result& result) {
        rows->push_back(result);
        return true;
    });
}

StoreStatus HistoryPages::Rows(std::int64_t first, std::int64_t count, Detail detail,
                               const std::function<bool(const Result&)>& visit) {
    if (first < 0 || count <= 0) {
        return {};
    }
    std::int64_t skip = 0;
    const ResultFilter start = StartOf(first, &skip);
    // The first rows, then on from the last of them: Scan pages by keys.
    std::vector<Result> head;
    const std::int64_t headCount = std::min<std::int64_t>(count, pageSize_);
    if (const StoreStatus status = store_.Find(start, skip, headCount, detail, head); !status) {
        return status;
    }
    std::int64_t row = first;
    const auto take = [&](const Result& result) {
        lastRead_.emplace(row++, ResultKey{result.timeMs, result.id});
        return visit(result);
    };
    for (const Result& result : head) {
        if (!take(result)) {
            return {};
        }
    }
    if (static_cast<std::int64_t>(head.size()) < headCount || headCount == count) {
        return {};
    }
    ResultFilter rest = filter_;
    rest.after = lastRead_->second;
    return store_.Scan(rest, count - headCount, detail, take);
}

void HistoryPages::Reset(ResultFilter filter) {
    ++generation_;
    filter_ = std::move(filter);
    count_ = -1;
    keys_.clear();
    keysKnown_ = false;
    lastRead_.reset();
}

}  // namespace zx840
