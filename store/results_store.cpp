#include "store/results_store.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>
#include <QVariant>
#include <cmath>
#include <filesystem>
#include <system_error>

#include "record/json_reader.h"
#include "record/record_json.h"
#include "store/schema.h"

namespace zx840 {
namespace {

// The columns of the plan's readings, in PlanReading order.
constexpr const char* kReadingColumns[kPlanReadings] = {
    "urms", "irms", "upeak",       "ipeak",      "ucf",       "icf",          "power",
    "pf",   "freq", "start_angle", "peak_angle", "end_angle", "uthd_percent", "ithd_percent"};

// The nine readings, the three angles and both fundamentals, kept bit for
// bit in one column (an SQLite REAL cannot hold a NaN); the fundamentals let
// a result be shown whole without its spectra.
constexpr std::size_t kKeptFloats = 14;

constexpr char kColumns[] =
    "id, time_ms, station, program_version, source, manufacturer, product_type, "
    "product_number, temperature, humidity, operator_name, inspector, testday, data_valid, "
    "readings, urms, irms, upeak, ipeak, ucf, icf, power, pf, freq, start_angle, peak_angle, "
    "end_angle, uthd_percent, ithd_percent, verdict_pass, plan_name, failed_checks, verdict_json";
constexpr int kColumnCount = 33;
// The columns Find reads, then the four arrays when full.
constexpr char kFindColumns[] =
    "results.id, time_ms, station, program_version, source, manufacturer, product_type, "
    "product_number, temperature, humidity, operator_name, inspector, testday, data_valid, "
    "readings, verdict_pass, plan_name, failed_checks, verdict_json";
constexpr char kFindArrays[] = ", uspec, ispec, uwave, iwave";
constexpr char kJoinArrays[] = " JOIN result_arrays ON result_arrays.id = results.id";

QByteArray Bytes(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
QString Text(const std::string& text) {
    return QString::fromStdString(text);
}
std::string StdText(const QVariant& value) {
    return value.toString().toStdString();
}
std::string_view View(const QByteArray& bytes) {
    return {bytes.constData(), static_cast<std::size_t>(bytes.size())};
}

// A finite reading, or NULL: queries skip what is not a number.
QVariant Number(double value) {
    return std::isfinite(value) ? QVariant(value) : QVariant(QMetaType::fromType<double>());
}

std::string JoinedChecks(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) {
        joined += (joined.empty() ? "" : ",") + item;
    }
    return joined;
}

std::vector<std::string> SplitChecks(const std::string& joined) {
    std::vector<std::string> items;
    std::size_t start = 0;
    while (start < joined.size()) {
        const std::size_t comma = joined.find(',', start);
        const std::size_t end = comma == std::string::npos ? joined.size() : comma;
        items.push_back(joined.substr(start, end - start));
        start = end + 1;
    }
    return items;
}

void BindResult(QSqlQuery& query, const Result& r) {
    const MeasurementRecord& m = r.working.Record;
    const ConductionAngles& a = r.working.Angles;
    const float kept[kKeptFloats] = {m.Freq,      m.Icf,      m.Ucf,      m.PF,      m.Power,
                                     m.Irms,      m.Urms,     m.Uthd,     m.Ithd,    a.StartAngle,
                                     a.PeakAngle, a.EndAngle, m.USpec[0], m.ISpec[0]};
    query.addBindValue(Text(r.id));
    query.addBindValue(static_cast<qlonglong>(r.timeMs));
    query.addBindValue(Text(r.station));
    query.addBindValue(Text(r.programVersion));
    query.addBindValue(QString::fromUtf8(ResultSourceName(r.source)));
    query.addBindValue(Text(r.mark.Manufacturer));
    query.addBindValue(Text(r.mark.Type));
    query.addBindValue(r.mark.Number);
    query.addBindValue(Text(r.mark.Temperature));
    query.addBindValue(Text(r.mark.Humidity));
    query.addBindValue(Text(r.mark.Operator));
    query.addBindValue(Text(r.mark.Inspector));
    query.addBindValue(Text(r.mark.Testday));
    query.addBindValue(static_cast<int>(r.working.DataValid));
    query.addBindValue(Bytes(FloatBytes(kept, kKeptFloats)));
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        query.addBindValue(Number(PlanReadingValue(static_cast<PlanReading>(i), r.working)));
    }
    if (r.verdict) {
        query.addBindValue(r.verdict->pass ? 1 : 0);
        query.addBindValue(Text(r.verdict->plan));
        query.addBindValue(Text(JoinedChecks(r.verdict->failedChecks)));
        query.addBindValue(Text(r.verdict->json));
    } else {
        query.addBindValue(QVariant(QMetaType::fromType<int>()));
        for (int i = 0; i < 2; ++i) {
            query.addBindValue(QVariant(QMetaType::fromType<QString>()));
        }
        // No verdict: why, when a plan was to judge it.
        query.addBindValue(r.unjudged.empty()
                               ? QVariant(QMetaType::fromType<QString>())
                               : QVariant(Text("{\"Unjudged\":" + JsonString(r.unjudged) + "}")));
    }
}

void BindArrays(QSqlQuery& query, const Result& r) {
    const MeasurementRecord& m = r.working.Record;
    query.addBindValue(QString::fromStdString(r.id));
    query.addBindValue(Bytes(FloatBytes(m.USpec.data(), m.USpec.size())));
    query.addBindValue(Bytes(FloatBytes(m.ISpec.data(), m.ISpec.size())));
    query.addBindValue(Bytes(IntBytes(m.UWave.data(), m.UWave.size())));
    query.addBindValue(Bytes(IntBytes(m.IWave.data(), m.IWave.size())));
}

// A result from a row of kFindColumns (and kFindArrays when `full`). False
// when a stored array has the wrong size.
bool ReadResult(const QSqlQuery& q, bool full, Result& r) {
    r.id = StdText(q.value(0));
    r.timeMs = q.value(1).toLongLong();
    r.station = StdText(q.value(2));
    r.programVersion = StdText(q.value(3));
    r.source = ResultSourceFromName(StdText(q.value(4))).value_or(ResultSource::Acquisition);
    r.mark.Manufacturer = StdText(q.value(5));
    r.mark.Type = StdText(q.value(6));
    r.mark.Number = q.value(7).toInt();
    r.mark.Temperature = StdText(q.value(8));
    r.mark.Humidity = StdText(q.value(9));
    r.mark.Operator = StdText(q.value(10));
    r.mark.Inspector = StdText(q.value(11));
    r.mark.Testday = StdText(q.value(12));
    r.working.DataValid = static_cast<std::uint8_t>(q.value(13).toInt());
    float kept[kKeptFloats] = {};
    const QByteArray readings = q.value(14).toByteArray();
    if (!FloatsFromBytes(View(readings), kept, kKeptFloats)) {
        return false;
    }
    MeasurementRecord& m = r.working.Record;
    ConductionAngles& a = r.working.Angles;
    m.Freq = kept[0];
    m.Icf = kept[1];
    m.Ucf = kept[2];
    m.PF = kept[3];
    m.Power = kept[4];
    m.Irms = kept[5];
    m.Urms = kept[6];
    m.Uthd = kept[7];
    m.Ithd = kept[8];
    a.StartAngle = kept[9];
    a.PeakAngle = kept[10];
    a.EndAngle = kept[11];
    m.USpec[0] = kept[12];
    m.ISpec[0] = kept[13];
    r.verdict.reset();
    r.unjudged.clear();
    if (q.value(15).isNull() && !q.value(18).isNull()) {
        if (const auto json = ParseJson(StdText(q.value(18)), nullptr)) {
            if (const JsonValue* why = json->Find("Unjudged")) {
                r.unjudged = why->text;
            }
        }
    } else if (!q.value(15).isNull()) {
        ResultVerdict verdict;
        verdict.pass = q.value(15).toInt() == 1;
        verdict.plan = StdText(q.value(16));
        verdict.failedChecks = SplitChecks(StdText(q.value(17)));
        verdict.json = StdText(q.value(18));
        r.verdict = std::move(verdict);
    }
    if (full) {
        const QByteArray us = q.value(19).toByteArray();
        const QByteArray is = q.value(20).toByteArray();
        const QByteArray uw = q.value(21).toByteArray();
        const QByteArray iw = q.value(22).toByteArray();
        return FloatsFromBytes(View(us), m.USpec.data(), m.USpec.size()) &&
               FloatsFromBytes(View(is), m.ISpec.data(), m.ISpec.size()) &&
               IntsFromBytes(View(uw), m.UWave.data(), m.UWave.size()) &&
               IntsFromBytes(View(iw), m.IWave.data(), m.IWave.size());
    }
    return true;
}

// " WHERE ..." for the filter, its values bound in order by Bind.
struct Where {
    QString text;
    std::vector<QVariant> values;

