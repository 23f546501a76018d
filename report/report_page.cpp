#include "report/report_page.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>

#include "draw/number_format.h"
#include "draw/trace_scale.h"
#include "record/derived_values.h"

namespace zx840 {

namespace {

// Whole-number layout arithmetic is done in 64 bits: sizes and metrics come
// in as ints, and products such as 28·L or 4·L·49 must not overflow for any
// of them. Values become device coordinates (clamped to int) only when an
// operation is emitted. Every division is C++ integer division, which
// truncates towards zero as the layout rules require.
using Wide = std::int64_t;

struct Layout {
    Wide W = 0, H = 0;
    Wide X0 = 0, Y0 = 0, X1 = 0, Xc = 0;
    Wide L = 0, C = 0;
    Wide Xp = 0, PW = 0;
    std::array<Wide, 3> T{}, B{};
    Wide S = 0, BH = 0;
    Wide tableAscent = 0;  // the table font's cell top to baseline
};

constexpr int kTracePoints = 300;
constexpr int kLastTableOrder = kHarmonicOrders;

// Bound for truncated floating values: far beyond any coordinate, and small
// enough that adding a layout quantity to it cannot overflow 64 bits.
constexpr double kTruncLimit = 4611686018427387904.0;  // 2^62

constexpr const char* kPlotTitles[3] = {" VOLTAGE & CURRENT WAVEFORM", "     VOLTAGE SPECTRUM",
                                        "     CURRENT SPECTRUM"};
constexpr int kLabelledOrders[5] = {10, 20, 30, 40, 50};

int Coord(Wide v) {
    return static_cast<int>(std::clamp<Wide>(v, INT_MIN, INT_MAX));
}

// trunc() of a plotted value, towards zero. A NaN (possible with a loaded
// test file) counts as 0, and infinities are held at a bound so that the
// conversion stays defined.
Wide Trunc(double v) {
    if (std::isnan(v)) {
        return 0;
    }
    return static_cast<Wide>(std::clamp(std::trunc(v), -kTruncLimit, kTruncLimit));
}

// The first `limit` characters of UTF-8 text (all of it when shorter),
// never ending inside a character's byte sequence.
std::string_view Utf8Prefix(std::string_view text, Wide limit) {
    Wide characters = 0;
    for (std::size_t at = 0; at < text.size(); ++at) {
        const bool continuation = (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80;
        if (!continuation && characters++ == limit) {
            return text.substr(0, at);
        }
    }
    return text;
}

Layout LayoutFor(int width, int height, const FontMetrics& heading) {
    Layout g;
    g.W = width;
    g.H = height;
    g.X0 = g.W / 12;
    g.Y0 = g.H / 12;
    g.X1 = 11 * g.X0;
    g.Xc = g.X0 + (g.X1 - g.X0) / 2;
    g.L = Wide{heading.height} + heading.externalLeading;
    g.C = heading.averageCharWidth;
    g.Xp = g.X0 + (2 * (g.X1 - g.X0)) / 5;
    g.PW = g.Xp - g.X0;
    // The frames are stacked 23 character widths apart, each 9 lines high.
    for (std::size_t k = 0; k < 3; ++k) {
        const Wide step = static_cast<Wide>(k) * 23 * g.C;
        g.T[k] = g.Y0 + 19 * g.L + step;
        g.B[k] = g.Y0 + 28 * g.L + step;
    }
    g.S = Trunc(static_cast<double>(g.PW - 40) * 0.02);
    g.BH = (g.B[1] - g.T[1]) - 30;
    return g;
}

SelectFont ReportFont(int height, int divisor, int weight) {
    // 10·Y0 fits in an int for every int height (Y0 = height / 12).
    return SelectFont{kReportFontFamily, 10 * (height / 12) / divisor, weight, false};
}

// "%.1f" of part / fundamental × 100; 0.0 without a fundamental or for a
// value that is not finite.
std::string PercentText(float part, float fundamental) {
    return FormatFixed(QuotientPercent(part, fundamental), 1);
}

class PageBuilder {
  public:
    PageBuilder(const Layout& g, const ReportFonts& fonts) : g_(g), fonts_(fonts) {}

    DrawList Build(const MeasurementRecord& r, const ConductionAngles& a, const ProductMark& m,
                   const Verdict* verdict) {
        ops_.reserve(1024);
        // The heading font is selected first because its metrics (given as
        // L and C) are read from the device with it in place.
        ops_.emplace_back(fonts_.heading);
        ops_.emplace_back(fonts_.title);
        Text(g_.Xc, g_.Y0 + g_.L, kReportTitle, HAlign::Center);
        ProductBlock(m);
        ParameterBlock(r, a);
        if (verdict != nullptr) {
            VerdictLine(*verdict);
        }
        RuleAndFrames();
        PlotTitles();
        Waveforms(r);
        Spectra(r);
        HarmonicTable(r);
        return std::move(ops_);
    }

  private:
    // How many characters of a left-aligned text at x can show before the
    // right edge of the page. The fonts drawing such texts are at least
    // about seven eighths of C wide per character (the body font; the
    // heading font is C wide); counting half of C per character leaves a
    // wide margin for narrower glyphs. Texts within the limit are untouched.
    Wide VisibleCharacters(Wide x) const {
        const Wide room = std::max<Wide>(0, g_.W - x);
        const Wide halfC = std::max<Wide>(1, g_.C / 2);
        return room / halfC + 2;
    }

    void Text(Wide x, Wide y, std::string_view text, HAlign halign = HAlign::Left) {
        // Centred texts are the title and the table cells, all short by
        // their formats; left-aligned ones may carry product texts of any
        // length.
        if (halign == HAlign::Left) {
            text = Utf8Prefix(text, VisibleCharacters(x));
        }
        ops_.emplace_back(DrawText{Coord(x), Coord(y), std::string(text), halign, VAlign::Top});
    }
    // A label, a product text and what follows it, without first copying
    // more of the product text than can show.
    void ProductText(Wide x, Wide y, std::string_view label, std::string_view field,
                     std::string_view suffix = {}) {
        std::string text(label);
        text += Utf8Prefix(field, VisibleCharacters(x));
        text += suffix;
        Text(x, y, text);
    }
    void Move(Wide x, Wide y) { ops_.emplace_back(MoveTo{Coord(x), Coord(y)}); }
    void Line(Wide x, Wide y) { ops_.emplace_back(LineTo{Coord(x), Coord(y)}); }

    Wide Row(int r) const { return g_.Y0 + r * g_.L; }
    Wide LeftColumn() const { return g_.X0 + 4 * g_.C; }
    Wide RightColumn() const { return g_.Xc + 4 * g_.C; }

    // Text fields are printed as they stand: a missing text leaves its
    // label alone, trailing blanks included.
    void ProductBlock(const ProductMark& m) {
        ops_.emplace_back(fonts_.heading);
        Text(g_.X0 + 2 * g_.C, Row(4), "Product Mark");
        ops_.emplace_back(fonts_.body);
        ProductText(LeftColumn(), Row(5), "Manufacturer : ", m.Manufacturer);
        ProductText(LeftColumn(), Row(6), "Type :  ", m.Type);
        Text(RightColumn(), Row(6), "Number : " + std::to_string(m.Number));
        ProductText(LeftColumn(), Row(7), "Temperature : ", m.Temperature, "'C");
        ProductText(RightColumn(), Row(7), "Humidity : ", m.Humidity, "%");
        ProductText(LeftColumn(), Row(8), "Operator : ", m.Operator);
        ProductText(RightColumn(), Row(8), "Testday : ", m.Testday);
    }

    // The verdict against the test plan, on the free line between the
    // parameters and the first plot title: the verdict in the heading font,
    // the plan's name in the right column.
    void VerdictLine(const Verdict& verdict) {
        ops_.emplace_back(fonts_.heading);
        // Up to the plan's name in the right column, in the heading font
        // of C per character, one character apart.
        const Wide x = g_.X0 + 2 * g_.C;
        const Wide room = std::max<Wide>(0, (RightColumn() - x) / std::max<Wide>(1, g_.C) - 1);
        Text(x, Row(16), verdict.ShortLine(static_cast<std::size_t>(room)));
        ops_.emplace_back(fonts_.body);
        ProductText(RightColumn(), Row(16), "Plan : ", verdict.plan);
    }

    // Readings in printf's "%W.Pf" form; the peaks are the products of RMS
    // value and crest factor in double precision, never stored values.
    void ParameterBlock(const MeasurementRecord& r, const ConductionAngles& a) {
        const double upeak = Upeak(r);
        const double ipeak = Ipeak(r);
        ops_.emplace_back(fonts_.heading);
        Text(g_.X0 + 2 * g_.C, Row(9), "Power Parameter");
        ops_.emplace_back(fonts_.body);
        Text(LeftColumn(), Row(10), "Urms  = " + FormatFixed(r.Urms, 1, 5) + " V");
        Text(RightColumn(), Row(10), "Irms  = " + FormatFixed(r.Irms, 3, 5) + " A");
        Text(LeftColumn(), Row(11), "Upeak = " + FormatFixed(upeak, 1, 5) + " V");
        Text(RightColumn(), Row(11), "Ipeak = " + FormatFixed(ipeak, 1, 5) + " A");
        Text(LeftColumn(), Row(12), "Ucf   = " + FormatFixed(r.Ucf, 2, 5));
        Text(RightColumn(), Row(12), "Icf   = " + FormatFixed(r.Icf, 2, 5));
        Text(LeftColumn(), Row(13), "Power = " + FormatFixed(r.Power, 2, 5) + " W");
        Text(RightColumn(), Row(13), "Freq  = " + FormatFixed(r.Freq, 2, 5) + " Hz");
        Text(LeftColumn(), Row(14), "PF = " + FormatFixed(r.PF, 3, 5) + " ");
        Text(RightColumn(), Row(14), "Peak Angle: " + FormatFixed(a.PeakAngle, 1, 5) + " Deg");
        Text(LeftColumn(), Row(15), "Start Angle: " + FormatFixed(a.StartAngle, 1, 5) + " Deg");
        Text(RightColumn(), Row(15), "End Angle: " + FormatFixed(a.EndAngle, 1, 5) + " Deg");
    }

    void RuleAndFrames() {
        ops_.emplace_back(kReportLinePen);
        Move(g_.X0, g_.Y0);
        Line(g_.X1, g_.Y0);
        for (std::size_t k = 0; k < 3; ++k) {
            Move(g_.X0, g_.T[k]);
            Line(g_.Xp, g_.T[k]);
            Line(g_.Xp, g_.B[k]);
            Line(g_.X0, g_.B[k]);
            Line(g_.X0, g_.T[k]);
        }
        ops_.emplace_back(kReportDefaultPen);
    }

    void PlotTitles() {
        ops_.emplace_back(fonts_.heading);
        for (std::size_t k = 0; k < 3; ++k) {
            Text(g_.X0, g_.T[k] - (3 * g_.L) / 2, kPlotTitles[k]);
        }
    }

    // 300 points across the frame; after the 256 samples the trace goes on
    // with samples 0 to 43 again. The quotient is taken in double precision.
    void Trace(const std::array<std::int32_t, kSamplesPerPeriod>& wave, float scale,
               float amplitude, Wide centre) {
        for (int i = 0; i < kTracePoints; ++i) {
            const Wide x = g_.X0 + (i * g_.PW) / kTracePoints;
            const double sample = wave[static_cast<std::size_t>(i % kSamplesPerPeriod)];
            const Wide y = centre - Trunc(sample / scale * amplitude);
            if (i == 0) {
                Move(x, y);
            } else {
                Line(x, y);
            }
        }
    }

    // Each trace is scaled to its own largest sample; an all-zero channel
    // gets a nominal scale and lies flat on the centre line. The voltage
    // swings two thirds as far as the current, and both stay 20 units
    // inside the frame.
    void Waveforms(const MeasurementRecord& r) {
        const float mi = CurrentTraceScale(r);
        const float mu = VoltageTraceScale(r);
        const Wide hh = (g_.B[0] - g_.T[0]) / 2;
        const auto au = static_cast<float>(2 * ((hh - 20) / 3));
        const auto ai = static_cast<float>(hh - 20);
        const Wide centre = g_.B[0] - hh;
        // The rule and frames went back to the default pen; the traces are
        // drawn with the line pen.
        ops_.emplace_back(kReportLinePen);
        Trace(r.UWave, mu, au, centre);
        Trace(r.IWave, mi, ai, centre);
    }

    // Bars of frame k, scaled to the largest entry of their own spectrum.
    // A bar of zero length is not drawn: the wide bar pen has round ends and
    // would leave a dot on the frame. An infinite entry is the largest: it
    // takes the full height (inf / inf would be NaN) and leaves the finite
    // ones empty; a NaN draws no bar and a negative entry draws downwards.
    void Bars(const std::array<float, kHarmonicOrders>& spectrum, std::size_t k) {
        const float ms = BarScale(spectrum);
        for (int n = 1; n <= kHarmonicOrders; ++n) {
            const float entry = spectrum[static_cast<std::size_t>(n - 1)];
            const double share =
                entry == ms ? 1.0 : static_cast<double>(entry) / static_cast<double>(ms);
            const Wide length = Trunc(share * static_cast<double>(g_.BH));
            if (length == 0) {
                continue;
            }
            const Wide x = g_.X0 + 20 + n * g_.S;
            Move(x, g_.B[k]);
            Line(x, g_.B[k] - length);
        }
    }

    // "1" under the first bar, and every tenth order roughly centred under
    // its bar.
    void OrderLabels(std::size_t k) {
        const Wide y = g_.B[k] + g_.L / 3;
        const Wide first = g_.X0 + 20;
        Text(first + g_.S - g_.C / 2, y, "1");
        for (int n : kLabelledOrders) {
            Text(first + n * g_.S - g_.C, y, std::to_string(n));
        }
    }

    void Spectra(const MeasurementRecord& r) {
        ops_.emplace_back(kReportBarPen);
        Bars(r.USpec, 1);
        ops_.emplace_back(fonts_.body);
        OrderLabels(1);
        Bars(r.ISpec, 2);
        ops_.emplace_back(kReportDefaultPen);
        OrderLabels(2);
    }

    // Offset of the row of order n below the THD row. Rows are four fifths
    // of a line apart; each offset is divided as a whole so that the
    // truncation does not add up from row to row. The last row sits so low
    // that on many pages its digits (which end at the baseline, a table
    // ascent below its top) would fall below the printable area: then the
    // rows share the room that is left evenly, so that the last one ends
    // exactly at the bottom, and nothing else on the page moves.
    Wide TableRowOffset(Wide top, int n) const {
        const Wide lastRows = kLastTableOrder - 1;
        const Wide natural = (4 * g_.L * lastRows) / 5;
        if (top + natural + g_.tableAscent <= g_.H) {
            return (4 * g_.L * (n - 1)) / 5;
        }
        const Wide room = std::max<Wide>(0, g_.H - g_.tableAscent - top);
        return (room * (n - 1)) / lastRows;
    }

    // Centred columns to the right of the plots.
    void HarmonicTable(const MeasurementRecord& r) {
        const Wide xt = g_.Xp + 8 * g_.C;
        const Wide columns[3] = {xt, xt + 12 * g_.C, xt + 24 * g_.C};
        const auto row = [&](Wide y, std::string_view order, std::string_view u,
                             std::string_view i) {
            Text(columns[0], y, order, HAlign::Center);
            Text(columns[1], y, u, HAlign::Center);
            Text(columns[2], y, i, HAlign::Center);
        };
        row(g_.T[0] - g_.L - 7, "ORD.", "U_SPEC(%)", "I_SPEC(%)");  // still in the body font
        ops_.emplace_back(fonts_.table);
        const Wide top = g_.T[0] - 7;
        row(top, "THD", PercentText(r.Uthd, r.USpec[0]), PercentText(r.Ithd, r.ISpec[0]));
        for (int n = 2; n <= kHarmonicOrders; ++n) {
            const auto k = static_cast<std::size_t>(n - 1);
            row(top + TableRowOffset(top, n), std::to_string(n),
                PercentText(r.USpec[k], r.USpec[0]), PercentText(r.ISpec[k], r.ISpec[0]));
        }
    }

    const Layout& g_;
    const ReportFonts& fonts_;
    DrawList ops_;
};

}  // namespace

ReportFonts ReportFontsFor(int /*width*/, int height) {
    return ReportFonts{ReportFont(height, 45, 600), ReportFont(height, 60, 400),
                       ReportFont(height, 68, 300), ReportFont(height, 78, 400)};
}

ReportGeometry ReportGeometryFor(int width, int height, const FontMetrics& heading) {
    const Layout w = LayoutFor(width, height, heading);
    ReportGeometry g;
    g.W = Coord(w.W);
    g.H = Coord(w.H);
    g.X0 = Coord(w.X0);
    g.Y0 = Coord(w.Y0);
    g.X1 = Coord(w.X1);
    g.Xc = Coord(w.Xc);
    g.L = Coord(w.L);
    g.C = Coord(w.C);
    g.Xp = Coord(w.Xp);
    g.PW = Coord(w.PW);
    for (std::size_t k = 0; k < 3; ++k) {
        g.T[k] = Coord(w.T[k]);
        g.B[k] = Coord(w.B[k]);
    }
    g.S = Coord(w.S);
    g.BH = Coord(w.BH);
    return g;
}

DrawList ReportPage(const MeasurementRecord& record, const ConductionAngles& angles,
                    const ProductMark& mark, int width, int height, const ReportMetrics& metrics,
                    const Verdict* verdict) {
    Layout layout = LayoutFor(width, height, metrics.heading);
    layout.tableAscent = metrics.table.ascent;
    const ReportFonts fonts = ReportFontsFor(width, height);
    return PageBuilder(layout, fonts).Build(record, angles, mark, verdict);
}

}  // namespace zx840
