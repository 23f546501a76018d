// The layout of a results store and the migrations that bring an older
// store up to date. Each step runs in the transaction that checks the
// version, so a store is at one version or the next, never in between.
#pragma once

#include <QSqlDatabase>
#include <optional>
#include <string>

#include "store/store_url.h"

namespace zx840 {

// The version this program writes. Version 1 kept no verdicts; version 2
// adds the verdict, the plan name, the failed checks and the verdict JSON;
// version 3 an index that holds everything the statistics of a type read;
// version 4 the indices of the list in time order; version 5 the derived
// quantities (analysis/power_quality.h), computed for the results kept.
inline constexpr int kStoreSchemaVersion = 5;
// The first version with the derived quantities' columns.
inline constexpr int kDerivedColumnsSchemaVersion = 5;

// The oldest version a store opened only for reading may have: the later
// ones add indices, and columns that a reader of an older store computes.
inline constexpr int kOldestReadableSchemaVersion = 2;

struct MigrationResult {
    bool ok = false;
    int foundVersion = 0;  // the version the store had (0: a new, empty store)
    std::string error;     // what went wrong, for the operator
};

// Brings the store behind `db` to `target` (at most kStoreSchemaVersion).
// A store of a newer version than this program knows is refused and left
// as it was.
MigrationResult MigrateStore(QSqlDatabase& db, StoreKind kind, int target = kStoreSchemaVersion);

// The schema version of the store behind `db`, read without changing
// anything: 0 for a database without a store. Nothing, with `error` set,
// when it cannot be read or the database holds results of something else.
std::optional<int> ReadSchemaVersion(QSqlDatabase& db, StoreKind kind, std::string* error);
// Why a store of schema `version`, newer than this program knows, is refused.
std::string NewerStoreText(int version);

}  // namespace zx840
