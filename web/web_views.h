// What each page of the dashboard shows, as plain values: filled from the
// store by the site, written out as HTML and JSON by pure functions.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "plan/plan_file.h"
#include "store/results_store.h"
#include "web/web_query.h"

namespace zx840 {

// Results, PASS and FAIL of one station, type or hour.
struct YieldRow {
    std::string name;  // the station, the type, or the hour as ISO 8601
    std::int64_t count = 0;
    std::int64_t passed = 0;
    std::int64_t failed = 0;
    friend bool operator==(const YieldRow&, const YieldRow&) = default;
};
enum class YieldBy { Station, Type, Hour };
// The tally summed by station or type (in the byte order of their names);
// by hour, the rows of a tally by hour as they are.
std::vector<YieldRow> YieldOf(const std::vector<TallyRow>& tally, YieldBy by);
// PASS of the judged results in percent; nothing when none was judged.
std::optional<double> YieldPercent(const YieldRow& row);

// The Line page: the period's counts, the checks failing most, the newest
// results.
struct LineView {
    QueryParams params;  // as asked, for the form and the live part
    Period period;
    std::vector<TallyRow> tally;  // by station and type
    std::vector<CheckCount> pareto;
    std::vector<Result> last;
};

// An individuals control chart of one reading: the values oldest first,
// their mean and a spread from the mean moving range (MR / 1.128).
struct ControlChart {
    PlanReading reading = PlanReading::Power;
    std::vector<double> values;
    double mean = 0.0;
    std::optional<double> sigma;
};
ControlChart ControlChartOf(PlanReading reading, std::vector<double> newestFirst);

// Equal bins between the smallest and the largest value.
struct Histogram {
    double low = 0.0;
    double width = 0.0;
    std::vector<std::int64_t> counts;
};
Histogram HistogramOf(const std::vector<double>& values, int bins);

// The Type page: stats of every reading against the plan's limits, a
// control chart and a histogram of one of them.
struct TypeView {
    std::string type;
    QueryParams params;
    ResultStats stats;
    std::optional<TestPlan> plan;
    ControlChart chart;
    std::int64_t lastN = 0;
};

// The Search page: a page of results and where the next one begins.
struct SearchView {
    QueryParams params;
    std::vector<Result> rows;
    std::optional<ResultKey> next;
};

}  // namespace zx840
