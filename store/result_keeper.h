// Keeps every result: in the store when it can be written, else in a local
// spool (an SQLite file in the data folder) that is pushed to the store as
// soon as it answers again. Ids are kept, so nothing is ever doubled. What
// can never reach the store (a damaged row of the spool, a result the store
// refuses for its content) goes to the spool's quarantine and never holds
// up the results behind it.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "store/results_store.h"
#include "store/spool_quarantine.h"

namespace zx840 {

enum class KeepOutcome {
    Stored,   // in the store
    Noted,    // in the store; `message` tells what waits in the quarantine
              // (said by the first result a keeper keeps)
    Spooled,  // in the spool, `message` says why not in the store
    Refused,  // the store refused it for its content, which no retry
              // changes: it waits in the quarantine, `message` says why
    Lost,     // neither could be written: `message` says why
};

struct KeepStatus {
    KeepOutcome outcome = KeepOutcome::Stored;
    std::string message;
    // Why it is not in the store: StoreStatus::Kind::Configuration when the
    // server refused the login (a URL or password to mend, not an outage).
    StoreStatus::Kind cause = StoreStatus::Kind::None;
};

struct SyncReport {
    std::int64_t pushed = 0;  // results moved from the spool to the store
    // Results still in the spool; nothing when the spool could not be read.
    std::optional<std::int64_t> left = 0;
    std::int64_t quarantined = 0;  // results this sync moved to the quarantine
    std::string quarantine;        // what waits there, in words; empty when nothing
    StoreStatus status;
};

class ResultKeeper {
  public:
    // After a failure the store is tried again only once `retryAfter` has
    // passed, so a store that is down does not slow every acquisition.
    static constexpr std::chrono::milliseconds kRetryAfter{5000};
    ResultKeeper(StoreUrl url, std::string spoolFolder,
                 std::chrono::milliseconds retryAfter = kRetryAfter);
    ~ResultKeeper();
    ResultKeeper(const ResultKeeper&) = delete;
    ResultKeeper& operator=(const ResultKeeper&) = delete;

    KeepStatus Keep(const Result& result);
    // Connects now: a store that refuses the login (StoreStatus::Kind::
    // Configuration) is a mistake to say before any measurement, not an
    // outage to spool through.
    StoreStatus Probe();
    // Moves what the spool holds for this store into it.
    SyncReport Sync();

    // The spool of a store: one file per store, named by its Identity().
    static std::string SpoolPath(const StoreUrl& url, const std::string& spoolFolder);
    const std::string& SpoolPath() const { return spoolPath_; }
    const std::string& QuarantinePath() const { return quarantine_.Path(); }
    const StoreUrl& Url() const { return url_; }

  private:
    // The store, opened when it is not and a retry is due; nullptr with
    // `status` set when it cannot be used.
    ResultsStore* Connect(StoreStatus* status);
    void Disconnect();
    // The spool; a spool file that is damaged is set aside (and, with
    // Spool::Create, a new one made). Spool::IfThere opens none that is not
    // there.
    enum class Spool { Create, IfThere };
    ResultsStore* OpenSpool(StoreStatus* status, Spool open);
    // Sets the spool aside for the damage `why` tells of; the status says
    // what was done.
    StoreStatus SetAsideSpool(const StoreStatus& why);
    KeepStatus KeepRefused(const Result& result, const StoreStatus& refusal);
    KeepStatus KeepInSpool(const Result& result, const StoreStatus& why);
    // Writes `batch` to the store and takes it out of the spool.
    StoreStatus Push(ResultsStore& store, const std::vector<Result>& batch, SyncReport& report);
    // What is left in the spool and waits in the quarantine, into `report`.
    void CountLeft(SyncReport& report);

    StoreUrl url_;
    std::string spoolPath_;
    SpoolQuarantine quarantine_;
    std::chrono::milliseconds retryAfter_;
    std::chrono::steady_clock::time_point retryAt_{};
    StoreStatus::Kind lastFailure_ = StoreStatus::Kind::Unavailable;  // of the last connection
    std::unique_ptr<ResultsStore> store_;
    std::unique_ptr<ResultsStore> spool_;
    bool spoolMayHold_ = true;  // until a sync found it empty
    bool noted_ = false;        // what waits in the quarantine was told
    std::string setAside_;      // how a damaged spool was set aside, until told
};

}  // namespace zx840
