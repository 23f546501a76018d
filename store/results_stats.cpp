// The stats of a store: each reading's count, minimum, mean, maximum and
// spread over the results a filter takes, of all of them or by station or
// type, and their capability against a plan's limits.
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>
#include <algorithm>
#include <array>
#include <cmath>
#include <map>

#include "store/result_rows.h"
#include "store/results_store.h"

namespace zx840 {
namespace {

// The stats of one group as its rows come: the group, verdict_pass, then
// the reading columns. One pass over the small rows, the spread by
// Welford's update: as precise as two passes, and no sums of squares to
// cancel.
struct StatsSums {
    ResultStats stats;
    std::array<double, kPlanReadings> spread{};

    void Add(const QSqlQuery& query) {
        ++stats.count;
        const QVariant verdict = query.value(1);
        if (!verdict.isNull()) {
            ++(verdict.toInt() == 1 ? stats.passed : stats.failed);
        }
        for (std::size_t i = 0; i < kPlanReadings; ++i) {
            const QVariant value = query.value(static_cast<int>(i) + 2);
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

    ResultStats Finish() const {
        ResultStats done = stats;
        for (std::size_t i = 0; i < kPlanReadings; ++i) {
            ReadingStats& r = done.readings[i];
            if (r.count > 1) {
                r.stdDev = std::sqrt(spread[i] / static_cast<double>(r.count - 1));
            }
        }
        return done;
    }
};

}  // namespace

std::optional<double> Cpl(const ReadingStats& stats, const Limit& limit) {
    if (!limit.min || !stats.stdDev || *stats.stdDev <= 0.0) {
        return std::nullopt;
    }
    return (stats.mean - *limit.min) / (3.0 * *stats.stdDev);
}

std::optional<double> Cpu(const ReadingStats& stats, const Limit& limit) {
    if (!limit.max || !stats.stdDev || *stats.stdDev <= 0.0) {
        return std::nullopt;
    }
    return (*limit.max - stats.mean) / (3.0 * *stats.stdDev);
}

std::optional<double> Cpk(const ReadingStats& stats, const Limit& limit) {
    const auto lower = Cpl(stats, limit);
    const auto upper = Cpu(stats, limit);
    if (!lower || !upper) {
        return std::nullopt;
    }
    return std::min(*lower, *upper);
}

StoreStatus ResultsStore::Stats(const ResultFilter& filter, ResultStats* stats) {
    std::vector<GroupStats> groups;
    const StoreStatus status = StatsBy(filter, nullptr, groups);
    *stats = groups.empty() ? ResultStats{} : std::move(groups.front().stats);
    return status;
}

StoreStatus ResultsStore::Stats(const ResultFilter& filter, StatsGroup by,
                                std::vector<GroupStats>* groups) {
    return StatsBy(filter, by == StatsGroup::Station ? "station" : "product_type", *groups);
}

StoreStatus ResultsStore::StatsBy(const ResultFilter& filter, const char* groupColumn,
                                  std::vector<GroupStats>& groups) {
    const Where where(filter);
    QString sql = QStringLiteral("SELECT ");
    sql += groupColumn != nullptr ? groupColumn : "''";
    sql += ", verdict_pass";
    for (const std::string_view column : kReadingColumns) {
        sql += ", " + QLatin1String(column.data(), static_cast<qsizetype>(column.size()));
    }
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(sql + " FROM results" + where.text);
    where.Bind(query);
    groups.clear();
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    // Groups are ordered here, not by the database, whose collation differs.
    std::map<std::string, StatsSums> sums;
    while (query.next()) {
        sums[query.value(0).toString().toStdString()].Add(query);
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    for (const auto& [name, group] : sums) {
        groups.push_back({name, group.Finish()});
    }
    return {};
}

}  // namespace zx840
