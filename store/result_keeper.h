// Keeps every result: in the store when it can be written, else in a local
// spool (an SQLite file in the data folder) that is pushed to the store as
// soon as it answers again. Ids are kept, so nothing is ever doubled.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "store/results_store.h"

namespace zx840 {

enum class KeepOutcome {
    Stored,   // in the store
    Spooled,  // in the spool, `message` says why not in the store
    Lost,     // neither could be written: `message` says why
};

struct KeepStatus {
    KeepOutcome outcome = KeepOutcome::Stored;
    std::string message;
};

struct SyncReport {
    std::int64_t pushed = 0;  // results moved from the spool to the store
    std::int64_t left = 0;    // results still in the spool
    StoreStatus status;
};

class ResultKeeper {
  public:
    // After a failure the store is tried again only once `retryAfter` has
    // passed, so a store that is down does not slow every acquisition.
    ResultKeeper(StoreUrl url, std::string spoolFolder,
                 std::chrono::milliseconds retryAfter = std::chrono::seconds(5));
    ~ResultKeeper();
    ResultKeeper(const ResultKeeper&) = delete;
    ResultKeeper& operator=(const ResultKeeper&) = delete;

    KeepStatus Keep(const Result& result);
    // Moves what the spool holds for this store into it.
    SyncReport Sync();

    // The spool of a store: one file per store, named by its URL without
    // the password.
    static std::string SpoolPath(const StoreUrl& url, const std::string& spoolFolder);
    const std::string& SpoolPath() const { return spoolPath_; }
    const StoreUrl& Url() const { return url_; }

  private:
    // The store, opened when it is not and a retry is due; nullptr with
    // `status` set when it cannot be used.
    ResultsStore* Connect(StoreStatus* status);
    void Disconnect();
    ResultsStore* OpenSpool(StoreStatus* status, bool create);

    StoreUrl url_;
    std::string spoolPath_;
    std::chrono::milliseconds retryAfter_;
    std::chrono::steady_clock::time_point retryAt_{};
    std::unique_ptr<ResultsStore> store_;
    std::unique_ptr<ResultsStore> spool_;
    bool spoolMayHold_ = true;  // until a sync found it empty
};

}  // namespace zx840
