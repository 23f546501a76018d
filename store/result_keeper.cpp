#include "store/result_keeper.h"

#include <QCryptographicHash>
#include <filesystem>
#include <set>
#include <system_error>
#include <utility>

namespace zx840 {
namespace {

constexpr std::int64_t kSyncBatch = 200;

}  // namespace

ResultKeeper::ResultKeeper(StoreUrl url, std::string spoolFolder,
                           std::chrono::milliseconds retryAfter)
    : url_(std::move(url)),
      spoolPath_(SpoolPath(url_, spoolFolder)),
      quarantine_(spoolPath_),
      retryAfter_(retryAfter) {}

ResultKeeper::~ResultKeeper() = default;

std::string ResultKeeper::SpoolPath(const StoreUrl& url, const std::string& spoolFolder) {
    const QByteArray hash = QCryptographicHash::hash(QByteArray::fromStdString(url.Identity()),
                                                     QCryptographicHash::Sha256)
                                .toHex()
                                .left(16);
    return spoolFolder + "/spool-" + hash.toStdString() + ".sqlite";
}

ResultsStore* ResultKeeper::Connect(StoreStatus* status) {
    if (store_) {
        return store_.get();
    }
    if (std::chrono::steady_clock::now() < retryAt_) {
        *status = StoreStatus::Failed("The results store " + url_.Display() +
                                          (lastFailure_ == StoreStatus::Kind::Configuration
                                               ? " refused the login a moment ago"
                                               : " could not be written a moment ago"),
                                      lastFailure_);
        return nullptr;
    }
    store_ = ResultsStore::Open(url_, status);
    if (!store_) {
        retryAt_ = std::chrono::steady_clock::now() + retryAfter_;
        lastFailure_ = status->kind;
    }
    return store_.get();
}

StoreStatus ResultKeeper::Probe() {
    StoreStatus status;
    Connect(&status);
    return status;
}

void ResultKeeper::Disconnect() {
    store_.reset();
    retryAt_ = std::chrono::steady_clock::now() + retryAfter_;
}

StoreStatus ResultKeeper::SetAsideSpool(const StoreStatus& why) {
    spool_.reset();
    std::string aside;
    if (const StoreStatus moved = quarantine_.SetAsideSpool(&aside); !moved) {
        return StoreStatus::Failed(why.message + "; " + moved.message, StoreStatus::Kind::Damaged);
    }
    setAside_ = why.message + "; the spool was set aside as " + aside +
                " with what it held, and a new one takes results";
    return StoreStatus::Failed(setAside_, StoreStatus::Kind::Damaged);
}

ResultsStore* ResultKeeper::OpenSpool(StoreStatus* status, Spool open) {
    const bool create = open == Spool::Create;
    if (spool_) {
        return spool_.get();
    }
    std::error_code error;
    if (!create && !std::filesystem::exists(spoolPath_, error)) {
        return nullptr;
    }
    StoreUrl url;
    url.kind = StoreKind::Sqlite;
    url.path = spoolPath_;
    spool_ = ResultsStore::Open(url, status, ResultsStore::Journal::Rollback);
    if (!spool_ && status->kind == StoreStatus::Kind::Damaged) {
        *status = SetAsideSpool(*status);
        if (create && !setAside_.empty()) {
            spool_ = ResultsStore::Open(url, status, ResultsStore::Journal::Rollback);
        }
    }
    return spool_.get();
}

KeepStatus ResultKeeper::Keep(const Result& result) {
    StoreStatus status;
    if (Connect(&status) != nullptr && spoolMayHold_) {
        Sync();  // what waits in the spool goes first
    }
    std::string note;
    if (!noted_) {
        noted_ = true;
        note = quarantine_.Note();
    }
    KeepStatus kept;
    if (store_) {
        status = store_->Write(result);
        if (status.kind == StoreStatus::Kind::Refused) {
            kept = KeepRefused(result, status);
        } else if (!status) {
            Disconnect();
            kept = KeepInSpool(result, status);
        }
    } else {
        if (status) {
            status =
                StoreStatus::Failed("The results store " + url_.Display() + " stopped answering");
        }
        kept = KeepInSpool(result, status);
    }
    if (!note.empty()) {
        if (kept.outcome == KeepOutcome::Stored) {
            kept = {KeepOutcome::Noted, note};
        } else {
            kept.message += "; " + note;
        }
    }
    return kept;
}

KeepStatus ResultKeeper::KeepRefused(const Result& result, const StoreStatus& refusal) {
    if (const StoreStatus kept = quarantine_.Keep(result); !kept) {
        return {KeepOutcome::Lost, refusal.message + "; the result could not be kept in the " +
                                       "quarantine " + quarantine_.Path() +
                                       " either: " + kept.message};
    }
    return {KeepOutcome::Refused, refusal.message + "; as no retry changes that, the result " +
                                      "was kept in the quarantine " + quarantine_.Path()};
}

KeepStatus ResultKeeper::KeepInSpool(const Result& result, const StoreStatus& why) {
    StoreStatus spoolStatus;
    ResultsStore* spool = OpenSpool(&spoolStatus, Spool::Create);
    if (spool != nullptr) {
        spoolStatus = spool->Write(result);
        if (spoolStatus.kind == StoreStatus::Kind::Damaged) {
            // Damage the opening did not see: a new spool takes the result.
            spoolStatus = SetAsideSpool(spoolStatus);
            spool = setAside_.empty() ? nullptr : OpenSpool(&spoolStatus, Spool::Create);
            if (spool != nullptr) {
                spoolStatus = spool->Write(result);
            }
        }
    }
    const std::string aside = std::exchange(setAside_, {});
    const std::string also = aside.empty() ? "" : "; " + aside;
    if (spool == nullptr || !spoolStatus) {
        spool_.reset();
        return {KeepOutcome::Lost, why.message + "; the result could not be kept in the spool " +
                                       spoolPath_ + " either: " + spoolStatus.message + also};
    }
    spoolMayHold_ = true;
    const bool login = why.kind == StoreStatus::Kind::Configuration;
    return {KeepOutcome::Spooled,
            why.message + "; the result was kept in the spool " + spoolPath_ +
                (login ? " and goes to the store once its URL or password is set right"
                       : " and goes to the store when it answers again") +
                also,
            why.kind};
}

StoreStatus ResultKeeper::Push(ResultsStore& store, const std::vector<Result>& batch,
                               SyncReport& report) {
    // Written first, then taken out of the spool: a result met in both
    // after a crash is written once, the store keeps the first.
    StoreStatus written = store.WriteAll(batch);
    std::set<std::string> refused;
    if (written.kind == StoreStatus::Kind::Refused) {
        // The store refuses one of them for its content: each on its own,
        // and what it refuses goes to the quarantine, out of the way.
        for (const Result& result : batch) {
            written = store.Write(result);
            if (written.kind == StoreStatus::Kind::Refused) {
                refused.insert(result.id);
                written = {};
            } else if (!written) {
                break;
            }
        }
    }
    if (!written) {
        Disconnect();
        return StoreStatus::Failed(written.message);  // the store's trouble, not the spool's
    }
    if (!refused.empty()) {
        const StoreStatus taken =
            quarantine_.Take(*spool_, std::vector<std::string>(refused.begin(), refused.end()));
        if (!taken) {
            return taken;
        }
        report.quarantined += static_cast<std::int64_t>(refused.size());
    }
    std::vector<std::string> ids;
    for (const Result& result : batch) {
        if (refused.count(result.id) == 0) {
            ids.push_back(result.id);
        }
    }
    if (const StoreStatus removed = spool_->Remove(ids); !removed) {
        return removed;
    }
    report.pushed += static_cast<std::int64_t>(ids.size());
    return {};
}

SyncReport ResultKeeper::Sync() {
    SyncReport report;
    ResultsStore* spool = OpenSpool(&report.status, Spool::IfThere);
    if (spool == nullptr) {
        // No spool: nothing to push. One that could not be read is not counted.
        spoolMayHold_ = !report.status.ok;
        if (!report.status) {
            report.left.reset();
        }
        setAside_.clear();  // said by the status
        report.quarantine = quarantine_.Note();
        return report;
    }
    StoreStatus connected;
    ResultsStore* store = Connect(&connected);
    std::set<std::string> moved;
    for (;;) {
        std::vector<Result> batch;
        std::vector<std::string> damaged;
        if (report.status = spool->Find({}, 0, kSyncBatch, Detail::Full, batch, &damaged);
            !report.status) {
            break;
        }
        for (const std::string& id : damaged) {
            if (!moved.insert(id).second) {
                report.status = StoreStatus::Failed("The damaged result " + id + " of the spool " +
                                                    spoolPath_ + " cannot be moved out of it");
            }
        }
        if (report.status && !damaged.empty()) {
            if (report.status = quarantine_.Take(*spool, damaged); report.status) {
                report.quarantined += static_cast<std::int64_t>(damaged.size());
            }
        }
        if (!report.status || (batch.empty() && damaged.empty())) {
            spoolMayHold_ = !report.status.ok;
            break;
        }
        if (batch.empty()) {
            continue;
        }
        if (store == nullptr) {
            report.status = connected;
            break;
        }
        if (report.status = Push(*store, batch, report); !report.status) {
            break;
        }
    }
    CountLeft(report);
    return report;
}

void ResultKeeper::CountLeft(SyncReport& report) {
    report.left.reset();
    if (report.status.kind == StoreStatus::Kind::Damaged) {
        report.status = SetAsideSpool(report.status);
        setAside_.clear();  // said by the status
    } else if (std::int64_t left = 0; spool_) {
        if (const StoreStatus counted = spool_->Count({}, &left); counted) {
            report.left = left;
        } else if (report.status) {
            report.status = counted;
        }
    }
    report.quarantine = quarantine_.Note();
}

}  // namespace zx840
