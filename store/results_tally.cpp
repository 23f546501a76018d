// The line at a glance: results, PASS and FAIL counted by station and type
// or by hour in the engine, and which checks fail most.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <map>

#include "store/result_rows.h"
#include "store/results_store.h"

namespace zx840 {
namespace {

constexpr char kCounts[] =
    "count(*), sum(CASE WHEN verdict_pass = 1 THEN 1 ELSE 0 END),"
    " sum(CASE WHEN verdict_pass = 0 THEN 1 ELSE 0 END), max(time_ms) FROM results";

std::string StdText(const QVariant& value) {
    return value.toString().toStdString();
}

// SQLite, which keeps no statistics of the store, counts by station and
// type by reading the whole index of station and type in its order, even
// for the few results of a day, rather than look them up by time and
// group them itself: the first takes 80 ms over a million results, the
// second 3 ms for a day's and as long as the first for about 20,000.
constexpr std::int64_t kFewInTime = 20000;

}  // namespace

bool ResultsStore::FewInTime(const ResultFilter& filter) {
    if (url_.kind != StoreKind::Sqlite || (!filter.sinceMs && !filter.untilMs)) {
        return false;
    }
    ResultFilter period;
    period.sinceMs = filter.sinceMs;
    period.untilMs = filter.untilMs;
    const Where where(period);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.prepare("SELECT count(*) FROM (SELECT 1 FROM results" + where.text + " LIMIT " +
                  QString::number(kFewInTime) + ")");
    where.Bind(query);
    return query.exec() && query.next() && query.value(0).toLongLong() < kFewInTime;
}

StoreStatus ResultsStore::Tally(const ResultFilter& filter, TallyBy by,
                                std::vector<TallyRow>* found) {
    std::vector<TallyRow>& rows = *found;
    const Where where(filter);
    const bool hours = by == TallyBy::Hour;
    // Grouped by expressions of the columns, no index's order serves them:
    // the engine looks the results up by time.
    const bool byTime = !hours && FewInTime(filter);
    QString sql = hours    ? QStringLiteral("SELECT (time_ms / 3600000) * 3600000, ")
                  : byTime ? QStringLiteral("SELECT station || '', product_type || '', ")
                           : QStringLiteral("SELECT station, product_type, ");
    sql += QLatin1String(kCounts) + where.text;
    sql += hours ? QStringLiteral(" GROUP BY 1") : QStringLiteral(" GROUP BY 1, 2");
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(sql);
    where.Bind(query);
    rows.clear();
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    const int first = hours ? 1 : 2;
    while (query.next()) {
        TallyRow row;
        if (hours) {
            row.hourMs = query.value(0).toLongLong();
        } else {
            row.station = StdText(query.value(0));
            row.type = StdText(query.value(1));
        }
        row.count = query.value(first).toLongLong();
        row.passed = query.value(first + 1).toLongLong();
        row.failed = query.value(first + 2).toLongLong();
        row.lastMs = query.value(first + 3).toLongLong();
        rows.push_back(std::move(row));
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    // Ordered here, not by the database, whose collation differs.
    std::sort(rows.begin(), rows.end(), [](const TallyRow& a, const TallyRow& b) {
        return std::tie(a.hourMs, a.station, a.type) < std::tie(b.hourMs, b.station, b.type);
    });
    return {};
}

StoreStatus ResultsStore::FailingChecks(const ResultFilter& filter,
                                        std::vector<CheckCount>* found) {
    std::vector<CheckCount>& counts = *found;
    ResultFilter failing = filter;
    failing.pass = false;
    const Where where(failing);
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare("SELECT failed_checks, count(*) FROM results" + where.text +
                  " GROUP BY failed_checks");
    where.Bind(query);
    counts.clear();
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    // Results failing the same checks are counted together by the engine;
    // each list is split into its checks here.
    std::map<std::string, std::int64_t> byItem;
    while (query.next()) {
        const std::int64_t results = query.value(1).toLongLong();
        for (const std::string& item : SplitChecks(StdText(query.value(0)))) {
            byItem[item] += results;
        }
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    for (const auto& [item, count] : byItem) {
        counts.push_back({item, count});
    }
    std::stable_sort(counts.begin(), counts.end(),
                     [](const CheckCount& a, const CheckCount& b) { return a.count > b.count; });
    return {};
}

}  // namespace zx840
