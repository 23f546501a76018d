// The printed one-page test report as drawing operations, computed from the
// test, the size of the printable area and the metrics of the fonts on the
// printer. Coordinates are device units of the printable area.
#pragma once

#include <array>

#include "draw/draw_ops.h"
#include "plan/verdict.h"
#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

inline constexpr char kReportFontFamily[] = "Courier New";
inline constexpr char kReportTitle[] = "ZX840 DIGITAL POWER METER TEST REPORT";

// Pens of the page: the line pen draws the top rule, the plot frames and the
// waveform traces, the bar pen the spectrum bars. Where the page goes back to
// the pen it started with, it selects the device's default pen.
inline constexpr SelectPen kReportLinePen{PenStyle::Solid, 2, kBlack};
inline constexpr SelectPen kReportBarPen{PenStyle::Solid, 7, kBlack};
inline constexpr SelectPen kReportDefaultPen{PenStyle::Solid, 1, kBlack};

// Character heights of the four fonts for a top margin Y0: 10*Y0 divided by
// 45 (title), 60 (heading), 68 (body) and 78 (table).
struct ReportFonts {
    SelectFont title;
    SelectFont heading;
    SelectFont body;
    SelectFont table;
};
ReportFonts ReportFontsFor(int width, int height);

// What the printer says of a font: tmHeight, tmExternalLeading,
// tmAveCharWidth and tmAscent (top of the cell to the baseline), in device
// units.
struct FontMetrics {
    int height = 0;
    int externalLeading = 0;
    int averageCharWidth = 0;
    int ascent = 0;
};

// The fonts the layout depends on: the heading font gives the line height L
// and the character width C; the table font decides whether the harmonic
// table's last row fits on the page.
struct ReportMetrics {
    FontMetrics heading;
    FontMetrics table;
};

struct ReportGeometry {
    int W = 0, H = 0;
    int X0 = 0, Y0 = 0, X1 = 0, Xc = 0;
    int L = 0;  // line height
    int C = 0;  // character width
    int Xp = 0, PW = 0;
    std::array<int, 3> T{};  // tops of the three plot frames
    std::array<int, 3> B{};  // bottoms
    int S = 0;               // bar pitch
    int BH = 0;              // full bar height
    friend bool operator==(const ReportGeometry&, const ReportGeometry&) = default;
};

// The geometry's quantities are clamped to the int range; the page itself
// computes with wider integers, so absurd sizes or metrics cannot overflow.
ReportGeometry ReportGeometryFor(int width, int height, const FontMetrics& heading);

// The whole page. The distortion and percentage cells of a channel whose
// fundamental is 0, or whose value is not a finite number, print 0.0.
// Spectrum entries that give a bar of zero length draw no bar.
// The harmonic rows are four fifths of a line apart; where that would put
// the last row's digits below the printable area, the rows move closer
// together just enough that it ends at the bottom edge.
// A left-aligned text is cut to the characters that can show between its
// position and the right edge (with a wide margin), so that an enormous
// product text costs no more than one that fills the line.
// With a verdict (a test plan is active), one more line stands between the
// parameters and the first plot: "Verdict: PASS" or "Verdict: FAIL (n checks
// failed)" and the plan's name; without one the page is as it always was.
// The page leaves the device with the default pen selected; restoring the
// device's previous font is left to whoever replays the list.
DrawList ReportPage(const MeasurementRecord& record, const ConductionAngles& angles,
                    const ProductMark& mark, int width, int height, const ReportMetrics& metrics,
                    const Verdict* verdict = nullptr);

}  // namespace zx840