    explicit Where(const ResultFilter& f) {
        QStringList parts;
        const auto add = [&](const char* condition, QVariant value) {
            parts << QString::fromUtf8(condition);
            values.push_back(std::move(value));
        };
        if (f.id) {
            add("results.id = ?", Text(*f.id));
        }
        if (f.type) {
            add("product_type = ?", Text(*f.type));
        }
        if (f.numberFrom && f.numberTo && *f.numberFrom == *f.numberTo) {
            // One number: an equality, which the indices serve in time order.
            add("product_number = ?", *f.numberFrom);
        } else {
            if (f.numberFrom) {
                add("product_number >= ?", *f.numberFrom);
            }
            if (f.numberTo) {
                add("product_number <= ?", *f.numberTo);
            }
        }
        if (f.pass) {
            add("verdict_pass = ?", *f.pass ? 1 : 0);
        }
        if (f.station) {
            add("station = ?", Text(*f.station));
        }
        if (f.sinceMs) {
            add("time_ms >= ?", static_cast<qlonglong>(*f.sinceMs));
        }
        if (f.untilMs) {
            add("time_ms <= ?", static_cast<qlonglong>(*f.untilMs));
        }
        if (!parts.isEmpty()) {
            text = " WHERE " + parts.join(" AND ");
        }
    }
    void Bind(QSqlQuery& query) const {
        for (const QVariant& value : values) {
            query.addBindValue(value);
        }
    }
};

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

}  // namespace

