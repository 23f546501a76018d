// Reads the history of a store on a thread of its own, so that a server
// that takes its time (or never answers) leaves the window that asks free:
// the store is opened there, and the count, the pages and whole reads run
// there in the order they were asked, their answers told back on the
// asker's thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "store/history_pages.h"
#include "store/results_store.h"

class QObject;

namespace zx840 {

class HistoryReader {
  public:
    struct Thread;
    // What work on the reader's thread gets: the pages of the filter last
    // set (nullptr when the store could not be opened) and why not.
    struct Lane {
        HistoryPages* pages = nullptr;
        StoreStatus opened;
        // Set once the reader is gone: long work should stop.
        const std::atomic<bool>* abandoned = nullptr;
        // Calls `answer` on the context's thread, unless the reader is gone
        // by then.
        void Tell(std::function<void()> answer) const;
        Thread* thread = nullptr;
    };

    // Opens `url` on the reader's thread. Answers go to the thread of
    // `context` while it lives.
    HistoryReader(QObject* context, StoreUrl url, ResultsStore::Access access);
    // Never waits for the store: work under way finishes on its own thread,
    // which then ends, and what is still queued is dropped.
    ~HistoryReader();
    HistoryReader(const HistoryReader&) = delete;
    HistoryReader& operator=(const HistoryReader&) = delete;

    // Runs `work` on the reader's thread, after everything asked before.
    void Run(std::function<void(const Lane&)> work);
    // The filter of the pages from here on, and its count.
    void SetFilter(ResultFilter filter, std::function<void(StoreStatus, std::int64_t)> counted);
    // Page `page` of the filter last set.
    void FetchPage(std::int64_t page,
                   std::function<void(StoreStatus, std::vector<Result>)> fetched);
    // Where every page begins, learnt after the first screen is shown.
    void LearnKeys();

    // Waits for the threads of readers that are gone; at the end of the
    // program, so that none outlives it.
    static void WaitForAll();

  private:
    Thread* thread_;  // deletes itself once it has ended
};

}  // namespace zx840
