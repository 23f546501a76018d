#include "store/result_rows.h"

#include <QByteArray>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <array>
#include <cmath>
#include <optional>
#include <string_view>
#include <tuple>
#include <utility>

#include "record/json_reader.h"
#include "record/record_json.h"
#include "store/results_store.h"

namespace zx840 {
namespace {

QLatin1String Latin1(std::string_view name) {
    return QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
}

// Where the column `name` is in `columns`; nothing there does not compile
// where the answer is wanted at compile time.
constexpr std::size_t IndexOf(std::span<const ResultColumn> columns, std::string_view name) {
    for (std::size_t i = 0; i < columns.size(); ++i) {
        if (columns[i].name == name) {
            return i;
        }
    }
    throw "no such column";
}

// The values of a row of the table `kTable`, set by column name and bound
// to the placeholders of the same names.
template <const auto& kTable>
class Row {
  public:
    static constexpr std::size_t kSize = std::size(kTable);

    // A column of the table, named at compile time.
    struct Column {
        consteval Column(const char* name) : at(IndexOf(kTable, name)) {}
        std::size_t at;
    };

    QVariant& operator[](Column column) { return values_[column.at]; }
    QVariant& At(std::size_t index) { return values_.at(index); }

    void BindTo(QSqlQuery& query) const {
        for (std::size_t i = 0; i < kSize; ++i) {
            QString placeholder = QStringLiteral(":");
            placeholder += Latin1(kTable[i].name);
            query.bindValue(placeholder, values_[i]);
        }
    }