std::optional<double> Cpk(const ReadingStats& stats, const Limit& limit) {
    if (!limit.min || !limit.max || !stats.stdDev || *stats.stdDev <= 0.0) {
        return std::nullopt;
    }
    const double s3 = 3.0 * *stats.stdDev;
    return std::min((*limit.max - stats.mean) / s3, (stats.mean - *limit.min) / s3);
}

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

StoreStatus ResultsStore::Fail(const std::string& what, const QString& driverText) const {
    return StoreStatus::Failed("Cannot " + what + " the results store " + url_.Display() + ": " +
                               Describe(url_, driverText));
}

std::unique_ptr<ResultsStore> ResultsStore::Open(const StoreUrl& url, StoreStatus* status,
                                                 Journal journal) {
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
    QSqlDatabase db = QSqlDatabase::addDatabase(driver, connection);
    if (sqlite) {
        const std::filesystem::path parent = std::filesystem::path(url.path).parent_path();
        if (!parent.empty()) {
            std::error_code ignored;
            std::filesystem::create_directories(parent, ignored);
        }
        db.setDatabaseName(Text(url.path));
        db.setConnectOptions("QSQLITE_BUSY_TIMEOUT=10000");
    } else {
        db.setHostName(Text(url.host));
        db.setPort(url.port);
        db.setDatabaseName(Text(url.database));
        db.setUserName(Text(url.user));
        // Without a password in the URL, libpq takes PGPASSWORD or ~/.pgpass.
        db.setPassword(Text(url.password));
        QString options = "connect_timeout=5";
        if (!url.sslmode.empty()) {
            options += ";sslmode=" + Text(url.sslmode);
        }
        db.setConnectOptions(options);
    }
    if (!db.open()) {
        *status = store->Fail("open", db.lastError().text());
        return nullptr;
    }
    if (sqlite) {
        // The file must be an SQLite database before anything is changed.
        QSqlQuery probe(db);
        if (!probe.exec("SELECT count(*) FROM sqlite_master") || !probe.next()) {
            *status = store->Fail("open", probe.lastError().text());
            return nullptr;
        }
    }
    const MigrationResult migration = MigrateStore(db, url.kind);
    if (!migration.ok) {
        *status = StoreStatus::Failed("Cannot use the results store " + url.Display() + ": " +
                                      Scrubbed(migration.error, url.password));
        return nullptr;
    }
    if (sqlite) {
        QSqlQuery pragma(db);
        // WAL for the store (readers never wait for the writer); the spool
        // keeps a rollback journal, which needs no room beyond the change.
        pragma.exec(journal == Journal::Wal ? "PRAGMA journal_mode=WAL"
                                            : "PRAGMA journal_mode=DELETE");
    }
    store->insert_ = std::make_unique<QSqlQuery>(db);
    store->insertArrays_ = std::make_unique<QSqlQuery>(db);
    if (!store->insert_->prepare(QString("INSERT INTO results (") + kColumns + ") VALUES (" +
                                 QString("?, ").repeated(kColumnCount - 1) +
                                 "?) ON CONFLICT (id) DO NOTHING")) {
        *status = store->Fail("prepare writing to", store->insert_->lastError().text());
        return nullptr;
    }
    if (!store->insertArrays_->prepare(
            "INSERT INTO result_arrays (id, uspec, ispec, uwave, iwave) VALUES (?, ?, ?, ?, ?) "
            "ON CONFLICT (id) DO NOTHING")) {
        *status = store->Fail("prepare writing to", store->insertArrays_->lastError().text());
        return nullptr;
    }
    *status = {};
    return store;
}

