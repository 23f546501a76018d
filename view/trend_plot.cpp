#include "view/trend_plot.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "draw/number_format.h"

namespace zx840 {
namespace {

constexpr int kMargin = 6;        // left and right of the plot area
constexpr int kLabelHeight = 16;  // the reading's name above its strip
constexpr int kAxisHeight = 16;   // the time labels under the last strip

int ToCoord(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(
        std::lround(std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX))));
}

// The values a strip must show: every bucket's extremes and the limits.
struct Range {
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    void Take(double v) {
        if (std::isfinite(v)) {
            lo = std::min(lo, v);
            hi = std::max(hi, v);
        }
    }
};

Range RangeOf(const TrendSeries& series, std::size_t reading, const std::optional<Limit>& limit) {
    Range range;
    for (const TrendBucket& bucket : series.Buckets()) {
        range.Take(bucket.min[reading]);
        range.Take(bucket.max[reading]);
    }
    if (limit) {
        range.Take(limit->min.value_or(NAN));
        range.Take(limit->max.value_or(NAN));
    }
    if (range.lo > range.hi) {
        return Range{0.0, 1.0};
    }
    // A little room above and below; a flat line in the middle.
    const double pad = range.hi > range.lo ? (range.hi - range.lo) * 0.05
                                           : std::max(std::abs(range.hi) * 0.05, 0.5);
    return Range{range.lo - pad, range.hi + pad};
}

// Where one strip lies, and how values and times map onto it.
struct Strip {
    double left = 0;
    double right = 0;
    double top = 0;     // of the plot area, under the label
    double bottom = 0;  // of the plot area
    double tMax = 1;
    Range range;
    int X(double seconds) const { return ToCoord(left + seconds / tMax * (right - left)); }
    int Y(double value) const {
        return ToCoord(bottom - (value - range.lo) / (range.hi - range.lo) * (bottom - top));
    }
};

void AddLimits(DrawList& ops, const Strip& strip, const std::optional<Limit>& limit) {
    if (!limit) {
        return;
    }
    ops.emplace_back(kTrendLimitPen);
    for (const auto& bound : {limit->min, limit->max}) {
        if (bound && std::isfinite(*bound)) {
            ops.emplace_back(MoveTo{ToCoord(strip.left), strip.Y(*bound)});
            ops.emplace_back(LineTo{ToCoord(strip.right), strip.Y(*bound)});
        }
    }
}

void AddTrace(DrawList& ops, const Strip& strip, const TrendSeries& series, std::size_t reading) {
    ops.emplace_back(kTrendTracePen);
    bool drawing = false;  // a bucket without a value breaks the line
    for (const TrendBucket& bucket : series.Buckets()) {
        if (bucket.count[reading] == 0) {
            drawing = false;
            continue;
        }
        const int x = strip.X(bucket.firstSeconds);
        const int low = strip.Y(bucket.min[reading]);
        if (drawing) {
            ops.emplace_back(LineTo{x, low});
        } else {
            ops.emplace_back(MoveTo{x, low});
            ops.emplace_back(LineTo{x, low});  // a lone point still shows
            drawing = true;
        }
        if (const int high = strip.Y(bucket.max[reading]); high != low) {
            ops.emplace_back(LineTo{x, high});
        }
    }
}

void AddFailMarks(DrawList& ops, const Strip& strip, const TrendSeries& series,
                  std::size_t reading) {
    bool pen = false;
    for (const TrendBucket& bucket : series.Buckets()) {
        const double value = bucket.failValues[reading];
        if (bucket.fails == 0 || !std::isfinite(value)) {
            continue;
        }
        if (!pen) {
            ops.emplace_back(kTrendFailPen);
            pen = true;
        }
        const int x = strip.X(bucket.failSeconds);
        const int y = strip.Y(value);
        constexpr int d = kTrendFailMark;
        ops.emplace_back(MoveTo{x - d, y - d});
        ops.emplace_back(LineTo{x + d, y + d});
        ops.emplace_back(MoveTo{x - d, y + d});
        ops.emplace_back(LineTo{x + d, y - d});
    }
}

std::string ScaleText(double value) {
    const double magnitude = std::abs(value);
    return FormatFixed(value, magnitude >= 100 ? 1 : magnitude >= 1 ? 3 : 4);
}

void AddLabels(DrawList& ops, const Strip& strip, PlanReading reading, int width, int stripTop) {
    ops.emplace_back(SetTextColor{kBlack});
    std::string name = PlanReadingName(reading);
    if (const std::string unit = TrendReadingUnit(reading); !unit.empty()) {
        name += " (" + unit + ")";
    }
    ops.emplace_back(DrawText{kMargin, stripTop + 1, name, HAlign::Left, VAlign::Top});
    ops.emplace_back(DrawText{width - kMargin, stripTop + 1, ScaleText(strip.range.hi),
                              HAlign::Right, VAlign::Top});
    ops.emplace_back(DrawText{width - kMargin, ToCoord(strip.bottom), ScaleText(strip.range.lo),
                              HAlign::Right, VAlign::Bottom});
    ops.emplace_back(kTrendFramePen);
    ops.emplace_back(MoveTo{ToCoord(strip.left), ToCoord(strip.bottom)});
    ops.emplace_back(LineTo{ToCoord(strip.right), ToCoord(strip.bottom)});
}

}  // namespace

DrawList TrendChart(const TrendSeries& series, std::span<const PlanReading> readings,
                    const TestPlan* plan, int width, int height) {
    DrawList ops;
    ops.emplace_back(SetBackOpaque{false});
    if (readings.empty() || width <= 2 * kMargin || height <= kAxisHeight) {
        return ops;
    }
    const double tMax =
        series.Buckets().empty() ? 1.0 : std::max(series.Buckets().back().lastSeconds, 1.0);
    const double stripHeight =
        static_cast<double>(height - kAxisHeight) / static_cast<double>(readings.size());
    for (std::size_t n = 0; n < readings.size(); ++n) {
        const PlanReading reading = readings[n];
        const auto index = static_cast<std::size_t>(reading);
        const std::optional<Limit> limit =
            plan != nullptr ? plan->Reading(reading) : std::optional<Limit>();
        const double stripTop = stripHeight * static_cast<double>(n);
        Strip strip;
        strip.left = kMargin;
        strip.right = width - kMargin;
        strip.top = stripTop + kLabelHeight;
        strip.bottom = std::max(strip.top + 1.0, stripTop + stripHeight - 3.0);
        strip.tMax = tMax;
        strip.range = RangeOf(series, index, limit);
        AddLabels(ops, strip, reading, width, ToCoord(stripTop));
        AddLimits(ops, strip, limit);
        AddTrace(ops, strip, series, index);
        AddFailMarks(ops, strip, series, index);
    }
    ops.emplace_back(SetTextColor{kBlack});
    ops.emplace_back(DrawText{kMargin, height - 1, "0s", HAlign::Left, VAlign::Bottom});
    ops.emplace_back(DrawText{width / 2, height - 1, "time since the run began", HAlign::Center,
                              VAlign::Bottom});
    ops.emplace_back(
        DrawText{width - kMargin, height - 1, DurationText(tMax), HAlign::Right, VAlign::Bottom});
    return ops;
}

}  // namespace zx840
