// Keeps results on a thread of its own, so that a store that is slow or
// down never holds up the caller: results are handed over in order and
// written in that order, and what became of each is told back on the
// caller's thread. Every result handed over is kept before the keeper goes.
#pragma once

#include <QThread>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "store/result_keeper.h"

class QObject;
class QTimer;

namespace zx840 {

struct KeepReport {
    enum class Kind {
        Kept,    // a result handed to Keep: see `outcome`
        Synced,  // results waiting in the spool went to the store
        Failed,  // a sync of the spool failed: `message` says why
    };
    Kind kind = Kind::Kept;
    std::string id;  // the result, for Kept
    KeepOutcome outcome = KeepOutcome::Stored;
    std::string message;
    StoreStatus::Kind cause = StoreStatus::Kind::None;  // for Kept: as KeepStatus::cause
    std::int64_t pushed = 0;                            // for Synced: how many went to the store
    std::int64_t left = 0;   // for Synced and Failed: how many still wait (-1: unknown)
    std::string quarantine;  // for Synced and Failed: what waits in the quarantine
};

class BackgroundKeeper {
  public:
    // Reports go to `report`, called in the thread of `context`, while
    // `context` lives. The spool is tried again every `syncEvery`.
    BackgroundKeeper(QObject* context, std::function<void(const KeepReport&)> report,
                     std::chrono::milliseconds syncEvery = std::chrono::seconds(15));
    ~BackgroundKeeper();
    BackgroundKeeper(const BackgroundKeeper&) = delete;
    BackgroundKeeper& operator=(const BackgroundKeeper&) = delete;

    // Where the following results go; nothing: they are not kept. Results
    // handed over earlier still go where they were meant to.
    void SetStore(std::optional<StoreUrl> url, std::string spoolFolder);
    // How long a store that failed is left alone before it is tried again
    // (ResultKeeper), for the stores set from now on.
    void SetRetryDelay(std::chrono::milliseconds retryAfter);
    void Keep(Result result);
    // Pushes what the spool holds now.
    void Sync();
    // Waits until everything handed over so far is done (and reported).
    void Flush();

  private:
    void Post(std::function<void()> work);
    void Report(KeepReport report);
    // Whether a sync that pushed nothing (or failed while no result waits in
    // the spool) is reported.
    enum class Reporting { Always, OnlyNews };
    void SyncNow(Reporting when);

    QObject* context_;
    std::function<void(const KeepReport&)> report_;
    QThread thread_;
    QObject* worker_;  // lives on thread_; deleted after it has ended
    // Used on thread_ only.
    std::unique_ptr<ResultKeeper> keeper_;
    QTimer* syncTimer_ = nullptr;
    std::chrono::milliseconds syncEvery_;
    std::chrono::milliseconds retryAfter_ = ResultKeeper::kRetryAfter;
    bool spoolHeld_ = false;  // the last result went to the spool
};

}  // namespace zx840
