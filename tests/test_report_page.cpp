#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cstdint>
#include <limits>
#include <map>
#include <string>
#include <utility>

#include "report/report_page.h"

namespace zx840 {
namespace {

// A 4800 x 6600 printable area with a 91-unit Courier heading font: L = 103,
// C = 55. Frames: T = 2507, 3772, 5037 and B = 3434, 4699, 5964.
constexpr int kW = 4800;
constexpr int kH = 6600;
constexpr FontMetrics kHeadingMetrics{103, 0, 55};
const SelectFont kTitleFont{"Courier New", 122, 600, false};
const SelectFont kHeadingFont{"Courier New", 91, 400, false};
const SelectFont kBodyFont{"Courier New", 80, 300, false};
const SelectFont kTableFont{"Courier New", 70, 400, false};

// Op indices on every page: the product and parameter texts, the last
// current trace point, the top of order 50's voltage bar, the first table row.
constexpr std::size_t kProductText0 = 6;
constexpr std::size_t kParameterText0 = 16;
constexpr std::size_t kVoltageTrace0 = 52;
constexpr std::size_t kLastTracePoint = 651;
constexpr std::size_t kVoltageBar0 = 653;
constexpr std::size_t kOrder50VoltageBarTop = 752;
constexpr std::size_t kCurrentBar0 = 760;
constexpr std::size_t kThdRow = 871;
constexpr std::size_t kPageOps = 1021;

DrawText Left(int x, int y, std::string text) {
    return DrawText{x, y, std::move(text), HAlign::Left, VAlign::Top};
}
DrawText Centre(int x, int y, std::string text) {
    return DrawText{x, y, std::move(text), HAlign::Center, VAlign::Top};
}
const std::string& TextAt(const DrawList& ops, std::size_t i) {
    return std::get<DrawText>(ops.at(i)).text;
}

TEST(ReportPage, ExamplePageLayoutAndFonts) {
    const ReportGeometry expected{
        kW, 6600, 400, 550, 4400, 2400, 103, 55, 2000, 1600, {2507, 3772, 5037}, {3434, 4699, 5964},
        31, 897};
    EXPECT_EQ(ReportGeometryFor(kW, kH, kHeadingMetrics), expected);
    // L counts the external leading as well.
    EXPECT_EQ(ReportGeometryFor(kW, kH, FontMetrics{100, 3, 55}), expected);
    const ReportFonts f = ReportFontsFor(kW, kH);
    EXPECT_EQ(f.title, kTitleFont);
    EXPECT_EQ(f.heading, kHeadingFont);
    EXPECT_EQ(f.body, kBodyFont);
    EXPECT_EQ(f.table, kTableFont);
}

// The whole example page, built from the layout rules with hand-worked
// numbers. Scales are powers of two so integer arithmetic gives the exact
// truncated values.
TEST(ReportPage, ExamplePageOpByOp) {
    MeasurementRecord r;
    r.Urms = 230.5f, r.Irms = 0.5f, r.Ucf = 1.25f, r.Icf = 2.0f;
    r.Power = 100.0f, r.Freq = 50.0f, r.PF = 0.875f, r.Uthd = 64.0f, r.Ithd = 2.56f;
    const std::map<int, int> u = {{0, 1024}, {1, -512}, {43, -1000}, {200, 333}};
    const std::map<int, int> i = {{0, -1024}, {5, 700}, {43, -3}};
    for (const auto& [k, v] : u) {
        r.UWave[k] = v;
    }
    for (const auto& [k, v] : i) {
        r.IWave[k] = v;
    }
    // Spectrum entries by order, with the expected cells.
    const std::map<int, int> us = {{1, 512}, {3, 64}, {7, 5}, {50, 1}};
    const std::map<int, int> is = {{1, 256}, {2, -32}, {11, 3}, {50, 1}};
    const std::map<int, std::string> uCells = {{3, "12.5"}, {7, "1.0"}, {50, "0.2"}};
    const std::map<int, std::string> iCells = {{2, "-12.5"}, {11, "1.2"}, {50, "0.4"}};
    for (const auto& [n, v] : us) {
        r.USpec[n - 1] = static_cast<float>(v);
    }
    for (const auto& [n, v] : is) {
        r.ISpec[n - 1] = static_cast<float>(v);
    }
    const ConductionAngles angles{30.9375f, 90.0f, 150.46875f};
    const ProductMark mark{"ACME", "PX-1", 42, "23.5", "40", "Ann", "Ivo", "26-12-07"};

    DrawList e = {kHeadingFont,
                  kTitleFont,
                  Centre(2400, 653, kReportTitle),
                  kHeadingFont,
                  Left(510, 962, "Product Mark"),
                  kBodyFont,
                  Left(620, 1065, "Manufacturer : ACME"),
                  Left(620, 1168, "Type :  PX-1"),
                  Left(2620, 1168, "Number : 42"),
                  Left(620, 1271, "Temperature : 23.5'C"),
                  Left(2620, 1271, "Humidity : 40%"),
                  Left(620, 1374, "Operator : Ann"),
                  Left(2620, 1374, "Testday : 26-12-07"),
                  kHeadingFont,
                  Left(510, 1477, "Power Parameter"),
                  kBodyFont,
                  Left(620, 1580, "Urms  = 230.5 V"),
                  Left(2620, 1580, "Irms  = 0.500 A"),
                  Left(620, 1683, "Upeak = 288.1 V"),
                  Left(2620, 1683, "Ipeak =   1.0 A"),
                  Left(620, 1786, "Ucf   =  1.25"),
                  Left(2620, 1786, "Icf   =  2.00"),
                  Left(620, 1889, "Power = 100.00 W"),
                  Left(2620, 1889, "Freq  = 50.00 Hz"),
                  Left(620, 1992, "PF = 0.875 "),
                  Left(2620, 1992, "Peak Angle:  90.0 Deg"),
                  Left(620, 2095, "Start Angle:  30.9 Deg"),
                  Left(2620, 2095, "End Angle: 150.5 Deg"),
                  kReportLinePen,
                  MoveTo{400, 550},
                  LineTo{4400, 550}};
    const std::pair<int, int> frames[3] = {{2507, 3434}, {3772, 4699}, {5037, 5964}};
    for (const auto& [t, b] : frames) {
        e.insert(e.end(), {MoveTo{400, t}, LineTo{2000, t}, LineTo{2000, b}, LineTo{400, b},
                           LineTo{400, t}});
    }
    e.insert(e.end(),
             {kReportDefaultPen, kHeadingFont, Left(400, 2353, " VOLTAGE & CURRENT WAVEFORM"),
              Left(400, 3618, "     VOLTAGE SPECTRUM"), Left(400, 4883, "     CURRENT SPECTRUM"),
              kReportLinePen});
    // Centre line 2971; amplitudes 294 (voltage) and 443 (current); M = 1024.
    const std::pair<const std::array<std::int32_t, 256>*, int> traces[2] = {{&r.UWave, 294},
                                                                            {&r.IWave, 443}};
    for (const auto& [wave, a] : traces) {
        for (int p = 0; p < 300; ++p) {
            const int x = 400 + p * 1600 / 300;
            const int y = 2971 - (*wave)[p % 256] * a / 1024;
            if (p == 0) {
                e.emplace_back(MoveTo{x, y});
            } else {
                e.emplace_back(LineTo{x, y});
            }
        }
    }
    const auto bars = [&](const std::map<int, int>& entries, int scale, int base) {
        for (int n = 1; n <= 50; ++n) {
            const int length = entries.contains(n) ? entries.at(n) * 897 / scale : 0;
            e.insert(e.end(), {MoveTo{420 + 31 * n, base}, LineTo{420 + 31 * n, base - length}});
        }
    };
    const auto labels = [&](int y) {
        e.push_back(Left(424, y, "1"));
        for (int n = 10; n <= 50; n += 10) {
            e.push_back(Left(365 + 31 * n, y, std::to_string(n)));
        }
    };
    e.push_back(kReportBarPen);
    bars(us, 512, 4699);
    e.push_back(kBodyFont);
    labels(4733);
    bars(is, 256, 5964);
    e.push_back(kReportDefaultPen);
    labels(5998);
    e.insert(e.end(), {Centre(2440, 2397, "ORD."), Centre(3100, 2397, "U_SPEC(%)"),
                       Centre(3760, 2397, "I_SPEC(%)"), kTableFont, Centre(2440, 2500, "THD"),
                       Centre(3100, 2500, "12.5"), Centre(3760, 2500, "1.0")});
    for (int n = 2; n <= 50; ++n) {
        const int y = 2500 + 412 * (n - 1) / 5;
        e.insert(e.end(), {Centre(2440, y, std::to_string(n)),
                           Centre(3100, y, uCells.contains(n) ? uCells.at(n) : "0.0"),
                           Centre(3760, y, iCells.contains(n) ? iCells.at(n) : "0.0")});
    }

    const DrawList ops = ReportPage(r, angles, mark, kW, kH, kHeadingMetrics);
    ASSERT_EQ(ops.size(), kPageOps);
    EXPECT_EQ(Describe(ops), Describe(e));
    EXPECT_TRUE(ops == e);
    // Hand-worked values of the same list.
    EXPECT_EQ(ops[kLastTracePoint], (DrawOp{LineTo{1994, 2972}}));  // sample 43 repeated
    EXPECT_EQ(ops[kOrder50VoltageBarTop], (DrawOp{LineTo{1970, 4698}}));
    EXPECT_EQ(ops[kCurrentBar0 + 3], (DrawOp{LineTo{482, 6076}}));  // -112.125 -> 112 down
    EXPECT_EQ(std::get<DrawText>(ops.back()).y, 2500 + 4037);       // order 50: 4037.6
}

TEST(ReportPage, AllZeroRecord) {
    const DrawList ops =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, ProductMark{}, kW, kH, kHeadingMetrics);
    ASSERT_EQ(ops.size(), kPageOps);
    const char* params[12] = {
        "Urms  =   0.0 V",       "Irms  = 0.000 A",        "Upeak =   0.0 V",
        "Ipeak =   0.0 A",       "Ucf   =  0.00",          "Icf   =  0.00",
        "Power =  0.00 W",       "Freq  =  0.00 Hz",       "PF = 0.000 ",
        "Peak Angle:   0.0 Deg", "Start Angle:   0.0 Deg", "End Angle:   0.0 Deg"};
    for (std::size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(TextAt(ops, kParameterText0 + k), params[k]);
    }
    // Flat traces on the centre line, bars of zero length, cells of 0.0.
    for (std::size_t k = kVoltageTrace0; k <= kLastTracePoint; ++k) {
        const int y = (k - kVoltageTrace0) % 300 == 0 ? std::get<MoveTo>(ops[k]).y
                                                      : std::get<LineTo>(ops[k]).y;
        EXPECT_EQ(y, 2971) << k;
    }
    for (int n = 0; n < 50; ++n) {
        EXPECT_EQ(std::get<LineTo>(ops[kVoltageBar0 + 2 * n + 1]).y, 4699) << n;
        EXPECT_EQ(std::get<LineTo>(ops[kCurrentBar0 + 2 * n + 1]).y, 5964) << n;
    }
    for (std::size_t k = kThdRow; k < ops.size(); k += 3) {
        EXPECT_EQ(TextAt(ops, k + 1), "0.0");
        EXPECT_EQ(TextAt(ops, k + 2), "0.0");
    }
}

TEST(ReportPage, ProductMarkTexts) {
    ProductMark mark{"", "", -5, "", "", "", "INSPECTOR-NAME", ""};
    DrawList ops =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, mark, kW, kH, kHeadingMetrics);
    const char* expected[7] = {"Manufacturer : ", "Type :  ",    "Number : -5", "Temperature : 'C",
                               "Humidity : %",    "Operator : ", "Testday : "};
    for (std::size_t k = 0; k < 7; ++k) {
        EXPECT_EQ(TextAt(ops, kProductText0 + k), expected[k]);
    }
    for (const DrawOp& op : ops) {
        if (const auto* t = std::get_if<DrawText>(&op)) {
            EXPECT_EQ(t->text.find("INSPECTOR"), std::string::npos) << t->text;
        }
    }
    mark.Number = INT32_MIN;
    ops = ReportPage(MeasurementRecord{}, ConductionAngles{}, mark, kW, kH, kHeadingMetrics);
    EXPECT_EQ(TextAt(ops, kProductText0 + 2), "Number : -2147483648");
}

