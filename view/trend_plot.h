// The Trend panel's strip chart as drawing operations: one strip per chosen
// reading, stacked, each against the time since the run began, with the
// plan's limits of that reading as dashed lines and the FAIL measurements
// marked with a cross. Coordinates are pixels of a plot box's client area.
#pragma once

#include <span>

#include "draw/draw_ops.h"
#include "plan/plan_file.h"
#include "session/run_trend.h"

namespace zx840 {

inline constexpr SelectPen kTrendTracePen{PenStyle::Solid, 1, Rgb{0, 0, 160}};
inline constexpr SelectPen kTrendLimitPen{PenStyle::Dash, 1, kRed};
inline constexpr SelectPen kTrendFailPen{PenStyle::Solid, 2, kRed};
inline constexpr SelectPen kTrendFramePen{PenStyle::Solid, 1, Rgb{160, 160, 160}};
inline constexpr int kTrendFailMark = 4;  // half the size of a FAIL cross

// The chart of `readings` over `series` for a client area `width` x
// `height`; `plan` (may be null) gives the limits. Each bucket draws from
// its minimum to its maximum, so a decimated run still shows its extremes.
DrawList TrendChart(const TrendSeries& series, std::span<const PlanReading> readings,
                    const TestPlan* plan, int width, int height);

}  // namespace zx840
