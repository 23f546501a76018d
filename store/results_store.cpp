#include "store/results_store.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUrl>
#include <QUuid>
#include <QVariant>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <initializer_list>
#include <limits>
#include <system_error>

#include "store/private_files.h"
#include "store/result_rows.h"
#include "store/schema.h"
#include "store/transaction.h"

namespace zx840 {
namespace {

// A whole result as a list without its arrays gives it: the derived
// quantities kept, the spectra but their fundamentals and the waveforms 0.
void ListedWithoutArrays(Result& result) {
    result.derived = ComputeDerived(result.working.Record);
    MeasurementRecord& m = result.working.Record;
    const float u1 = m.USpec[0];
    const float i1 = m.ISpec[0];
    m.USpec = {};
    m.ISpec = {};
    m.UWave = {};
    m.IWave = {};
    m.USpec[0] = u1;
    m.ISpec[0] = i1;
}

// Every result with its arrays, and one whose arrays are missing as well
// (it reads as damaged rather than not at all).
constexpr char kJoinArrays[] = " LEFT JOIN result_arrays ON result_arrays.id = results.id";
constexpr char kSqliteOptions[] = "QSQLITE_BUSY_TIMEOUT=10000";

QString Text(const std::string& text) {
    return StoreText(text);
}

std::string Describe(const StoreUrl& url, const QString& driverText) {
    std::string text = Scrubbed(driverText.simplified().toStdString(), url.password);
    if (text.find("password authentication failed") != std::string::npos ||
        text.find("no password supplied") != std::string::npos) {
        return "the server refused the user name or password (" + text + ")";
    }
    if (text.find("Connection refused") != std::string::npos) {
        return "the server does not answer (" + text + ")";
    }
    return text;
}

// What libpq says when the server answered and refused the login.
constexpr std::initializer_list<const char*> kLoginRefusals = {
    "password authentication failed", "no password supplied",        "does not exist",
    "no pg_hba.conf entry",           "server does not support SSL", "SSL off",
    "certificate verify failed",      "Ident authentication failed", "Peer authentication failed"};

// The primary SQLite result code of an error (the driver gives extended ones).
int SqliteCode(const QSqlError& error) {
    bool number = false;
    const int code = error.nativeErrorCode().toInt(&number);
    return number ? code & 0xFF : 0;
}

// What a failed statement means. The store answered and refused the
// content: a constraint, a value it cannot hold (PostgreSQL's classes 22,
// 23 and 54; SQLite's CONSTRAINT, TOOBIG and MISMATCH). The SQLite file is
// damaged (CORRUPT, NOTADB). Anything else (a lost connection, a full
// disk, a lock, a permission) is the store being unusable for now.
StoreStatus::Kind KindOf(const QSqlError& error, StoreKind store) {
    if (store == StoreKind::Sqlite) {
        switch (SqliteCode(error)) {
            case 18:
            case 19:
            case 20:
                return StoreStatus::Kind::Refused;
            case 11:
            case 26:
                return StoreStatus::Kind::Damaged;
            default:
                return StoreStatus::Kind::Unavailable;
        }
    }
    // A login the server refused carries no state of its own (libpq fails
    // before any statement): its words tell.
    const QString text = error.text();
    for (const char* refusal : error.type() == QSqlError::ConnectionError
                                   ? kLoginRefusals
                                   : std::initializer_list<const char*>{}) {
        if (text.contains(QLatin1String(refusal))) {
            return StoreStatus::Kind::Configuration;
        }
    }
    const QString state = error.nativeErrorCode();
    const bool content = state.size() == 5 && (state.startsWith(QLatin1String("22")) ||
                                               state.startsWith(QLatin1String("23")) ||
                                               state.startsWith(QLatin1String("54")));
    return content ? StoreStatus::Kind::Refused : StoreStatus::Kind::Unavailable;
}

// The libpq options of the URL as the driver takes them: KEY='VALUE'
// separated by ';' (ParseStoreUrl refuses a value with a ';').
QString PostgresOptions(const StoreUrl& url) {
    QStringList options;
    bool timeout = false;
    for (const auto& [key, value] : url.options) {
        QString quoted = QString::fromStdString(value);
        quoted.replace(QLatin1String("\\"), QLatin1String("\\\\"));
        quoted.replace(QLatin1String("'"), QLatin1String("\\'"));
        options << QString::fromStdString(key) + "='" + quoted + "'";
        timeout = timeout || key == "connect_timeout";
    }
    if (!timeout) {
        options << QStringLiteral("connect_timeout=5");
    }
    return options.join(';');
}

// Opens `db` and reads from it: the file must be an SQLite database before
// anything is changed. No error when both went well.
QSqlError OpenAndProbe(QSqlDatabase& db) {
    if (!db.open()) {
        return db.lastError();
    }
    QSqlQuery probe(db);
    if (!probe.exec("SELECT count(*) FROM sqlite_master") || !probe.next()) {
        return probe.lastError();
    }
    return {};
}

bool WalInUse(const std::string& path) {
    std::error_code error;
    const auto size = std::filesystem::file_size(path + "-wal", error);
    return !error && size > 0;
}

}  // namespace

ResultsStore::ResultsStore(const StoreUrl& url, QString connection)
    : url_(url), connection_(std::move(connection)) {}

ResultsStore::~ResultsStore() {
    insert_.reset();
    insertArrays_.reset();
    {
        QSqlDatabase db = QSqlDatabase::database(connection_, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(connection_);
}

StoreStatus ResultsStore::Fail(const std::string& what, const QSqlError& error) const {
    return StoreStatus::Failed("Cannot " + what + " the results store " + url_.Display() + ": " +
                                   Describe(url_, error.text()),
                               KindOf(error, url_.kind));
}

std::unique_ptr<ResultsStore> ResultsStore::Open(const StoreUrl& url, StoreStatus* status,
                                                 Journal journal, Access access) {
    const QString connection = "zx840-" + QUuid::createUuid().toString(QUuid::WithoutBraces);
    std::unique_ptr<ResultsStore> store(new ResultsStore(url, connection));
    const bool sqlite = url.kind == StoreKind::Sqlite;
    const QString driver = sqlite ? "QSQLITE" : "QPSQL";
    if (!QSqlDatabase::isDriverAvailable(driver)) {
        *status = StoreStatus::Failed("Cannot open the results store " + url.Display() +
                                      ": the Qt SQL driver " + driver.toStdString() +
                                      " is not installed (package " +
                                      (sqlite ? "libqt6sql6-sqlite" : "libqt6sql6-psql") + ")");
        return nullptr;
    }
    QSqlDatabase::addDatabase(driver, connection);
    if (*status = store->OpenConnection(access); !*status) {
        return nullptr;
    }
    QSqlDatabase db = QSqlDatabase::database(connection, false);
    const std::string usable = "Cannot use the results store " + url.Display() + ": ";
    if (access == Access::ReadOnly) {
        std::string error;
        const std::optional<int> version = ReadSchemaVersion(db, url.kind, &error);
        if (version && *version > kStoreSchemaVersion) {
            error = NewerStoreText(*version);
        } else if (version && *version == 0) {
            error = "it holds no results store";
        } else if (version && *version < kOldestReadableSchemaVersion) {
            error = "it was written by an older program (schema version " +
                    std::to_string(*version) +
                    ") and is brought up to date only by a program that may write it, such as "
                    "zx840-cli sync by its owner";
        }
        *status = error.empty() ? StoreStatus{} : StoreStatus::Failed(usable + error);
        store->derivedColumns_ = version.value_or(0) >= kDerivedColumnsSchemaVersion;
        return *status ? std::move(store) : nullptr;
    }
    const MigrationResult migration = MigrateStore(db, url.kind);
    if (!migration.ok) {
        *status = StoreStatus::Failed(usable + Scrubbed(migration.error, url.password));
        return nullptr;
    }
    *status = store->PrepareWriting(journal);
    return *status ? std::move(store) : nullptr;
}

StoreStatus ResultsStore::OpenConnection(Access access) {
    const bool readOnly = access == Access::ReadOnly;
    return url_.kind == StoreKind::Postgresql ? OpenPostgresql(readOnly) : OpenSqlite(readOnly);
}

StoreStatus ResultsStore::OpenPostgresql(bool readOnly) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!url_.host.empty()) {
        db.setHostName(Text(url_.host));
    }
    db.setPort(url_.port);
    db.setDatabaseName(Text(url_.database));
    db.setUserName(Text(url_.user));
    // Without a password in the URL, libpq takes PGPASSWORD or ~/.pgpass.
    db.setPassword(Text(url_.password));
    db.setConnectOptions(PostgresOptions(url_));
    if (!db.open()) {
        return Fail("open", db.lastError());
    }
    QSqlQuery readOnlyQuery(db);
    if (readOnly && !readOnlyQuery.exec("SET SESSION CHARACTERISTICS AS TRANSACTION READ ONLY")) {
        return Fail("open", readOnlyQuery.lastError());
    }
    return {};
}

StoreStatus ResultsStore::OpenSqlite(bool readOnly) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    const std::string cannot = "Cannot open the results store " + url_.Display() + ": ";
    std::error_code missing;
    if (readOnly && !std::filesystem::exists(url_.path, missing)) {
        return StoreStatus::Failed(cannot + "there is no such file");
    }
    if (!readOnly) {
        const std::string folder = std::filesystem::path(url_.path).parent_path().string();
        std::string error;
        if (!folder.empty() && !MakePrivateFolders(folder, &error)) {
            return StoreStatus::Failed(cannot + error);
        }
        if (InDataFolder(url_.path)) {
            TightenOwnStoreFiles(url_.path);
        }
        if (!CreatePrivateFile(url_.path, &error)) {
            return StoreStatus::Failed(cannot + error);
        }
    }
    db.setDatabaseName(Text(url_.path));
    db.setConnectOptions(readOnly ? QString("QSQLITE_OPEN_READONLY;") + kSqliteOptions
                                  : QString(kSqliteOptions));
    QSqlError error = OpenAndProbe(db);
    if (error.isValid() && readOnly && SqliteCode(error) == 8 && !WalInUse(url_.path)) {
        // A store in WAL mode needs a -shm file beside it, which a reader
        // who may not write the folder cannot make. With no -wal file every
        // result is in the database file itself: it is read as it is.
        db.close();
        const QUrl uri = QUrl::fromLocalFile(
            QString::fromStdString(std::filesystem::absolute(url_.path, missing).string()));
        db.setDatabaseName(uri.toString(QUrl::FullyEncoded) + "?mode=ro&immutable=1");
        db.setConnectOptions(QString("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;") + kSqliteOptions);
        error = OpenAndProbe(db);
    }
    return error.isValid() ? Fail("open", error) : StoreStatus{};
}