// Values the meter never sends but a loaded test file may hold, and absurd
// page sizes: no overflow, no NaN conversions, and sensible output.
TEST(ReportPage, NonFiniteHugeAndAbsurdValues) {
    constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
    constexpr float kInf = std::numeric_limits<float>::infinity();
    MeasurementRecord r;
    r.Urms = FLT_MAX, r.Irms = kInf, r.Uthd = kNaN, r.Ithd = 5.0f;
    r.UWave[0] = INT32_MIN, r.UWave[1] = INT32_MAX;
    r.USpec[0] = FLT_TRUE_MIN, r.USpec[1] = FLT_MAX, r.USpec[2] = kNaN;
    r.ISpec[0] = kInf, r.ISpec[3] = -kInf, r.ISpec[4] = kNaN, r.ISpec[5] = 1.0f;
    const DrawList ops = ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kHeadingMetrics);
    ASSERT_EQ(ops.size(), kPageOps);
    EXPECT_EQ(TextAt(ops, kParameterText0), "Urms  = 340282346638528859811704183484516925440.0 V");
    EXPECT_EQ(TextAt(ops, kParameterText0 + 1), "Irms  =   inf A");
    // |INT32_MIN| is the scale: it reaches the full amplitude below the centre.
    EXPECT_EQ(std::get<MoveTo>(ops[kVoltageTrace0]).y, 2971 + 294);
    EXPECT_EQ(std::get<LineTo>(ops[kVoltageTrace0 + 1]).y, 2971 - 293);
    // The largest (even infinite) entry takes the full height; NaN draws nothing.
    for (int n = 0; n < 50; ++n) {
        EXPECT_EQ(std::get<LineTo>(ops[kVoltageBar0 + 2 * n + 1]).y, n == 1 ? 3802 : 4699) << n;
        EXPECT_EQ(std::get<LineTo>(ops[kCurrentBar0 + 2 * n + 1]).y, n == 0 ? 5067 : 5964) << n;
    }
    // A huge finite percentage is printed in full; non-finite ones as 0.0.
    const std::string huge = TextAt(ops, kThdRow + 4);  // order 2, voltage
    EXPECT_EQ(huge.size(), 88u);
    EXPECT_EQ(huge.substr(0, 4), "2428");
    EXPECT_EQ(huge.substr(86), ".0");
    EXPECT_EQ(TextAt(ops, kThdRow + 1), "0.0");   // Uthd NaN
    EXPECT_EQ(TextAt(ops, kThdRow + 2), "0.0");   // 5 / inf
    EXPECT_EQ(TextAt(ops, kThdRow + 7), "0.0");   // NaN entry
    EXPECT_EQ(TextAt(ops, kThdRow + 11), "0.0");  // -inf / inf

    const FontMetrics maxMetrics{INT_MAX, INT_MAX, INT_MAX};
    const ReportGeometry g = ReportGeometryFor(INT_MAX, INT_MAX, maxMetrics);
    EXPECT_EQ(g.L, INT_MAX);
    EXPECT_EQ(g.B[2], INT_MAX);
    EXPECT_EQ(ReportPage(r, ConductionAngles{}, ProductMark{}, INT_MAX, INT_MIN, maxMetrics).size(),
              kPageOps);
    EXPECT_EQ(ReportPage(r, ConductionAngles{}, ProductMark{}, INT_MIN, INT_MAX,
                         FontMetrics{INT_MIN, INT_MIN, INT_MIN})
                  .size(),
              kPageOps);
    EXPECT_EQ(ReportPage(r, ConductionAngles{}, ProductMark{}, 0, 0, FontMetrics{}).size(),
              kPageOps);
}

}  // namespace
}  // namespace zx840
