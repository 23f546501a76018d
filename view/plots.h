// The panel's three plots as drawing operations: the waveforms over two
// periods on a dashed grid, and the two spectra as bar charts with their
// distortion figures. Coordinates are pixels of a plot box's client area.
#pragma once

#include <array>

#include "draw/draw_ops.h"
#include "record/measurement_record.h"

namespace zx840 {

// Pens of the plots.
inline constexpr SelectPen kGridPen{PenStyle::Dash, 1, kBlack};
inline constexpr SelectPen kAxisPen{PenStyle::Solid, 2, kBlack};
inline constexpr SelectPen kVoltageTracePen{PenStyle::Solid, 2, kOlive};
inline constexpr SelectPen kCurrentTracePen{PenStyle::Solid, 2, kPurple};
inline constexpr SelectPen kVoltageBarPen{PenStyle::Solid, 3, kOlive};
inline constexpr SelectPen kCurrentBarPen{PenStyle::Solid, 3, kPurple};

// The waveform plot for a client area `width` x `height`.
DrawList WaveformPlot(const MeasurementRecord& record, int width, int height);

// Bar positions of a spectrum chart, computed from the voltage box's client
// area and used for both charts.
struct SpectrumGeometry {
    int pitch = 0;       // s: distance between bars
    int firstX = 0;      // x0: the bar of order 1
    int baseY = 0;       // yB: the base line
    int fullHeight = 0;  // H: height of the tallest bar
    friend bool operator==(const SpectrumGeometry&, const SpectrumGeometry&) = default;
};
SpectrumGeometry SpectrumGeometryFor(int width, int height);

enum class Channel { Voltage, Current };

// One spectrum chart into a box of client width `width`: base line, up to 50
// bars (one for every element that gives a bar of non-zero length),
// the distortion label ("Uthd: %.1f%%" or "Ithd: %.1f%%", 0.0 when the
// fundamental is 0) and the axis labels "1", "K", "50".
// The bars of orders marked in `failing` (indexed by order) are drawn with
// the failing pen: the orders whose checks against the test plan failed.
// Without marks the chart is drawn as it always was.
inline constexpr SelectPen kFailingBarPen{PenStyle::Solid, 3, kRed};
DrawList SpectrumPlot(const std::array<float, kHarmonicOrders>& spectrum, float thd,
                      Channel channel, const SpectrumGeometry& geometry, int width,
                      const std::array<bool, kHarmonicOrders + 1>* failing = nullptr);

}  // namespace zx840
