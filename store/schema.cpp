#include "store/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QVariant>
#include <vector>

#include "store/result_rows.h"
#include "store/transaction.h"

namespace zx840 {
namespace {

// Statements of each step, with the column types that differ between the
// two databases written as {REAL}, {BLOB} and {BIGINT}.
const std::vector<std::vector<const char*>> kSteps = {
    // 0 -> 1: the results, indexed for a product's history and for time.
    {
        "CREATE TABLE schema_version (version INTEGER NOT NULL)",
        "INSERT INTO schema_version (version) VALUES (0)",
        "CREATE TABLE results ("
        " id TEXT PRIMARY KEY,"
        " time_ms {BIGINT} NOT NULL,"
        " station TEXT NOT NULL,"
        " program_version TEXT NOT NULL,"
        " source TEXT NOT NULL,"
        " manufacturer TEXT NOT NULL, product_type TEXT NOT NULL,"
        " product_number INTEGER NOT NULL, temperature TEXT NOT NULL, humidity TEXT NOT NULL,"
        " operator_name TEXT NOT NULL, inspector TEXT NOT NULL, testday TEXT NOT NULL,"
        " data_valid INTEGER NOT NULL,"
        " readings {BLOB} NOT NULL,"
        " urms {REAL}, irms {REAL}, upeak {REAL}, ipeak {REAL}, ucf {REAL}, icf {REAL},"
        " power {REAL}, pf {REAL}, freq {REAL}, start_angle {REAL}, peak_angle {REAL},"
        " end_angle {REAL}, uthd_percent {REAL}, ithd_percent {REAL})",
        // The spectra and the waveforms, nine tenths of a result, apart: a
        // query over many results reads only the small rows.
        "CREATE TABLE result_arrays ("
        " id TEXT PRIMARY KEY,"
        " uspec {BLOB} NOT NULL, ispec {BLOB} NOT NULL, uwave {BLOB} NOT NULL,"
        " iwave {BLOB} NOT NULL)",
        "CREATE INDEX results_type_number ON results (product_type, product_number, time_ms)",
        "CREATE INDEX results_number ON results (product_number, time_ms)",
        "CREATE INDEX results_time ON results (time_ms)",
    },
    // 1 -> 2: verdicts.
    {
        "ALTER TABLE results ADD COLUMN verdict_pass INTEGER",
        "ALTER TABLE results ADD COLUMN plan_name TEXT",
        "ALTER TABLE results ADD COLUMN failed_checks TEXT",
        "ALTER TABLE results ADD COLUMN verdict_json TEXT",
    },
    // 2 -> 3: the statistics of a type read from one index alone.
    {
        "CREATE INDEX results_type_readings ON results (product_type, time_ms, verdict_pass,"
        " urms, irms, upeak, ipeak, ucf, icf, power, pf, freq, start_angle, peak_angle,"
        " end_angle, uthd_percent, ithd_percent)",
    },
    // 3 -> 4: the list in time order read from one index alone, so a page
    // deep in a long list is found by counting index entries, not results;
    // the same for the list of one product type.
    {
        "CREATE INDEX results_time_id ON results (time_ms, id)",
        "DROP INDEX results_time",
        "CREATE INDEX results_type_time_id ON results (product_type, time_ms, id)",
    },
    // 4 -> 5: the derived quantities, for lists that leave the waveforms
    // out (FillDerivedColumns computes them for the results already kept),
    // and the counts by station and type from one index.
    {
        "ALTER TABLE results ADD COLUMN displacement_pf {REAL}",
        "ALTER TABLE results ADD COLUMN phase_angle {REAL}",
        "ALTER TABLE results ADD COLUMN distortion_factor {REAL}",
        "ALTER TABLE results ADD COLUMN ithd_r {REAL}",
        "ALTER TABLE results ADD COLUMN uthd_r {REAL}",
        "ALTER TABLE results ADD COLUMN k_factor {REAL}",
        "ALTER TABLE results ADD COLUMN apparent_power {REAL}",
        "ALTER TABLE results ADD COLUMN reactive_power {REAL}",
        // The line's counts by station and type (the dashboard's metrics)
        // read from one index alone.
        "CREATE INDEX results_station_type ON results (station, product_type, verdict_pass,"
        " time_ms)",
    },
};

// The version whose statements are followed by FillDerivedColumns.
constexpr int kDerivedVersion = kDerivedColumnsSchemaVersion;

QString ForDatabase(const char* statement, StoreKind kind) {
    QString text = QString::fromUtf8(statement);
    const bool pg = kind == StoreKind::Postgresql;
    text.replace("{REAL}", pg ? "DOUBLE PRECISION" : "REAL");
    text.replace("{BLOB}", pg ? "BYTEA" : "BLOB");
    text.replace("{BIGINT}", pg ? "BIGINT" : "INTEGER");
    return text;
}

}  // namespace

std::optional<int> ReadSchemaVersion(QSqlDatabase& db, StoreKind kind, std::string* error) {
    QSqlQuery query(db);
    const char* exists = kind == StoreKind::Sqlite
                             ? "SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name = "
                               "'schema_version'"
                             : "SELECT count(*) FROM information_schema.tables WHERE table_name = "
                               "'schema_version' AND table_schema = current_schema()";
    if (!query.exec(exists) || !query.next()) {
        *error = query.lastError().text().toStdString();
        return std::nullopt;
    }
    if (query.value(0).toInt() > 0) {
        if (!query.exec("SELECT max(version) FROM schema_version") || !query.next()) {
            *error = query.lastError().text().toStdString();
            return std::nullopt;
        }
        return query.value(0).toInt();
    }
    const char* any = kind == StoreKind::Sqlite
                          ? "SELECT count(*) FROM sqlite_master WHERE name = 'results'"
                          : "SELECT count(*) FROM information_schema.tables WHERE "
                            "table_name = 'results' AND table_schema = current_schema()";
    if (query.exec(any) && query.next() && query.value(0).toInt() > 0) {
        *error =
            "it holds a table of results but no schema version: it is not a "
            "results store of this program";
        return std::nullopt;
    }
    return 0;
}

std::string NewerStoreText(int version) {
    return "it was written by a newer program (schema version " + std::to_string(version) +
           "; this program knows up to " + std::to_string(kStoreSchemaVersion) +
           "). It was left untouched; use a newer program";
}

MigrationResult MigrateStore(QSqlDatabase& db, StoreKind kind, int target) {
    MigrationResult result;
    Transaction transaction(db, kind, Transaction::Lock::Store);
    if (!transaction.Begun()) {
        result.error = transaction.Error().text().toStdString();
        return result;
    }
    const std::optional<int> found = ReadSchemaVersion(db, kind, &result.error);
    if (!found) {
        return result;
    }
    result.foundVersion = *found;
    if (result.foundVersion > kStoreSchemaVersion) {
        result.error = NewerStoreText(result.foundVersion);
        return result;
    }
    QSqlQuery query(db);
    for (int version = result.foundVersion; version < target; ++version) {
        for (const char* statement : kSteps[static_cast<std::size_t>(version)]) {
            if (!query.exec(ForDatabase(statement, kind))) {
                result.error = "the update of the store to schema version " +
                               std::to_string(version + 1) +
                               " failed: " + query.lastError().text().toStdString();
                return result;
            }
        }
        if (version + 1 == kDerivedVersion && !FillDerivedColumns(db, &result.error)) {
            result.error = "the update of the store to schema version 5 failed: " + result.error;
            return result;
        }
        query.prepare("UPDATE schema_version SET version = ?");
        query.addBindValue(version + 1);
        if (!query.exec()) {
            result.error = query.lastError().text().toStdString();
            return result;
        }
    }
    if (result.foundVersion < target && !transaction.Commit()) {
        result.error = transaction.Error().text().toStdString();
        return result;
    }
    result.ok = true;
    return result;
}

}  // namespace zx840
