// What the dashboard counts on a thread and a connection of its own, so
// that no question waits for it:
// - the stats of every product type, as the server starts and again at
//   the site's interval, handed to the site's kept stats one type at a
//   time as each is ready (the first Type page or /api/stats of a type is
//   then answered in milliseconds instead of reading all of the type's
//   results); the types with the newest results first, and no more of
//   them than the kept stats hold;
// - the metrics, which count every result of the store, as the server
//   starts, with each count of the stats, and whenever a scrape has been
//   answered (so the next scrape finds them counted, and nobody counts
//   them while nobody scrapes), handed to the site as each is ready.
// A type asked before its turn is counted by the site itself, as are the
// metrics until the first are ready. A store that cannot be opened or
// fails is tried again at the next count; the metrics say it is down.
#pragma once

#include <QObject>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <thread>
#include <vector>

#include "store/store_url.h"
#include "web/web_site.h"

namespace zx840 {

class BackgroundCounts : public QObject {
    Q_OBJECT
  public:
    BackgroundCounts(WebSite& site, StoreUrl url, QObject* parent = nullptr);
    // Waits for what is being counted, if anything.
    ~BackgroundCounts() override;

    void Start();

  signals:
    // The number of types whose stats were counted ahead and handed over.
    void statsCounted(int types);
    // Metrics were handed to the site.
    void metricsCounted();

  private:
    void Run();
    // The stats of the types of `rows` (counted by station and type).
    int CountStatsAhead(ResultsStore& store, const std::vector<TallyRow>& rows);
    // Until the metrics are asked for, `time` is over or the object goes;
    // false for the last. Whether the metrics were asked goes to `asked`.
    bool Wait(std::chrono::steady_clock::duration time, bool* asked);
    // Whether the object goes.
    bool Stopping();

    WebSite& site_;
    StoreUrl url_;
    std::chrono::milliseconds statsEvery_;
    std::size_t capacity_;  // read here: the worker never touches the site
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool metricsAsked_ = false;
    std::thread worker_;
};

}  // namespace zx840
