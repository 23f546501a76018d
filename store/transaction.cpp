#include "store/transaction.h"

#include <QSqlQuery>
#include <utility>

namespace zx840 {

Transaction::Transaction(QSqlDatabase db, StoreKind kind, Lock lock)
    : db_(std::move(db)), lock_(lock) {
    if (lock_ == Lock::AsNeeded) {
        open_ = db_.transaction();
        if (!open_) {
            error_ = db_.lastError();
        }
        return;
    }
    QSqlQuery query(db_);
    if (kind == StoreKind::Sqlite) {
        open_ = query.exec("BEGIN IMMEDIATE");
    } else {
        open_ = db_.transaction() && query.exec("SELECT pg_advisory_xact_lock(840840)");
    }
    if (!open_) {
        // A transaction the driver could not begin leaves the statement's
        // error empty: the connection's says why.
        error_ = query.lastError();
        if (const QString text = error_.text(); text.isEmpty() || text == " ") {
            error_ = db_.lastError();
        }
    }
}

Transaction::~Transaction() {
    // A connection the server dropped is no longer open, and asking the
    // driver to roll back on it only prints a warning of its own beside the
    // message that already says what happened.
    if (open_ && db_.isOpen() && !db_.isOpenError()) {
        db_.rollback();
    }
}

bool Transaction::Commit() {
    bool done = false;
    if (lock_ == Lock::AsNeeded) {
        done = db_.commit();
        if (!done) {
            error_ = db_.lastError();
        }
    } else {
        QSqlQuery query(db_);
        done = query.exec("COMMIT");
        if (!done) {
            error_ = query.lastError();
        }
    }
    open_ = !done;
    return done;
}

}  // namespace zx840
