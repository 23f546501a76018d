#include "store/result_rows.h"

#include <QByteArray>
#include <QSqlQuery>
#include <QStringList>
#include <cmath>
#include <string_view>

#include "record/json_reader.h"
#include "record/record_json.h"
#include "store/results_store.h"

namespace zx840 {
namespace {

QByteArray Bytes(const std::string& bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
}  // namespace

QString StoreText(const std::string& text) {
    QString stored = QString::fromStdString(text);
    stored.replace(QChar(u'\0'), QChar(0xFFFD));
    return stored;
}

namespace {

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

}  // namespace

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
    query.addBindValue(Text(r.id));
    query.addBindValue(Bytes(FloatBytes(m.USpec.data(), m.USpec.size())));
    query.addBindValue(Bytes(FloatBytes(m.ISpec.data(), m.ISpec.size())));
    query.addBindValue(Bytes(IntBytes(m.UWave.data(), m.UWave.size())));
    query.addBindValue(Bytes(IntBytes(m.IWave.data(), m.IWave.size())));
}

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
