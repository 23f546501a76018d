#include "store/background_keeper.h"

#include <QMetaObject>
#include <QObject>
#include <QSemaphore>
#include <QTimer>

namespace zx840 {

BackgroundKeeper::BackgroundKeeper(QObject* context, std::function<void(const KeepReport&)> report,
                                   std::chrono::milliseconds syncEvery)
    : context_(context), report_(std::move(report)), worker_(new QObject), syncEvery_(syncEvery) {
    thread_.setObjectName(QStringLiteral("results store"));
    worker_->moveToThread(&thread_);
    thread_.start();
    Post([this] {
        syncTimer_ = new QTimer(worker_);
        QObject::connect(syncTimer_, &QTimer::timeout, worker_,
                         [this] { SyncNow(Reporting::OnlyNews); });
        syncTimer_->start(syncEvery_);
    });
}

BackgroundKeeper::~BackgroundKeeper() {
    // Runs after everything handed over before: nothing is dropped.
    Post([this] {
        delete syncTimer_;
        syncTimer_ = nullptr;
        keeper_.reset();  // its database connections end on the thread that made them
        thread_.quit();
    });
    thread_.wait();
    delete worker_;
}

void BackgroundKeeper::Post(std::function<void()> work) {
    QMetaObject::invokeMethod(worker_, std::move(work), Qt::QueuedConnection);
}

void BackgroundKeeper::Report(KeepReport report) {
    QMetaObject::invokeMethod(
        context_, [report = std::move(report), tell = report_] { tell(report); },
        Qt::QueuedConnection);
}

void BackgroundKeeper::SetStore(std::optional<StoreUrl> url, std::string spoolFolder) {
    Post([this, url = std::move(url), folder = std::move(spoolFolder)] {
        keeper_.reset();
        spoolHeld_ = false;
        if (url) {
            keeper_ = std::make_unique<ResultKeeper>(*url, folder, retryAfter_);
        }
    });
}

void BackgroundKeeper::SetRetryDelay(std::chrono::milliseconds retryAfter) {
    Post([this, retryAfter] { retryAfter_ = retryAfter; });
}

void BackgroundKeeper::Keep(Result result) {
    Post([this, result = std::move(result)] {
        if (!keeper_) {
            return;
        }
        const KeepStatus status = keeper_->Keep(result);
        const bool heldBefore = spoolHeld_;
        spoolHeld_ = status.outcome == KeepOutcome::Spooled;
        KeepReport report;
        report.id = result.id;
        report.outcome = status.outcome;
        report.message = status.message;
        report.cause = status.cause;
        Report(std::move(report));
        if (heldBefore &&
            (status.outcome == KeepOutcome::Stored || status.outcome == KeepOutcome::Noted)) {
            // Keep pushed the spool first: say so, and how much is left.
            SyncNow(Reporting::Always);
        }
    });
}

void BackgroundKeeper::Sync() {
    Post([this] { SyncNow(Reporting::Always); });
}

void BackgroundKeeper::Flush() {
    QSemaphore done;
    Post([&done] { done.release(); });
    done.acquire();
}

// On the keeper's thread. Reporting::OnlyNews: a spool with nothing in it and
// nothing pushed is not worth a report.
void BackgroundKeeper::SyncNow(Reporting when) {
    const bool quietWhenEmpty = when == Reporting::OnlyNews;
    if (!keeper_) {
        return;
    }
    const SyncReport sync = keeper_->Sync();
    KeepReport report;
    report.pushed = sync.pushed;
    report.left = sync.left.value_or(-1);
    report.quarantine = sync.quarantine;
    if (!sync.status) {
        report.kind = KeepReport::Kind::Failed;
        report.message = sync.status.message;
        if (quietWhenEmpty && !spoolHeld_) {
            return;  // the failure of the result itself was told already
        }
    } else {
        report.kind = KeepReport::Kind::Synced;
        if (quietWhenEmpty && sync.pushed == 0) {
            return;
        }
    }
    if (sync.status && sync.left == 0) {
        spoolHeld_ = false;
    }
    Report(std::move(report));
}

}  // namespace zx840
