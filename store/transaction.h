// A transaction for the length of a scope: begun when made, committed by
// Commit, and taken back when the scope is left without one (a statement
// that failed, an early return). The store begins, commits and takes back
// its transactions here alone.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>

#include "store/store_url.h"

namespace zx840 {

class Transaction {
  public:
    enum class Lock {
        // Begun and committed through the driver; the database takes its
        // locks as the statements need them.
        AsNeeded,
        // The store's write lock held from the start (SQLite's BEGIN
        // IMMEDIATE, PostgreSQL's advisory lock of the store), so that two
        // programs making a new store at one time make it once. Begun and
        // committed by statements, whose own errors say what went wrong.
        Store,
    };

    Transaction(QSqlDatabase db, StoreKind kind, Lock lock = Lock::AsNeeded);
    // Takes the transaction back unless it was committed.
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    // Whether it began; Error() says why not.
    bool Begun() const { return open_; }
    // False, with Error() saying why, when the commit failed: the
    // transaction is then taken back when the scope ends.
    bool Commit();
    const QSqlError& Error() const { return error_; }

  private:
    QSqlDatabase db_;
    Lock lock_;
    bool open_ = false;
    QSqlError error_;
};

}  // namespace zx840
