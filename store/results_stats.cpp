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

// The columns of the stats query for reading `i`: its count, minimum,
// maximum, mean and the sum of its squared deviations from the mean.
constexpr int kGroupColumns = 4;  // the group, count, passed, failed
constexpr int kColumnsPerReading = 5;

QString Column(std::size_t i) {
    const std::string_view name = kReadingColumns[i];
    return QLatin1String(name.data(), static_cast<qsizetype>(name.size()));
}

// The stats of every group in one statement, all in the database: a first
// scan for the counts, extremes and means, a second for the spread around
// each group's mean (as precise as two passes over the values, and no sums
// of squares to cancel). Only one row per group comes back.
// Without a group column every result is one group, named "".
QString StatsSql(const char* groupColumn, const QString& where) {
    const QString group = groupColumn != nullptr ? QString::fromLatin1(groupColumn) : "''";
    QString means = "SELECT " + group + " AS g_, count(*) AS n_," +
                    " sum(CASE WHEN verdict_pass = 1 THEN 1 ELSE 0 END) AS p_," +
                    " sum(CASE WHEN verdict_pass = 0 THEN 1 ELSE 0 END) AS f_";
    QString outer = "SELECT m.g_, min(m.n_), min(m.p_), min(m.f_)";
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const QString c = Column(i);
        const QString k = QString::number(i);
        means += ", count(" + c + ") AS c" + k + ", min(" + c + ") AS l" + k + ", max(" + c +
                 ") AS h" + k + ", avg(" + c + ") AS a" + k;
        outer += ", min(m.c" + k + "), min(m.l" + k + "), min(m.h" + k + "), min(m.a" + k +
                 "), sum((" + c + " - m.a" + k + ") * (" + c + " - m.a" + k + "))";
    }
    const QString grouped = groupColumn != nullptr ? " GROUP BY " + group : QString();
    return "WITH m AS (" + means + " FROM results" + where + grouped + ") " + outer +
           " FROM results JOIN m ON " + group + " = m.g_" + where + " GROUP BY m.g_";
}

ResultStats ReadStats(const QSqlQuery& query) {
    ResultStats stats;
    stats.count = query.value(1).toLongLong();
    stats.passed = query.value(2).toLongLong();
    stats.failed = query.value(3).toLongLong();
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const int at = kGroupColumns + static_cast<int>(i) * kColumnsPerReading;
        ReadingStats& r = stats.readings[i];
        r.count = query.value(at).toLongLong();
        if (r.count == 0) {
            continue;
        }
        r.min = query.value(at + 1).toDouble();
        r.max = query.value(at + 2).toDouble();
        // Values all alike have that value as their mean and no spread,
        // whatever the rounding of a sum of them.
        r.mean = r.min == r.max ? r.min : std::clamp(query.value(at + 3).toDouble(), r.min, r.max);
        if (r.count > 1) {
            const double squares = r.min == r.max ? 0.0 : query.value(at + 4).toDouble();
            r.stdDev = std::sqrt(std::max(0.0, squares) / static_cast<double>(r.count - 1));
        }
    }
    return stats;
}

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

namespace {

// The sum of squared deviations from the mean that a spread stands for.
double Squares(const ReadingStats& r) {
    return r.stdDev ? *r.stdDev * *r.stdDev * static_cast<double>(r.count - 1) : 0.0;
}

ReadingStats Combined(const ReadingStats& a, const ReadingStats& b) {
    if (a.count == 0 || b.count == 0) {
        return a.count == 0 ? b : a;
    }
    ReadingStats r;
    r.count = a.count + b.count;
    r.min = std::min(a.min, b.min);
    r.max = std::max(a.max, b.max);
    const double na = static_cast<double>(a.count);
    const double nb = static_cast<double>(b.count);
    const double n = static_cast<double>(r.count);
    const double delta = b.mean - a.mean;
    r.mean = r.min == r.max ? r.min : std::clamp(a.mean + delta * nb / n, r.min, r.max);
    const double squares =
        r.min == r.max ? 0.0 : Squares(a) + Squares(b) + delta * delta * na * nb / n;
    r.stdDev = std::sqrt(std::max(0.0, squares) / (n - 1.0));
    return r;
}

}  // namespace

ResultStats CombinedStats(const ResultStats& a, const ResultStats& b) {
    ResultStats r;
    r.count = a.count + b.count;
    r.passed = a.passed + b.passed;
    r.failed = a.failed + b.failed;
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        r.readings[i] = Combined(a.readings[i], b.readings[i]);
    }
    return r;
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
    QSqlQuery query(QSqlDatabase::database(connection_, false));
    query.setForwardOnly(true);
    query.prepare(StatsSql(groupColumn, where.text));
    where.Bind(query);  // the first scan's filter
    where.Bind(query);  // the second's
    groups.clear();
    if (!query.exec()) {
        return Fail("read", query.lastError());
    }
    // Groups are ordered here, not by the database, whose collation differs.
    std::map<std::string, ResultStats> sums;
    while (query.next()) {
        sums[query.value(0).toString().toStdString()] = ReadStats(query);
    }
    if (query.lastError().isValid()) {
        return Fail("read", query.lastError());
    }
    for (auto& [name, stats] : sums) {
        groups.push_back({name, std::move(stats)});
    }
    return {};
}

}  // namespace zx840
