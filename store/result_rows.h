// A result as the rows of the store hold it: the columns, binding a result
// to an insert, reading it back from a query, and the conditions of a
// filter. Used by the store alone.
#pragma once

#include <QString>
#include <QVariant>
#include <cstddef>
#include <string>
#include <vector>

#include "plan/verdict.h"
#include "store/result.h"

class QSqlQuery;

namespace zx840 {

struct ResultFilter;

// The columns of the plan's readings, in PlanReading order.
inline constexpr const char* kReadingColumns[kPlanReadings] = {
    "urms", "irms", "upeak",       "ipeak",      "ucf",       "icf",          "power",
    "pf",   "freq", "start_angle", "peak_angle", "end_angle", "uthd_percent", "ithd_percent"};

// The nine readings, the three angles and both fundamentals, kept bit for
// bit in one column (an SQLite REAL cannot hold a NaN); the fundamentals let
// a result be shown whole without its spectra.
inline constexpr std::size_t kKeptFloats = 14;

inline constexpr char kColumns[] =
    "id, time_ms, station, program_version, source, manufacturer, product_type, "
    "product_number, temperature, humidity, operator_name, inspector, testday, data_valid, "
    "readings, urms, irms, upeak, ipeak, ucf, icf, power, pf, freq, start_angle, peak_angle, "
    "end_angle, uthd_percent, ithd_percent, verdict_pass, plan_name, failed_checks, verdict_json";
inline constexpr int kColumnCount = 33;
inline constexpr char kArrayColumns[] = "id, uspec, ispec, uwave, iwave";
// The columns Find reads, then the four arrays when full.
inline constexpr char kFindColumns[] =
    "results.id, time_ms, station, program_version, source, manufacturer, product_type, "
    "product_number, temperature, humidity, operator_name, inspector, testday, data_valid, "
    "readings, verdict_pass, plan_name, failed_checks, verdict_json";
inline constexpr char kFindArrays[] = ", uspec, ispec, uwave, iwave";

// Text as the store keeps it. A NUL becomes U+FFFD: PostgreSQL refuses
// NUL in text, so a result holding one would be taken by an SQLite store
// (or the spool) and refused by a server for ever. U+FFFD is what a byte
// that is no UTF-8 becomes already; all other text is kept as it is.
QString StoreText(const std::string& text);

// Binds the values of kColumns, in order.
void BindResult(QSqlQuery& query, const Result& result);
// Binds the values of kArrayColumns, in order.
void BindArrays(QSqlQuery& query, const Result& result);
// A result from a row of kFindColumns (and kFindArrays when `full`). False
// when a stored value has the wrong size or is missing.
bool ReadResult(const QSqlQuery& query, bool full, Result& result);

// " WHERE ..." for the filter, its values bound in order by Bind.
struct Where {
    QString text;
    std::vector<QVariant> values;

    explicit Where(const ResultFilter& filter);
    void Bind(QSqlQuery& query) const;
};

}  // namespace zx840
