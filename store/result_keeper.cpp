#include "store/result_keeper.h"

#include <QCryptographicHash>
#include <filesystem>
#include <system_error>
#include <vector>

namespace zx840 {
namespace {

constexpr std::int64_t kSyncBatch = 200;

}  // namespace

ResultKeeper::ResultKeeper(StoreUrl url, std::string spoolFolder,
                           std::chrono::milliseconds retryAfter)
    : url_(std::move(url)), spoolPath_(SpoolPath(url_, spoolFolder)), retryAfter_(retryAfter) {}

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
                                      " could not be written a moment ago");
        return nullptr;
    }
    store_ = ResultsStore::Open(url_, status);
    if (!store_) {
        retryAt_ = std::chrono::steady_clock::now() + retryAfter_;
    }
    return store_.get();
}

void ResultKeeper::Disconnect() {
    store_.reset();
    retryAt_ = std::chrono::steady_clock::now() + retryAfter_;
}

ResultsStore* ResultKeeper::OpenSpool(StoreStatus* status, bool create) {
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
    return spool_.get();
}

KeepStatus ResultKeeper::Keep(const Result& result) {
    StoreStatus status;
    if (Connect(&status) != nullptr && spoolMayHold_) {
        Sync();  // what waits in the spool goes first
    }
    if (store_) {
        status = store_->Write(result);
        if (status) {
            return {};
        }
        Disconnect();
    } else if (status) {
        status = StoreStatus::Failed("The results store " + url_.Display() + " stopped answering");
    }
    StoreStatus spoolStatus;
    ResultsStore* spool = OpenSpool(&spoolStatus, true);
    if (spool != nullptr) {
        spoolStatus = spool->Write(result);
    }
    if (spool == nullptr || !spoolStatus) {
        spool_.reset();
        return {KeepOutcome::Lost, status.message + "; the result could not be kept in the spool " +
                                       spoolPath_ + " either: " + spoolStatus.message};
    }
    spoolMayHold_ = true;
    return {KeepOutcome::Spooled, status.message + "; the result was kept in the spool " +
                                      spoolPath_ + " and goes to the store when it answers again"};
}

SyncReport ResultKeeper::Sync() {
    SyncReport report;
    ResultsStore* spool = OpenSpool(&report.status, false);
    if (spool == nullptr) {
        spoolMayHold_ = !report.status.ok;
        return report;  // no spool: nothing to push
    }
    StoreStatus connected;
    ResultsStore* store = Connect(&connected);
    for (;;) {
        std::vector<Result> batch;
        if (report.status = spool->Find({}, 0, kSyncBatch, true, batch); !report.status) {
            break;
        }
        if (batch.empty()) {
            spoolMayHold_ = false;
            break;
        }
        if (store == nullptr) {
            report.status = connected;
            break;
        }
        // Written first, then taken out of the spool: a result met in both
        // after a crash is written once, the store keeps the first.
        if (report.status = store->WriteAll(batch); !report.status) {
            Disconnect();
            store = nullptr;
            break;
        }
        std::vector<std::string> ids;
        for (const Result& result : batch) {
            ids.push_back(result.id);
        }
        if (report.status = spool->Remove(ids); !report.status) {
            break;
        }
        report.pushed += static_cast<std::int64_t>(batch.size());
    }
    StoreStatus counted = spool->Count({}, &report.left);
    if (!counted && report.status) {
        report.status = counted;
    }
    return report;
}

}  // namespace zx840
