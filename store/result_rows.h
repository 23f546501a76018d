// A result as the rows of the store hold it. One table of columns drives
// it all: the insert (a named placeholder for each column), the copy of
// rows into another store, the columns Find reads and where in its row it
// finds each. Also the conditions of a filter. Used by the store alone.
#pragma once

#include <QString>
#include <QVariant>
#include <array>
#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plan/verdict.h"
#include "store/result.h"

class QSqlDatabase;
class QSqlQuery;

namespace zx840 {

struct ResultFilter;

struct ResultColumn {
    std::string_view name;
    // A reading of the plan: written for the filters, the indices and the
    // stats, never read back (`readings` keeps it bit for bit).
    bool reading = false;
    // A derived quantity, computed from the whole result when it is
    // written (or by the update to schema 5) and read back by a list that
    // leaves the waveforms out.
    bool derived = false;
};

// The columns of the results table.
inline constexpr ResultColumn kResultColumns[] = {
    {"id"},
    {"time_ms"},
    {"station"},
    {"program_version"},
    {"source"},
    {"manufacturer"},
    {"product_type"},
    {"product_number"},
    {"temperature"},
    {"humidity"},
    {"operator_name"},
    {"inspector"},
    {"testday"},
    {"data_valid"},
    // The nine readings, the three angles and both fundamentals, bit for
    // bit in one column (an SQLite REAL cannot hold a NaN); the
    // fundamentals let a result be shown whole without its spectra.
    {"readings"},
    // The plan's readings, in PlanReading order.
    {"urms", true},
    {"irms", true},
    {"upeak", true},
    {"ipeak", true},
    {"ucf", true},
    {"icf", true},
    {"power", true},
    {"pf", true},
    {"freq", true},
    {"start_angle", true},
    {"peak_angle", true},
    {"end_angle", true},
    {"uthd_percent", true},
    {"ithd_percent", true},
    {"verdict_pass"},
    {"plan_name"},
    {"failed_checks"},
    {"verdict_json"},
    // The derived quantities, in DerivedQuantity order (schema 5).
    {"displacement_pf", false, true},
    {"phase_angle", false, true},
    {"distortion_factor", false, true},
    {"ithd_r", false, true},
    {"uthd_r", false, true},
    {"k_factor", false, true},
    {"apparent_power", false, true},
    {"reactive_power", false, true},
};

// The columns of result_arrays, the spectra and waveforms of a result.
inline constexpr ResultColumn kArrayColumns[] = {
    {"id"}, {"uspec"}, {"ispec"}, {"uwave"}, {"iwave"},
};

// The reading columns of kResultColumns, in PlanReading order.
inline constexpr auto kReadingColumns = [] {
    std::array<std::string_view, kPlanReadings> names{};
    std::size_t count = 0;
    for (const ResultColumn& column : kResultColumns) {
        if (column.reading) {
            names.at(count++) = column.name;  // one too many does not compile
        }
    }
    if (count != kPlanReadings) {
        throw "a reading of the plan without its column";
    }
    return names;
}();

// The derived columns of kResultColumns, in DerivedQuantity order.
inline constexpr auto kDerivedColumns = [] {
    std::array<std::string_view, kDerivedQuantities> names{};
    std::size_t count = 0;
    for (const ResultColumn& column : kResultColumns) {
        if (column.derived) {
            names.at(count++) = column.name;
        }
    }
    if (count != kDerivedQuantities) {
        throw "a derived quantity without its column";
    }
    return names;
}();

// "a, b, ..." of the columns.
QString ColumnList(std::span<const ResultColumn> columns);
// Inserts a row of the columns into `table` from the placeholders of their
// names (":id, :time_ms, ..."); nothing when the id is there already.
QString InsertSql(std::string_view table, std::span<const ResultColumn> columns);
// What Find selects, from results joined to result_arrays for Detail::Full:
// every column of kResultColumns but the readings, then the arrays. A store
// older than schema 5 has no derived columns: NULL in their place.
enum class DerivedColumns { Stored, Absent };
QString FoundColumns(Detail detail, DerivedColumns derived = DerivedColumns::Stored);

// Text as the store keeps it. A NUL becomes U+FFFD: PostgreSQL refuses
// NUL in text, so a result holding one would be taken by an SQLite store
// (or the spool) and refused by a server for ever. U+FFFD is what a byte
// that is no UTF-8 becomes already; all other text is kept as it is.
QString StoreText(const std::string& text);

// Binds the placeholders of InsertSql("results", kResultColumns).
void BindResult(QSqlQuery& query, const Result& result);
// Binds the placeholders of InsertSql("result_arrays", kArrayColumns).
void BindArrays(QSqlQuery& query, const Result& result);
// A result from a row of FoundColumns(detail). False when a stored value has
// the wrong size or is missing. With Detail::Summary the derived quantities
// come from their columns (NULL: none), with Detail::Full from the record.
bool ReadResult(const QSqlQuery& query, Detail detail, Result* result);

// The update to schema 5: the derived columns of every result computed from
// its record, a page at a time in the order of the ids. A result that cannot
// be read whole keeps them NULL.
bool FillDerivedColumns(QSqlDatabase& db, std::string* error);

// The items of the failed_checks column ("Power,I3"), in order.
std::vector<std::string> SplitChecks(const std::string& joined);

// " WHERE ..." for the filter, its values bound in order by Bind.
struct Where {
    QString text;
    std::vector<QVariant> values;

    explicit Where(const ResultFilter& filter);
    void Bind(QSqlQuery& query) const;
};

}  // namespace zx840