StoreStatus ResultsStore::Insert(const Result& result, bool* inserted) {
    BindResult(*insert_, result);
    if (!insert_->exec()) {
        return Fail("write to", insert_->lastError().text());
    }
    const bool added = insert_->numRowsAffected() > 0;
    if (added) {
        BindArrays(*insertArrays_, result);
        if (!insertArrays_->exec()) {
            return Fail("write to", insertArrays_->lastError().text());
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
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
        return Fail("write to", db.lastError().text());
    }
    std::int64_t added = 0;
    for (const Result& result : results) {
        bool one = false;
        if (const StoreStatus status = Insert(result, &one); !status) {
            db.rollback();
            return status;
        }
        added += one ? 1 : 0;
    }
    if (!db.commit()) {
        const QString text = db.lastError().text();
        db.rollback();
        return Fail("write to", text);
    }
    if (inserted != nullptr) {
        *inserted = added;
    }
    return {};
}

StoreStatus ResultsStore::Remove(const std::vector<std::string>& ids) {
    QSqlDatabase db = QSqlDatabase::database(connection_, false);
    if (!db.transaction()) {
        return Fail("write to", db.lastError().text());
    }
    for (const char* table : {"results", "result_arrays"}) {
        QSqlQuery query(db);
        query.prepare(QString("DELETE FROM %1 WHERE id = ?").arg(table));
        for (const std::string& id : ids) {
            query.addBindValue(Text(id));
            if (!query.exec()) {
                const QString text = query.lastError().text();
                db.rollback();
                return Fail("write to", text);
            }
        }
    }
    if (!db.commit()) {
        const QString text = db.lastError().text();
        db.rollback();
        return Fail("write to", text);
    }
    return {};
}

StoreStatus ResultsStore::Find(const ResultFilter& filter, std::int64_t offset, std::int64_t limit,
                               bool full, std::vector<Result>& found) {
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
    QString sql = QString("SELECT ") + kFindColumns + (full ? kFindArrays : "") + " FROM results" +
                  (full ? kJoinArrays : "");
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
        return Fail("read", query.lastError().text());
    }
    while (query.next()) {
        Result result;
        if (!ReadResult(query, full, result)) {
            return StoreStatus::Failed("The results store " + url_.Display() +
                                       " holds a damaged result (" + result.id + ")");
        }
        found.push_back(std::move(result));
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError().text());
    }
    return {};
}

StoreStatus ResultsStore::Count(const ResultFilter& filter, std::int64_t* count) {
    const Where where(filter);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT count(*) FROM results" + where.text);
    where.Bind(query);
    if (!query.exec() || !query.next()) {
        return Fail("read", query.lastError().text());
    }
    *count = query.value(0).toLongLong();
    return {};
}

StoreStatus ResultsStore::Stats(const ResultFilter& filter, ResultStats& stats) {
    const Where where(filter);
    QString sql = "SELECT verdict_pass";
    for (const char* column : kReadingColumns) {
        sql += QString(", ") + column;
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(sql + " FROM results" + where.text);
    where.Bind(query);
    if (!query.exec()) {
        return Fail("read", query.lastError().text());
    }
    // One pass over the small rows, the spread by Welford's update: as
    // precise as two passes, and no sums of squares to cancel.
    stats = {};
    std::array<double, kPlanReadings> spread{};
    while (query.next()) {
        ++stats.count;
        const QVariant verdict = query.value(0);
        if (!verdict.isNull()) {
            ++(verdict.toInt() == 1 ? stats.passed : stats.failed);
        }
        for (std::size_t i = 0; i < kPlanReadings; ++i) {
            const QVariant value = query.value(static_cast<int>(i) + 1);
            if (value.isNull()) {
                continue;
            }
            const double x = value.toDouble();
            ReadingStats& r = stats.readings[i];
            if (r.count == 0) {
                r.min = r.max = x;
            } else {
                r.min = std::min(r.min, x);
                r.max = std::max(r.max, x);
            }
            ++r.count;
            const double delta = x - r.mean;
            r.mean += delta / static_cast<double>(r.count);
            spread[i] += delta * (x - r.mean);
        }
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError().text());
    }
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        ReadingStats& r = stats.readings[i];
        if (r.count > 1) {
            r.stdDev = std::sqrt(spread[i] / static_cast<double>(r.count - 1));
        }
    }
    return {};
}

}  // namespace zx840
