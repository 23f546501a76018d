#include "web/web_views.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "store/result.h"

namespace zx840 {

std::vector<YieldRow> YieldOf(const std::vector<TallyRow>& tally, YieldBy by) {
    std::vector<YieldRow> rows;
    if (by == YieldBy::Hour) {
        for (const TallyRow& t : tally) {
            rows.push_back({IsoTimeUtc(t.hourMs), t.count, t.passed, t.failed});
        }
        return rows;
    }
    std::map<std::string, YieldRow> sums;
    for (const TallyRow& t : tally) {
        const std::string& name = by == YieldBy::Station ? t.station : t.type;
        YieldRow& row = sums[name];
        row.name = name;
        row.count += t.count;
        row.passed += t.passed;
        row.failed += t.failed;
    }
    for (auto& [name, row] : sums) {
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<double> YieldPercent(const YieldRow& row) {
    const std::int64_t judged = row.passed + row.failed;
    if (judged == 0) {
        return std::nullopt;
    }
    return 100.0 * static_cast<double>(row.passed) / static_cast<double>(judged);
}

ControlChart ControlChartOf(PlanReading reading, std::vector<double> newestFirst) {
    ControlChart chart;
    chart.reading = reading;
    std::reverse(newestFirst.begin(), newestFirst.end());
    std::erase_if(newestFirst, [](double v) { return !std::isfinite(v); });
    chart.values = std::move(newestFirst);
    const std::size_t n = chart.values.size();
    if (n == 0) {
        return chart;
    }
    double sum = 0.0;
    double ranges = 0.0;
    for (std::size_t i = 0; i < n; ++i) {
        sum += chart.values[i];
        if (i > 0) {
            ranges += std::fabs(chart.values[i] - chart.values[i - 1]);
        }
    }
    chart.mean = sum / static_cast<double>(n);
    if (n > 1) {
        // d2 of two-point ranges.
        chart.sigma = ranges / static_cast<double>(n - 1) / 1.128;
    }
    return chart;
}

Histogram HistogramOf(const std::vector<double>& values, int bins) {
    Histogram histogram;
    if (values.empty() || bins < 1) {
        return histogram;
    }
    const auto [low, high] = std::minmax_element(values.begin(), values.end());
    histogram.low = *low;
    histogram.width = *high > *low ? (*high - *low) / bins : 1.0;
    histogram.counts.assign(static_cast<std::size_t>(bins), 0);
    for (const double v : values) {
        const auto bin = static_cast<std::size_t>((v - *low) / histogram.width);
        ++histogram.counts[std::min(bin, histogram.counts.size() - 1)];
    }
    return histogram;
}

}  // namespace zx840