  private:
    std::array<QVariant, kSize> values_;
};

using ResultRow = Row<kResultColumns>;
using ArraysRow = Row<kArrayColumns>;

// Where each reading's column is in kResultColumns, in PlanReading order.
constexpr auto kReadingAt = [] {
    std::array<std::size_t, kPlanReadings> at{};
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        at[i] = IndexOf(kResultColumns, kReadingColumns[i]);
    }
    return at;
}();

// Where Find's row holds the column `name`: FoundColumns lists the columns
// of kResultColumns but the readings, then those of kArrayColumns but the id.
consteval int FoundAt(std::string_view name) {
    int at = 0;
    for (const ResultColumn& column : kResultColumns) {
        if (!column.reading && column.name == name) {
            return at;
        }
        at += column.reading ? 0 : 1;
    }
    return at + static_cast<int>(IndexOf(kArrayColumns, name)) - 1;
}

// Where Find's row holds each derived column, in DerivedQuantity order (as
// FoundAt counts).
constexpr auto kDerivedAt = [] {
    std::array<int, kDerivedQuantities> at{};
    int found = 0;
    std::size_t derived = 0;
    for (const ResultColumn& column : kResultColumns) {
        if (column.derived) {
            at.at(derived++) = found;
        }
        found += column.reading ? 0 : 1;
    }
    return at;
}();

// The floats `readings` keeps, in its order.
template <typename Working>  // WorkingRecord, const or not
auto KeptFloats(Working& working) {
    auto& m = working.Record;
    auto& a = working.Angles;
    return std::array{&m.Freq,      &m.Icf,      &m.Ucf,      &m.PF,      &m.Power,
                      &m.Irms,      &m.Urms,     &m.Uthd,     &m.Ithd,    &a.StartAngle,
                      &a.PeakAngle, &a.EndAngle, &m.USpec[0], &m.ISpec[0]};
}
constexpr std::size_t kKeptFloats =
    std::tuple_size_v<decltype(KeptFloats(std::declval<WorkingRecord&>()))>;

QByteArray Bytes(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
QString Text(const std::string& text) {
    return StoreText(text);
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

void SetDerived(ResultRow& row, const DerivedQuantities& derived) {
    for (std::size_t i = 0; i < kDerivedQuantities; ++i) {
        row.At(IndexOf(kResultColumns, kDerivedColumns[i])) = Number(derived.values[i]);
    }
}

std::string JoinedChecks(const std::vector<std::string>& items) {
    std::string joined;
    for (const std::string& item : items) {
        joined += (joined.empty() ? "" : ",") + item;
    }
    return joined;
}

}  // namespace

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

namespace {

QByteArray KeptBytes(const WorkingRecord& working) {
    const auto fields = KeptFloats(working);
    float kept[kKeptFloats] = {};
    for (std::size_t i = 0; i < kKeptFloats; ++i) {
        kept[i] = *fields[i];
    }
    return Bytes(FloatBytes(kept, kKeptFloats));
}

bool ReadKept(const QByteArray& bytes, WorkingRecord& working) {
    float kept[kKeptFloats] = {};
    if (!FloatsFromBytes(View(bytes), kept, kKeptFloats)) {
        return false;
    }
    const auto fields = KeptFloats(working);
    for (std::size_t i = 0; i < kKeptFloats; ++i) {
        *fields[i] = kept[i];
    }
    return true;
}

void SetVerdict(ResultRow& row, const Result& r) {
    if (r.verdict) {
        row["verdict_pass"] = r.verdict->pass ? 1 : 0;
        row["plan_name"] = Text(r.verdict->plan);
        row["failed_checks"] = Text(JoinedChecks(r.verdict->failedChecks));
        row["verdict_json"] = Text(r.verdict->json);
        return;
    }
    const QVariant noText(QMetaType::fromType<QString>());
    row["verdict_pass"] = QVariant(QMetaType::fromType<int>());
    row["plan_name"] = noText;
    row["failed_checks"] = noText;
    row["verdict_json"] = noText;
    if (!r.unjudged.empty()) {
        // No verdict: why, when a plan was to judge it.
        std::string why = "{\"Unjudged\":";
        why += JsonString(r.unjudged);
        why += "}";
        row["verdict_json"] = Text(why);
    }
}

void ReadVerdict(const QSqlQuery& q, Result& r) {
    r.verdict.reset();
    r.unjudged.clear();
    const QVariant pass = q.value(FoundAt("verdict_pass"));
    const QVariant json = q.value(FoundAt("verdict_json"));
    if (pass.isNull()) {
        if (json.isNull()) {
            return;
        }
        if (const auto parsed = ParseJson(StdText(json), nullptr)) {
            if (const JsonValue* why = parsed->Find("Unjudged")) {
                r.unjudged = why->text;
            }
        }
        return;
    }
    ResultVerdict verdict;
    verdict.pass = pass.toInt() == 1;
    verdict.plan = StdText(q.value(FoundAt("plan_name")));
    verdict.failedChecks = SplitChecks(StdText(q.value(FoundAt("failed_checks"))));
    verdict.json = StdText(json);
    r.verdict = std::move(verdict);
}

void ReadMark(const QSqlQuery& q, ProductMark& mark) {
    mark.Manufacturer = StdText(q.value(FoundAt("manufacturer")));
    mark.Type = StdText(q.value(FoundAt("product_type")));
    mark.Number = q.value(FoundAt("product_number")).toInt();
    mark.Temperature = StdText(q.value(FoundAt("temperature")));
    mark.Humidity = StdText(q.value(FoundAt("humidity")));
    mark.Operator = StdText(q.value(FoundAt("operator_name")));
    mark.Inspector = StdText(q.value(FoundAt("inspector")));
    mark.Testday = StdText(q.value(FoundAt("testday")));
}

bool ReadArrays(const QSqlQuery& q, MeasurementRecord& m) {
    const QByteArray us = q.value(FoundAt("uspec")).toByteArray();
    const QByteArray is = q.value(FoundAt("ispec")).toByteArray();
    const QByteArray uw = q.value(FoundAt("uwave")).toByteArray();
    const QByteArray iw = q.value(FoundAt("iwave")).toByteArray();
    return FloatsFromBytes(View(us), m.USpec.data(), m.USpec.size()) &&
           FloatsFromBytes(View(is), m.ISpec.data(), m.ISpec.size()) &&
           IntsFromBytes(View(uw), m.UWave.data(), m.UWave.size()) &&
           IntsFromBytes(View(iw), m.IWave.data(), m.IWave.size());
}

}  // namespace

QString StoreText(const std::string& text) {
    QString stored = QString::fromStdString(text);
    stored.replace(QChar(u'\0'), QChar(0xFFFD));
    return stored;
}

QString ColumnList(std::span<const ResultColumn> columns) {
    QStringList names;
    for (const ResultColumn& column : columns) {
        names << Latin1(column.name);
    }
    return names.join(QLatin1String(", "));
}

QString InsertSql(std::string_view table, std::span<const ResultColumn> columns) {
    QStringList placeholders;
    for (const ResultColumn& column : columns) {
        placeholders << QStringLiteral(":") + Latin1(column.name);
    }
    QString sql = QStringLiteral("INSERT INTO ");
    sql += Latin1(table);
    sql += " (" + ColumnList(columns) + ") VALUES (" + placeholders.join(QLatin1String(", ")) +
           ") ON CONFLICT (id) DO NOTHING";
    return sql;
}

QString FoundColumns(Detail detail, DerivedColumns derived) {
    QStringList names;
    for (const ResultColumn& column : kResultColumns) {
        if (column.derived && derived == DerivedColumns::Absent) {
            names << QStringLiteral("NULL");
        } else if (!column.reading) {
            names << "results." + Latin1(column.name);
        }
    }
    for (const ResultColumn& column : kArrayColumns) {
        if (detail == Detail::Full && column.name != "id") {
            names << "result_arrays." + Latin1(column.name);
        }
    }
    return names.join(QLatin1String(", "));
}

void BindResult(QSqlQuery& query, const Result& r) {
    ResultRow row;
    row["id"] = Text(r.id);
    row["time_ms"] = static_cast<qlonglong>(r.timeMs);
    row["station"] = Text(r.station);
    row["program_version"] = Text(r.programVersion);
    row["source"] = QString::fromUtf8(ResultSourceName(r.source));
    row["manufacturer"] = Text(r.mark.Manufacturer);
    row["product_type"] = Text(r.mark.Type);
    row["product_number"] = r.mark.Number;
    row["temperature"] = Text(r.mark.Temperature);
    row["humidity"] = Text(r.mark.Humidity);
    row["operator_name"] = Text(r.mark.Operator);
    row["inspector"] = Text(r.mark.Inspector);
    row["testday"] = Text(r.mark.Testday);
    row["data_valid"] = static_cast<int>(r.working.DataValid);
    row["readings"] = KeptBytes(r.working);
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        row.At(kReadingAt[i]) = Number(PlanReadingValue(static_cast<PlanReading>(i), r.working));
    }
    SetVerdict(row, r);
    SetDerived(row, DerivedOf(r));
    row.BindTo(query);
}

void BindArrays(QSqlQuery& query, const Result& r) {
    const MeasurementRecord& m = r.working.Record;
    ArraysRow row;
    row["id"] = Text(r.id);
    row["uspec"] = Bytes(FloatBytes(m.USpec.data(), m.USpec.size()));
    row["ispec"] = Bytes(FloatBytes(m.ISpec.data(), m.ISpec.size()));
    row["uwave"] = Bytes(IntBytes(m.UWave.data(), m.UWave.size()));
    row["iwave"] = Bytes(IntBytes(m.IWave.data(), m.IWave.size()));
    row.BindTo(query);
}

bool ReadResult(const QSqlQuery& q, Detail detail, Result* result) {
    Result& r = *result;
    r.id = StdText(q.value(FoundAt("id")));
    r.timeMs = q.value(FoundAt("time_ms")).toLongLong();
    r.station = StdText(q.value(FoundAt("station")));
    r.programVersion = StdText(q.value(FoundAt("program_version")));
    r.source = ResultSourceFromName(StdText(q.value(FoundAt("source"))))
                   .value_or(ResultSource::Acquisition);
    ReadMark(q, r.mark);
    r.working.DataValid = static_cast<std::uint8_t>(q.value(FoundAt("data_valid")).toInt());
    if (!ReadKept(q.value(FoundAt("readings")).toByteArray(), r.working)) {
        return false;
    }
    ReadVerdict(q, r);
    r.derived.reset();
    if (detail == Detail::Summary) {
        DerivedQuantities derived;
        for (std::size_t i = 0; i < kDerivedQuantities; ++i) {
            const QVariant value = q.value(kDerivedAt[i]);
            derived.values[i] = value.isNull() ? std::nan("") : value.toDouble();
        }
        r.derived = derived;
    }
    return detail == Detail::Summary || ReadArrays(q, r.working.Record);
}

bool FillDerivedColumns(QSqlDatabase& db, std::string* error) {
    QStringList assignments;
    for (const std::string_view column : kDerivedColumns) {
        assignments << Latin1(column) + " = ?";
    }
    QSqlQuery page(db);
    QSqlQuery update(db);
    const QString select = "SELECT " + FoundColumns(Detail::Full, DerivedColumns::Absent) +
                           " FROM results LEFT JOIN result_arrays ON result_arrays.id = results.id";
    const QString order = QStringLiteral(" ORDER BY results.id LIMIT 500");
    if (!update.prepare("UPDATE results SET " + assignments.join(", ") + " WHERE id = ?")) {
        *error = update.lastError().text().toStdString();
        return false;
    }
    std::optional<QString> after;  // the last id of the page before
    for (bool more = true; more;) {
        if (after) {
            page.prepare(select + " WHERE results.id > ?" + order);
            page.bindValue(0, *after);
        } else {
            page.prepare(select + order);
        }
        if (!page.exec()) {
            *error = page.lastError().text().toStdString();
            return false;
        }
        // The page read whole before any update: a server's connection
        // runs one statement at a time.
        std::vector<std::pair<QString, DerivedQuantities>> computed;
        more = false;
        while (page.next()) {
            more = true;
            Result result;
            const bool whole = ReadResult(page, Detail::Full, &result);
            after = Text(result.id);
            if (whole) {
                computed.emplace_back(*after, DerivedOf(result));
            }
        }
        for (const auto& [id, derived] : computed) {
            for (std::size_t i = 0; i < kDerivedQuantities; ++i) {
                update.bindValue(static_cast<int>(i), Number(derived.values[i]));
            }
            update.bindValue(static_cast<int>(kDerivedQuantities), id);
            if (!update.exec()) {
                *error = update.lastError().text().toStdString();
                return false;
            }
        }
    }
    return true;
}

Where::Where(const ResultFilter& f) {
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
    if (f.after) {
        // A row value, which both stores take to the index of time and id.
        parts << QStringLiteral("(time_ms, results.id) < (?, ?)");
        values.emplace_back(static_cast<qlonglong>(f.after->timeMs));
        values.emplace_back(Text(f.after->id));
    }
    if (!parts.isEmpty()) {
        text = " WHERE " + parts.join(" AND ");
    }
}

void Where::Bind(QSqlQuery& query) const {
    for (const QVariant& value : values) {
        query.addBindValue(value);
    }
}

}  // namespace zx840
