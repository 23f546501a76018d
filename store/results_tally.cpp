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

}  // namespace

StoreStatus ResultsStore::Tally(const ResultFilter& filter, TallyBy by,
                                std::vector<TallyRow>* found) {
    std::vector<TallyRow>& rows = *found;
    const Where where(filter);
    const bool hours = by == TallyBy::Hour;
    QString sql = hours ? QStringLiteral("SELECT (time_ms / 3600000) * 3600000, ")
                        : QStringLiteral("SELECT station, product_type, ");
    sql += QLatin1String(kCounts) + where.text;
    sql +=
        hours ? QStringLiteral(" GROUP BY 1") : QStringLiteral(" GROUP BY station, product_type");
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