StoreStatus ResultsStore::PrepareWriting(Journal journal) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (url_.kind == StoreKind::Sqlite) {
        QSqlQuery pragma(db);
        // WAL for the store (readers never wait for the writer); the spool
        // keeps a rollback journal, which needs no room beyond the change.
        pragma.exec(journal == Journal::Wal ? "PRAGMA journal_mode=WAL"
                                            : "PRAGMA journal_mode=DELETE");
    }
    insert_ = std::make_unique<QSqlQuery>(db);
    insertArrays_ = std::make_unique<QSqlQuery>(db);
    if (!insert_->prepare(InsertSql("results", kResultColumns))) {
        return Fail("prepare writing to", insert_->lastError());
    }
    if (!insertArrays_->prepare(InsertSql("result_arrays", kArrayColumns))) {
        return Fail("prepare writing to", insertArrays_->lastError());
    }
    return {};
}

StoreStatus ResultsStore::Insert(const Result& result, bool* inserted) {
    BindResult(*insert_, result);
    if (!insert_->exec()) {
        return Fail("write to", insert_->lastError());
    }
    const bool added = insert_->numRowsAffected() > 0;
    if (added) {
        BindArrays(*insertArrays_, result);
        if (!insertArrays_->exec()) {
            return Fail("write to", insertArrays_->lastError());
        }
    }
    if (inserted != nullptr) {
        *inserted = added;
    }
    return {};
}

