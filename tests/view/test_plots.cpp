#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <map>

#include "view/plots.h"

namespace zx840 {
namespace {

// Compares as text first, which shows a readable diff on failure.
void ExpectOps(const DrawList& actual, const DrawList& expected) {
    EXPECT_EQ(Describe(actual), Describe(expected));
    EXPECT_TRUE(actual == expected);
}

constexpr int kWaveOps = 1 + 10 + 2 * (2 + 512);
constexpr std::size_t kVoltageLine0 = 13;            // LineTo of voltage point 0
constexpr std::size_t kCurrentLine0 = 13 + 512 + 2;  // LineTo of current point 0

int LineY(const DrawList& ops, std::size_t index) {
    return std::get<LineTo>(ops.at(index)).y;
}

// The bars of a spectrum chart, drawn after the bar pen, as bar index
// (order - 1) to the y of its top. Each bar must be a move to the base line
// and a vertical line from there.
std::map<int, int> Bars(const DrawList& ops, const SpectrumGeometry& g) {
    std::map<int, int> bars;
    std::size_t k = 4;  // axis pen, base line (2), bar pen
    EXPECT_TRUE(ops.at(3) == DrawOp{kVoltageBarPen} || ops.at(3) == DrawOp{kCurrentBarPen});
    for (; k + 1 < ops.size() && std::holds_alternative<MoveTo>(ops[k]); k += 2) {
        const auto& from = std::get<MoveTo>(ops[k]);
        const auto& to = std::get<LineTo>(ops[k + 1]);
        EXPECT_EQ(from.y, g.baseY);
        EXPECT_EQ(from.x, to.x);
        EXPECT_EQ((from.x - g.firstX) % g.pitch, 0);
        bars[(from.x - g.firstX) / g.pitch] = to.y;
    }
    EXPECT_TRUE(std::holds_alternative<SetTextColor>(ops.at(k)));
    return bars;
}

// The distortion label: the first text of a chart.
const DrawText& Label(const DrawList& ops) {
    for (const DrawOp& op : ops) {
        if (const auto* t = std::get_if<DrawText>(&op)) {
            return *t;
        }
    }
    ADD_FAILURE() << "no label";
    static const DrawText kNone;
    return kNone;
}

TEST(Plots, DescribeGivesOneLinePerOp) {
    const DrawList ops = {kGridPen,
                          MoveTo{0, 5},
                          LineTo{587, 35},
                          SetTextColor{kPurple},
                          SetBackColor{kWhite},
                          kVoltageBarPen,
                          DrawText{409, 55, "Uthd: 10.0%", HAlign::Left, VAlign::Top},
                          DrawText{1, -2, "a\"b\nc", HAlign::Right, VAlign::Baseline}};
    EXPECT_EQ(Describe(ops),
              "pen dash 1 #000000\n"
              "move 0 5\n"
              "line 587 35\n"
              "textcolor #800080\n"
              "backcolor #ffffff\n"
              "pen solid 3 #808000\n"
              "text 409 55 left top \"Uthd: 10.0%\"\n"
              "text 1 -2 right baseline \"a\\\"b\\nc\"\n");
}

// A 589 x 130 box: q = 30, zero line at 65.
TEST(Plots, WaveformOfA130PixelBox) {
    MeasurementRecord r;
    const std::map<int, int> u = {{0, 1000}, {1, -500}, {6, 333}, {7, -333}};
    const std::map<int, int> i = {{3, -200}, {4, 100}, {5, 50}, {200, -67}};
    for (const auto& [n, v] : u) {
        r.UWave[n] = v;
    }
    for (const auto& [n, v] : i) {
        r.IWave[n] = v;
    }

    // Built from the rules with integer arithmetic: MU = 1000, MI = 200.
    DrawList expected = {kGridPen};
    for (int y : {5, 35, 65, 95, 125}) {
        expected.push_back(MoveTo{0, y});
        expected.push_back(LineTo{589, y});
    }
    const auto yU = [&](int n) { return 65 - r.UWave[n % 256] * 30 / 1000; };
    const auto yI = [&](int n) { return 65 - r.IWave[n % 256] * 60 / 200; };
    expected.push_back(kVoltageTracePen);
    expected.push_back(MoveTo{0, yU(0)});
    for (int n = 0; n < 512; ++n) {
        expected.push_back(LineTo{589 * n / 512, yU(n)});
    }
    expected.push_back(kCurrentTracePen);
    expected.push_back(MoveTo{0, yI(0)});
    for (int n = 0; n < 512; ++n) {
        expected.push_back(LineTo{589 * n / 512, yI(n)});
    }

    const DrawList ops = WaveformPlot(r, 589, 130);
    ASSERT_EQ(ops.size(), static_cast<std::size_t>(kWaveOps));
    ExpectOps(ops, expected);

    // Spot checks of the same list against the hand-worked values.
    EXPECT_EQ(LineY(ops, kVoltageLine0), 35);        // sample == MU
    EXPECT_EQ(LineY(ops, kVoltageLine0 + 256), 35);  // same sample, second period
    EXPECT_EQ(std::get<LineTo>(ops[kVoltageLine0 + 256]).x, 294);
    EXPECT_EQ(LineY(ops, kVoltageLine0 + 7), 74);    // -9.99 truncates to -9
    EXPECT_EQ(LineY(ops, kCurrentLine0 + 3), 125);   // sample == -MI
    EXPECT_EQ(LineY(ops, kCurrentLine0 + 200), 85);  // -20.1 truncates to -20
    EXPECT_EQ(ops[kCurrentLine0 + 511], (DrawOp{LineTo{587, 65}}));
}

TEST(Plots, WaveformExtremes) {
    // Full-scale samples: |INT32_MIN| is the scale and reaches the fourth
    // grid line; an all-zero channel lies on the zero line.
    MeasurementRecord r;
    r.UWave[0] = INT32_MIN;
    r.UWave[1] = INT32_MAX;
    DrawList ops = WaveformPlot(r, 589, 130);
    EXPECT_EQ(LineY(ops, kVoltageLine0), 95);
    EXPECT_EQ(LineY(ops, kVoltageLine0 + 1), 36);
    for (std::size_t k = kCurrentLine0; k < ops.size(); ++k) {
        EXPECT_EQ(LineY(ops, k), 65);
    }

    // Absurd boxes must not overflow.
    ops = WaveformPlot(r, INT_MAX, INT_MIN);
    EXPECT_EQ(std::get<LineTo>(ops.back()).x, INT_MAX - INT_MAX / 512 - 1);
    ops = WaveformPlot(r, INT_MIN, INT_MAX);
    EXPECT_EQ(ops.size(), static_cast<std::size_t>(kWaveOps));
}

DrawList ExpectedSpectrum589x175(const std::array<int, 50>& tops, const SelectPen& barPen,
                                 Rgb colour, const std::string& label) {
    DrawList d = {kAxisPen, MoveTo{5, 155}, LineTo{584, 155}, barPen};
    for (int i = 0; i < 50; ++i) {
        if (tops[i] == 155) {
            continue;  // a bar of zero length is not drawn
        }
        d.push_back(MoveTo{24 + 11 * i, 155});
        d.push_back(LineTo{24 + 11 * i, tops[i]});
    }
    d.push_back(SetTextColor{colour});
    d.push_back(DrawText{409, 55, label, HAlign::Left, VAlign::Top});
    d.push_back(SetBackColor{kWhite});
    d.push_back(SetTextColor{kBlack});
    d.push_back(DrawText{19, 157, "1", HAlign::Left, VAlign::Top});
    d.push_back(DrawText{299, 157, "K", HAlign::Left, VAlign::Top});
    d.push_back(DrawText{558, 157, "50", HAlign::Left, VAlign::Top});
    return d;
}

TEST(Plots, SpectrumOfA589By175Box) {
    const SpectrumGeometry g = SpectrumGeometryFor(589, 175);
    EXPECT_EQ(g, (SpectrumGeometry{11, 24, 155, 145}));

    std::array<float, 50> spectrum{};
    spectrum[0] = 500.0f;  // full height: ends at 10
    spectrum[1] = 250.0f;  // 72.5 -> 72
    spectrum[2] = 100.0f;  // 29
    spectrum[49] = 3.0f;   // 0.87 -> 0
    std::array<int, 50> tops;
    tops.fill(155);
    tops[0] = 10;
    tops[1] = 83;
    tops[2] = 126;
    ExpectOps(SpectrumPlot(spectrum, 50.0f, Channel::Voltage, g, 589),
              ExpectedSpectrum589x175(tops, kVoltageBarPen, kOlive, "Uthd: 10.0%"));
    ExpectOps(SpectrumPlot(spectrum, 25.0f, Channel::Current, g, 589),
              ExpectedSpectrum589x175(tops, kCurrentBarPen, kPurple, "Ithd: 5.0%"));

    // The current box may differ in width: only its base line follows it.
    const DrawList wider = SpectrumPlot(spectrum, 25.0f, Channel::Current, g, 600);
    EXPECT_EQ(wider[2], (DrawOp{LineTo{595, 155}}));
    EXPECT_EQ(Label(wider).x, 409);

    // Without a fundamental the bars follow the largest order, and the
    // label reads 0.0 whatever the distortion sum.
    spectrum = {};
    spectrum[2] = 40.0f;
    spectrum[4] = 20.0f;
    tops.fill(155);
    tops[2] = 10;
    tops[4] = 83;
    ExpectOps(SpectrumPlot(spectrum, 30.0f, Channel::Voltage, g, 589),
              ExpectedSpectrum589x175(tops, kVoltageBarPen, kOlive, "Uthd: 0.0%"));
}

TEST(Plots, AllZeroRecord) {
    const MeasurementRecord r;
    const DrawList wave = WaveformPlot(r, 589, 175);  // q = 41: zero line at 87
    for (std::size_t k = 12; k < wave.size(); ++k) {
        if (const auto* m = std::get_if<MoveTo>(&wave[k])) {
            EXPECT_EQ(m->y, 87) << k;
        } else if (const auto* l = std::get_if<LineTo>(&wave[k])) {
            EXPECT_EQ(l->y, 87) << k;
        }
    }
    const SpectrumGeometry g = SpectrumGeometryFor(589, 175);
    const DrawList u = SpectrumPlot(r.USpec, r.Uthd, Channel::Voltage, g, 589);
    const DrawList i = SpectrumPlot(r.ISpec, r.Ithd, Channel::Current, g, 589);
    // No bar at all: not even a dot on the base line.
    EXPECT_TRUE(Bars(u, g).empty());
    EXPECT_TRUE(Bars(i, g).empty());
    EXPECT_EQ(u.size(), 4u + 7u);
    EXPECT_EQ(Label(u).text, "Uthd: 0.0%");
    EXPECT_EQ(Label(i).text, "Ithd: 0.0%");
}

// A measured spectrum: a large fundamental, odd harmonics falling off and
// even ones near zero, so that many bars come out shorter than a pixel. Only
// the bars with a length are drawn, each where its order stands.
TEST(Plots, SpectrumDrawsOnlyBarsWithALength) {
    const SpectrumGeometry g = SpectrumGeometryFor(589, 175);  // H = 145
    std::array<float, 50> spectrum{};
    for (int i = 0; i < 50; ++i) {
        const int order = i + 1;
        spectrum[i] = order == 1       ? 7500.0f
                      : order % 2 == 1 ? 5200.0f / static_cast<float>(order * order)
                                       : 0.4f * static_cast<float>(i % 3);
    }
    // Orders 3, 5, 7 and 9 are 11.2, 4.0, 2.1 and 1.2 pixels long; order 11
    // (0.8) and everything above it has no length.
    const std::map<int, int> expected = {{0, 10}, {2, 144}, {4, 151}, {6, 153}, {8, 154}};
    const DrawList ops = SpectrumPlot(spectrum, 2000.0f, Channel::Current, g, 589);
    EXPECT_EQ(Bars(ops, g), expected);
    EXPECT_EQ(ops.size(), 4u + 2u * expected.size() + 7u);
}

TEST(Plots, SpectrumWithNonFiniteOrHugeValues) {
    const SpectrumGeometry g = SpectrumGeometryFor(589, 175);
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    std::array<float, 50> spectrum{};
    spectrum[0] = kNaN;
    spectrum[1] = kInf;
    spectrum[2] = 1e38f;
    spectrum[3] = -kInf;
    spectrum[4] = -5.0f;
    DrawList ops = SpectrumPlot(spectrum, 1.0f, Channel::Voltage, g, 589);
    EXPECT_EQ(Bars(ops, g), (std::map<int, int>{{1, 10}}));  // the others have no length
    EXPECT_EQ(Label(ops).text, "Uthd: 0.0%");

    // A NaN or infinite distortion also reads 0.0.
    spectrum = {};
    spectrum[0] = 500.0f;
    EXPECT_EQ(Label(SpectrumPlot(spectrum, kNaN, Channel::Current, g, 589)).text, "Ithd: 0.0%");
    EXPECT_EQ(Label(SpectrumPlot(spectrum, kInf, Channel::Current, g, 589)).text, "Ithd: 0.0%");

    // Huge negative elements and absurd boxes saturate instead of overflowing.
    spectrum[7] = -3e38f;
    ops = SpectrumPlot(spectrum, 0.0f, Channel::Voltage, SpectrumGeometryFor(INT_MAX, INT_MIN),
                       INT_MIN);
    EXPECT_EQ(std::get<LineTo>(ops[2]).x, INT_MIN);
    ops = SpectrumPlot(spectrum, 0.0f, Channel::Voltage, g, 589);
    EXPECT_EQ(Bars(ops, g), (std::map<int, int>{{0, 10}, {7, INT_MAX}}));
}

}  // namespace
}  // namespace zx840
