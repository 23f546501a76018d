// A run's statistics, its bounded trend and the strip chart drawn from it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "session/run_trend.h"
#include "view/trend_plot.h"

namespace zx840 {
namespace {

constexpr auto kPower = static_cast<std::size_t>(PlanReading::Power);
constexpr auto kIrms = static_cast<std::size_t>(PlanReading::Irms);

TrendPoint Point(double seconds, double power, std::optional<bool> pass = std::nullopt) {
    TrendPoint point;
    point.values.fill(std::numeric_limits<double>::quiet_NaN());
    point.seconds = seconds;
    point.values[kPower] = power;
    point.values[kIrms] = power / 230.0;
    point.pass = pass;
    return point;
}

TEST(RunTrend, StatisticsAreStableAndEnergyIsTrapezoidsOverTheExchangeTimes) {
    // Values around 1e9 whose spread is 1: a sum of squares would lose it.
    RunSummary summary;
    const double offsets[] = {4, 7, 13, 16};
    double t = 0.0;
    for (const double offset : offsets) {
        t += offset;  // uneven exchange times
        summary.Add(Point(t, 1e9 + offset, offset < 10));
    }
    const RunningStats& power = summary.Of(PlanReading::Power);
    EXPECT_EQ(power.count, 4);
    EXPECT_DOUBLE_EQ(power.mean, 1e9 + 10);
    EXPECT_DOUBLE_EQ(power.min, 1e9 + 4);
    EXPECT_DOUBLE_EQ(power.max, 1e9 + 16);
    EXPECT_NEAR(*power.Sigma(), std::sqrt(90.0 / 3.0), 1e-6);  // deviations -6, -3, 3, 6
    EXPECT_EQ(summary.Of(PlanReading::Freq).count, 0);         // NaN is no value
    EXPECT_FALSE(summary.Of(PlanReading::Freq).Sigma());
    // Trapezoids: (p0 + p1) / 2 * dt, in watt-hours.
    const double expectedWh =
        ((2e9 + 11) / 2 * 7 + (2e9 + 20) / 2 * 13 + (2e9 + 29) / 2 * 16) / 3600.0;
    EXPECT_NEAR(summary.energyWh, expectedWh, 1e-6);
    EXPECT_EQ(summary.passed, 2);
    EXPECT_EQ(summary.judgedFail, 2);
    EXPECT_EQ(summary.firstFailSeconds, 4.0 + 7 + 13);
    EXPECT_EQ(summary.firstFailNumber, 3);
    summary.AddFailedExchange();
    EXPECT_EQ(summary.acquisitions, 5);
    EXPECT_EQ(summary.good, 4);
}

TEST(RunTrend, DurationsAsPeopleWriteThemAndNothingElse) {
    const std::pair<const char*, double> good[] = {
        {"8h", 28800},     {"30m", 1800}, {"90s", 90},   {"1h30m", 5400},     {"2d", 172800},
        {"1d12h", 129600}, {"90", 90},    {"0h5m", 300}, {"1d2h3m4s", 93784},
    };
    for (const auto& [text, seconds] : good) {
        std::string problem;
        EXPECT_EQ(ParseDuration(text, &problem), seconds) << text << ": " << problem;
    }
    const std::pair<const char*, const char*> bad[] = {
        {"", "empty"},
        {"h", "number is missing"},
        {"8x", "\"x\" is no unit"},
        {"1m1h", "d to s"},
        {"1h1h", "d to s"},
        {"0s", "longer than nothing"},
        {"-5m", "number is missing"},
        {"1.5h", "\".\" is no unit"},
        {"8h ", "number is missing"},
        {"5m30", "no unit"},
        {"4000d", "ten years"},
        {"9999999999999s", "too large"},
    };
    for (const auto& [text, why] : bad) {
        std::string problem;
        EXPECT_FALSE(ParseDuration(text, &problem)) << text;
        EXPECT_NE(problem.find(why), std::string::npos) << text << ": " << problem;
        EXPECT_NE(problem.find("for example 8h"), std::string::npos) << problem;
    }
    // What the summaries write reads back as the same whole seconds.
    for (const double seconds : {60.0, 125.0, 3723.0, 176400.0, 864000.0 + 59}) {
        std::string problem;
        EXPECT_EQ(ParseDuration(DurationText(seconds), &problem), seconds) << DurationText(seconds);
    }
    EXPECT_EQ(DurationText(12.34), "12.3s");
}

// The ops drawn with `pen`, up to the next pen.
std::vector<DrawOp> DrawnWith(const DrawList& ops, const SelectPen& pen) {
    std::vector<DrawOp> drawn;
    bool in = false;
    for (const DrawOp& op : ops) {
        if (const auto* selected = std::get_if<SelectPen>(&op)) {
            in = *selected == pen;
        } else if (in &&
                   (std::holds_alternative<MoveTo>(op) || std::holds_alternative<LineTo>(op))) {
            drawn.push_back(op);
        }
    }
    return drawn;
}

TEST(TrendChart, LimitsAreLinesAcrossEachStripAndFailPointsAreCrossed) {
    TrendSeries series;
    series.Add(Point(10, 200, true));
    series.Add(Point(20, 260, false));  // over the plan's maximum
    series.Add(Point(30, 240, true));
    TestPlan plan;
    plan.readings[kPower] = Limit{150.0, 250.0};
    const PlanReading readings[] = {PlanReading::Power, PlanReading::Irms};
    const int width = 402;
    const DrawList ops = TrendChart(series, readings, &plan, width, 216);

    // The Power strip (the upper half) has both limits, the Irms strip none:
    // two horizontal lines from margin to margin, the lower one the minimum.
    const std::vector<DrawOp> limits = DrawnWith(ops, kTrendLimitPen);
    ASSERT_EQ(limits.size(), 4u) << Describe(ops);
    const auto& minFrom = std::get<MoveTo>(limits[0]);
    const auto& minTo = std::get<LineTo>(limits[1]);
    const auto& maxFrom = std::get<MoveTo>(limits[2]);
    EXPECT_EQ(minFrom.x, 6);
    EXPECT_EQ(minTo.x, width - 6);
    EXPECT_EQ(minFrom.y, minTo.y);
    EXPECT_GT(minFrom.y, maxFrom.y);
    EXPECT_LT(minFrom.y, 100);

    // One cross per strip, over the FAIL point, which the trace passes.
    const std::vector<DrawOp> marks = DrawnWith(ops, kTrendFailPen);
    ASSERT_EQ(marks.size(), 8u) << Describe(ops);
    const auto& powerCross = std::get<LineTo>(marks[1]);
    const int crossX = powerCross.x - kTrendFailMark;
    const int crossY = powerCross.y - kTrendFailMark;
    EXPECT_EQ(crossX, 6 + (width - 12) * 2 / 3);  // 20 s of 30
    EXPECT_LT(crossY, maxFrom.y);                 // above the maximum
    const std::vector<DrawOp> trace = DrawnWith(ops, kTrendTracePen);
    EXPECT_NE(std::find(trace.begin(), trace.end(), DrawOp{LineTo{crossX, crossY}}), trace.end());
    EXPECT_EQ(trace.size(), 2 * (2u + 2u));  // per strip a move, the lone point and two lines

    // Without a plan nothing is a limit; a FAIL is still crossed.
    EXPECT_TRUE(
        DrawnWith(TrendChart(series, readings, nullptr, width, 216), kTrendLimitPen).empty());
}

}  // namespace
}  // namespace zx840