StoreStatus ResultsStore::Write(const Result& result, bool* inserted) {
    std::int64_t added = 0;
    const StoreStatus status = WriteAll(std::span<const Result>(&result, 1), &added);
    if (inserted != nullptr) {
        *inserted = added > 0;
    }
    return status;
}

StoreStatus ResultsStore::WriteAll(std::span<const Result> results, std::int64_t* inserted) {
    if (!insert_) {
        return StoreStatus::Failed("Cannot write to the results store " + url_.Display() +
                                   ": it was opened only to read");
    }
    Transaction transaction(QSqlDatabase::database(connection_, false), url_.kind);
    if (!transaction.Begun()) {
        return Fail("write to", transaction.Error());
    }
    std::int64_t added = 0;
    for (const Result& result : results) {
        bool one = false;
        if (const StoreStatus status = Insert(result, &one); !status) {
            return status;
        }
        added += one ? 1 : 0;
    }
    if (!transaction.Commit()) {
        return Fail("write to", transaction.Error());
    }
    if (inserted != nullptr) {
        *inserted = added;
    }
    return {};
}

StoreStatus ResultsStore::ForEachId(const QStringList& statements,
                                    const std::vector<std::string>& ids) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    Transaction transaction(db, url_.kind);
    if (!transaction.Begun()) {
        return Fail("write to", transaction.Error());
    }
    for (const QString& statement : statements) {
        QSqlQuery query(db);
        query.prepare(statement);
        for (const std::string& id : ids) {
            query.addBindValue(Text(id));
            if (!query.exec()) {
                return Fail("write to", query.lastError());
            }
        }
    }
    if (!transaction.Commit()) {
        return Fail("write to", transaction.Error());
    }
    return {};
}

