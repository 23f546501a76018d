#include "view/plots.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "draw/number_format.h"
#include "draw/trace_scale.h"
#include "record/derived_values.h"

namespace zx840 {

namespace {

// Plot arithmetic is done in double precision. Whole values are carried as
// doubles too (every int and every sum of a few ints is exact there) and
// only turned into device coordinates at the end, so that no intermediate
// step can overflow an int.

// trunc() for plotting: towards zero, with a NaN (possible in a loaded test
// file) counted as 0 so that it draws like an empty value.
double Trunc(double v) {
    return std::isnan(v) ? 0.0 : std::trunc(v);
}

// A whole-valued double as a device coordinate, clamped to the int range:
// converting an out-of-range value would be undefined, and an infinite scale
// is just drawn at the edge of the coordinate space.
int ToCoord(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<int>(
        std::clamp(v, static_cast<double>(INT_MIN), static_cast<double>(INT_MAX)));
}

constexpr int kWavePoints = 2 * kSamplesPerPeriod;  // two periods across the width
constexpr double kPerPoint = 0.001953125;           // 1 / 512

// One trace: the samples drawn twice, point n at x(n) and the height given
// by `swing` (pixels for a sample equal to the scale) around the zero line.
void AddTrace(DrawList& ops, const std::array<std::int32_t, kSamplesPerPeriod>& wave, double scale,
              double swing, double zeroY, int width) {
    const auto y = [&](int n) {
        const double sample = wave[static_cast<std::size_t>(n % kSamplesPerPeriod)];
        return ToCoord(zeroY - Trunc(sample / scale * swing));
    };
    ops.emplace_back(MoveTo{0, y(0)});
    for (int n = 0; n < kWavePoints; ++n) {
        const int x = ToCoord(Trunc(static_cast<double>(width) * n * kPerPoint));
        ops.emplace_back(LineTo{x, y(n)});
    }
}

}  // namespace

DrawList WaveformPlot(const MeasurementRecord& record, int width, int height) {
    DrawList ops;
    ops.reserve(2 + 10 + 2 * (2 + kWavePoints));

    // The grid divides the box, less 5 pixels top and bottom, into quarters.
    const double q = Trunc((static_cast<double>(height) - 10.0) * 0.25);
    ops.emplace_back(kGridPen);
    for (int k = 0; k < 5; ++k) {
        const int y = ToCoord(5.0 + k * q);
        ops.emplace_back(MoveTo{0, y});
        ops.emplace_back(LineTo{width, y});
    }

    // Each trace is scaled to its own largest sample; an all-zero channel
    // gets a nominal scale and lies flat on the zero line.
    const float mu = VoltageTraceScale(record);
    const float mi = CurrentTraceScale(record);
    const double zeroY = 2.0 * q + 5.0;

    // The voltage swings to the second and fourth grid lines, the current
    // (drawn on top) to the first and last.
    ops.emplace_back(kVoltageTracePen);
    AddTrace(ops, record.UWave, mu, q, zeroY, width);
    ops.emplace_back(kCurrentTracePen);
    AddTrace(ops, record.IWave, mi, q * 2.0, zeroY, width);
    return ops;
}

SpectrumGeometry SpectrumGeometryFor(int width, int height) {
    const double r = width;
    const double b = height;
    const double s = Trunc((r - 8.0) * 0.02);
    SpectrumGeometry g;
    g.pitch = ToCoord(s);
    // Centres the 50 bars in the box.
    g.firstX = ToCoord(Trunc(s * 0.5) + Trunc((r - kHarmonicOrders * s) * 0.5));
    g.baseY = ToCoord(b - 20.0);
    g.fullHeight = ToCoord(b - 30.0);
    return g;
}

namespace {

// The bars of a spectrum, from its base line up; failing orders in the
// failing pen.
void AddBars(DrawList& ops, const std::array<float, kHarmonicOrders>& spectrum,
             const SpectrumGeometry& geometry, const SelectPen& barPen,
             const std::array<bool, kHarmonicOrders + 1>* failing) {
    const double yB = geometry.baseY;
    const int baseY = geometry.baseY;
    const float m = BarScale(spectrum);
    ops.emplace_back(barPen);
    bool failingPen = false;
    for (int i = 0; i < kHarmonicOrders; ++i) {
        const float v = spectrum[static_cast<std::size_t>(i)];
        // v / m is exactly 1 for the largest finite element anyway; the
        // comparison only matters for an infinite one (inf / inf is NaN).
        const double share = v == m ? 1.0 : static_cast<double>(v) / m;
        const int top = ToCoord(yB - Trunc(share * geometry.fullHeight));
        if (top == baseY) {
            continue;
        }
        const bool failed = failing != nullptr && (*failing)[static_cast<std::size_t>(i + 1)];
        if (failed != failingPen) {
            ops.emplace_back(failed ? kFailingBarPen : barPen);
            failingPen = failed;
        }
        const int x = ToCoord(geometry.firstX + i * static_cast<double>(geometry.pitch));
        ops.emplace_back(MoveTo{x, baseY});
        ops.emplace_back(LineTo{x, top});
    }
}

}  // namespace

DrawList SpectrumPlot(const std::array<float, kHarmonicOrders>& spectrum, float thd,
                      Channel channel, const SpectrumGeometry& geometry, int width,
                      const std::array<bool, kHarmonicOrders + 1>* failing) {
    const bool voltage = channel == Channel::Voltage;
    const double s = geometry.pitch;
    const double x0 = geometry.firstX;
    const double yB = geometry.baseY;
    const auto barX = [&](double i) { return ToCoord(x0 + i * s); };
    const int baseY = geometry.baseY;
    const int labelY = ToCoord(yB + 2.0);

    DrawList ops;
    ops.reserve(3 + 1 + 2 * kHarmonicOrders + 7);
    ops.emplace_back(kAxisPen);
    ops.emplace_back(MoveTo{5, baseY});
    ops.emplace_back(LineTo{ToCoord(static_cast<double>(width) - 5.0), baseY});

    // Bars are scaled to the largest element of their own spectrum, which
    // gets the full height. A bar of zero length is not drawn at all: the
    // wide bar pen has round ends and would leave a dot on the base line.
    // Values the analysis never produces but a loaded test file may hold: a
    // NaN never wins the comparison and draws no bar; an infinite element is
    // the largest, takes the full height and leaves the finite ones empty;
    // negative elements draw downwards.
    AddBars(ops, spectrum, geometry, voltage ? kVoltageBarPen : kCurrentBarPen, failing);

    // Distortion in percent of the fundamental; 0.0 without a fundamental.
    // A value that is not finite (a NaN or an infinity in the record) is
    // shown as 0.0 as well, like the cells of the harmonic list. In double
    // precision no ratio of two finite floats overflows.
    const double percent = QuotientPercent(thd, spectrum[0]);
    ops.emplace_back(SetTextColor{voltage ? kOlive : kPurple});
    ops.emplace_back(DrawText{barX(35), ToCoord(yB - 100.0),
                              (voltage ? "Uthd: " : "Ithd: ") + FormatFixed(percent, 1) + "%",
                              HAlign::Left, VAlign::Top});

    // Order axis: "1" under the first bar, "K" under order 26, "50" under the last.
    ops.emplace_back(SetBackColor{kWhite});
    ops.emplace_back(SetTextColor{kBlack});
    ops.emplace_back(DrawText{ToCoord(x0 - 5.0), labelY, "1", HAlign::Left, VAlign::Top});
    ops.emplace_back(DrawText{barX(25), labelY, "K", HAlign::Left, VAlign::Top});
    ops.emplace_back(
        DrawText{ToCoord(x0 + 49.0 * s - 5.0), labelY, "50", HAlign::Left, VAlign::Top});
    return ops;
}

}  // namespace zx840
