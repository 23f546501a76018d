#include "app/open_queue.h"

#include <QFileInfo>

#include "app/zx840_doc.h"
#include "record/product_identity.h"
#include "session/meter_session.h"
#include "view/operator_report.h"

namespace zx840 {

OpenQueue::OpenQueue(MeterSession& session, CZX840ENDoc& document, QWidget* window,
                     std::function<bool(const QString&)> open)
    : session_(session), document_(document), window_(window), open_(std::move(open)) {}

void OpenQueue::Request(const QString& path) {
    if (waiting_.size() >= kMaxWaiting) {
        ++dropped_;
    } else {
        waiting_.append(path);
    }
    session_.WhenIdle(window_, [this] { Run(); });
}

void OpenQueue::Drop() {
    waiting_.clear();
    ForgetFailures();
}

void OpenQueue::ForgetFailures() {
    failures_.clear();
    lastFailure_.clear();
    unlisted_ = 0;
    dropped_ = 0;
}

// Carries out the waiting requests, then reports their failures in one box.
// Requests that come while that box is open only queue up: they are carried
// out when it is closed, and their failures shown together in the next box.
void OpenQueue::Run() {
    if (report_ != nullptr) {
        return;
    }
    while (!waiting_.isEmpty()) {
        if (session_.ExchangeInProgress()) {
            // One started while an open waited in a dialog: the rest follow it.
            session_.WhenIdle(window_, [this] { Run(); });
            return;
        }
        OpenOne(waiting_.takeFirst());
    }
    Report();
}

void OpenQueue::OpenOne(const QString& path) {
    document_.SetFailureSink([this, &path](const QString& reason) {
        if (failures_.size() < kMaxListedFailures) {
            failures_.append(QStringLiteral("%1: %2").arg(
                QFileInfo(path).fileName(),
                QString(reason).replace(QLatin1Char('\n'), QLatin1Char(' '))));
            lastFailure_ = reason;
        } else {
            ++unlisted_;
        }
    });
    open_(path);
    document_.SetFailureSink({});
}

void OpenQueue::Report() {
    const int failed = static_cast<int>(failures_.size()) + unlisted_;
    if (failed == 0 && dropped_ == 0) {
        return;
    }
    // A single failure reads as it does after Open; several are listed.
    QString text = lastFailure_;
    if (failed != 1 || dropped_ > 0) {
        text = failed == 0 ? QString()
                           : QStringLiteral("%1 files could not be opened:\n").arg(failed) +
                                 failures_.join(QLatin1Char('\n'));
        if (unlisted_ > 0) {
            text += QStringLiteral("\n(and %1 more)").arg(unlisted_);
        }
        if (dropped_ > 0) {
            text += QStringLiteral(
                        "%1%2 more files were handed over while the program was busy "
                        "and were not opened.")
                        .arg(text.isEmpty() ? QString() : QStringLiteral("\n\n"))
                        .arg(dropped_);
        }
    }
    ForgetFailures();
    // Modal as ever, but nobody waits for it: closing it carries on.
    report_ = TellWithoutWaiting(
        window_, {Severity::Critical, QString::fromLatin1(kAppTitle), text}, [this] {
            report_ = nullptr;
            Run();
        });
}

}  // namespace zx840