StoreStatus ResultsStore::Remove(const std::vector<std::string>& ids) {
    return ForEachId({"DELETE FROM results WHERE id = ?", "DELETE FROM result_arrays WHERE id = ?"},
                     ids);
}

StoreStatus ResultsStore::MoveTo(const std::string& path, const std::vector<std::string>& ids) {
    if (url_.kind != StoreKind::Sqlite) {
        return StoreStatus::Failed("Results are moved out of an SQLite store only");
    }
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    QSqlQuery attach(db);
    attach.prepare("ATTACH DATABASE ? AS moved");
    attach.addBindValue(QString::fromStdString(path));
    if (!attach.exec()) {
        return Fail("write to", attach.lastError());
    }
    const auto copy = [](const char* table, std::span<const ResultColumn> columns) {
        return QString("INSERT OR IGNORE INTO moved.%1 (%2) SELECT %2 FROM main.%1 WHERE id = ?")
            .arg(table, ColumnList(columns));
    };
    const StoreStatus status = ForEachId(
        {copy("results", kResultColumns), copy("result_arrays", kArrayColumns),
         "DELETE FROM main.results WHERE id = ?", "DELETE FROM main.result_arrays WHERE id = ?"},
        ids);
    QSqlQuery(db).exec("DETACH DATABASE moved");
    return status;
}

