// The stats of every product type of the store counted ahead of the first
// question, on a thread and a connection of their own, and handed to the
// site's kept stats one type at a time, each as it is ready: the first
// Type page or /api/stats of a type after the server starts is then
// answered in milliseconds instead of reading all of the type's results.
// The types with the newest results come first, and no more of them than
// the kept stats hold. A type asked before its turn is counted by the site
// itself, as it would be without this; a store that fails here only ends
// the counting ahead.
#pragma once

#include <QObject>
#include <atomic>
#include <cstddef>
#include <thread>

#include "store/store_url.h"
#include "web/web_stats.h"

namespace zx840 {

class StatsAhead : public QObject {
    Q_OBJECT
  public:
    StatsAhead(LiveStats& live, StoreUrl url, QObject* parent = nullptr);
    // Waits for the type being counted, if any.
    ~StatsAhead() override;

    void Start();

  signals:
    // The number of types counted and handed over.
    void finished(int types);

  private:
    void CountAll();

    LiveStats& live_;
    StoreUrl url_;
    std::size_t capacity_;  // read here: the worker never touches live_
    std::atomic<bool> stop_{false};
    std::thread worker_;
};

}  // namespace zx840
