// What the dashboard answers to programs: the JSON of its API (results as
// the history writes them, so they follow the store's own writer) and the
// metrics in the Prometheus text exposition format.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "web/web_views.h"

namespace zx840 {

// {"Error": reason}: what a 4xx or 5xx answer of the API carries.
std::string ErrorJson(std::string_view reason);

// {"Results": [history's objects], "Next": cursor or null}.
std::string ResultsPageJson(const std::vector<Result>& rows, const std::optional<ResultKey>& next);

// [{"Station"|"Type"|"Hour": name, "Count", "Passed", "Failed", "Yield"}].
std::string YieldJson(const std::vector<YieldRow>& rows, YieldBy by);

// The store as the metrics see it.
struct MetricsView {
    std::vector<TallyRow> tally;  // every result by station and type
    bool storeUp = false;
    double querySeconds = 0.0;  // how long the store took to answer
};
std::string MetricsText(const MetricsView& view);

// A label value of the exposition format: \\, \" and \n escaped.
std::string MetricLabel(std::string_view text);

}  // namespace zx840