StoreStatus ResultsStore::Find(const ResultFilter& filter, std::int64_t offset, std::int64_t limit,
                               Detail detail, std::vector<Result>& found,
                               std::vector<std::string>* damaged) {
    const Where where(filter);
    QString page = " ORDER BY time_ms DESC, results.id DESC";
    if (limit >= 0) {
        page += " LIMIT " + QString::number(limit);
    } else if (offset > 0) {
        page += url_.kind == StoreKind::Sqlite ? " LIMIT -1" : " LIMIT ALL";
    }
    if (offset > 0) {
        page += " OFFSET " + QString::number(offset);
    }
    // A store older than the derived columns, open only to read: their
    // values computed from the whole result.
    const Detail read = derivedColumns_ ? detail : Detail::Full;
    QString sql =
        "SELECT " +
        FoundColumns(read, derivedColumns_ ? DerivedColumns::Stored : DerivedColumns::Absent) +
        " FROM results" + (read == Detail::Full ? kJoinArrays : "");
    if (offset > 0) {
        // The ids of the page first, counted off the index of time and id,
        // then only those results: skipping a million entries of an index
        // takes milliseconds, skipping a million results a second.
        sql += " WHERE results.id IN (SELECT results.id FROM results" + where.text + page + ")" +
               " ORDER BY time_ms DESC, results.id DESC";
    } else {
        sql += where.text + page;
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(sql);
    where.Bind(query);
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    while (query.next()) {
        Result result;
        if (!ReadResult(query, read, &result)) {
            if (damaged != nullptr) {
                damaged->push_back(result.id);
                continue;
            }
            return StoreStatus::Failed("The results store " + url_.Display() +
                                           " holds a damaged result (" + result.id + ")",
                                       StoreStatus::Kind::Damaged);
        }
        if (detail == Detail::Summary && !derivedColumns_) {
            ListedWithoutArrays(result);
        }
        found.push_back(std::move(result));
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    return {};
}

StoreStatus ResultsStore::Scan(const ResultFilter& filter, std::int64_t limit, Detail detail,
                               const std::function<bool(const Result&)>& visit,
                               std::int64_t pageRows) {
    const std::int64_t pageSize = std::max<std::int64_t>(pageRows, 1);
    ResultFilter next = filter;
    std::int64_t left = limit < 0 ? std::numeric_limits<std::int64_t>::max() : limit;
    std::vector<Result> page;
    while (left > 0) {
        page.clear();
        const std::int64_t take = std::min(left, pageSize);
        if (const StoreStatus status = Find(next, 0, take, detail, page); !status) {
            return status;
        }
        for (const Result& result : page) {
            if (!visit(result)) {
                return {};
            }
        }
        if (static_cast<std::int64_t>(page.size()) < take) {
            break;
        }
        left -= take;
        next.after = ResultKey{page.back().timeMs, page.back().id};
    }
    return {};
}

StoreStatus ResultsStore::PageKeys(const ResultFilter& filter, std::int64_t every,
                                   std::int64_t limit, std::vector<ResultKey>& keys) {
    if (every < 1) {
        return {};
    }
    // Numbered in the engine, which walks the index of time and id: only
    // the keys wanted come out, a few thousand of a million.
    const Where where(filter);
    const QString rows =
        limit < 0 ? QString()
                  : " ORDER BY time_ms DESC, results.id DESC LIMIT " + QString::number(limit);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(
        "SELECT time_ms, id FROM (SELECT time_ms, id, row_number() OVER "
        "(ORDER BY time_ms DESC, id DESC) AS n FROM (SELECT time_ms, results.id AS id "
        "FROM results" +
        where.text + rows + ") AS taken) AS numbered WHERE n % " + QString::number(every) +
        " = 0 ORDER BY n");
    where.Bind(query);
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    while (query.next()) {
        keys.push_back({query.value(0).toLongLong(), query.value(1).toString().toStdString()});
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    return {};
}

StoreStatus ResultsStore::Count(const ResultFilter& filter, std::int64_t* count) {
    const Where where(filter);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT count(*) FROM results" + where.text);
    where.Bind(query);
    if (!query.exec() || !query.next()) {
        return Fail("read", query.lastError());
    }
    *count = query.value(0).toLongLong();
    return {};
}

}  // namespace zx840
