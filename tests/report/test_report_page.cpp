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
// C = 55. Frames: T = 2507, 3772, 5037 and B = 3434, 4699, 5964. The table
// font (70 units) has an ascent of 58, so the last row's digits end at
// 6537 + 58, inside the page.
constexpr int kW = 4800;
constexpr int kH = 6600;
constexpr FontMetrics kHeadingMetrics{103, 0, 55, 76};
constexpr ReportMetrics kMetrics{kHeadingMetrics, {79, 0, 42, 58}};
const SelectFont kTitleFont{"Courier New", 122, 600, false};
const SelectFont kHeadingFont{"Courier New", 91, 400, false};
const SelectFont kBodyFont{"Courier New", 80, 300, false};
const SelectFont kTableFont{"Courier New", 70, 400, false};

// Op indices on every page: the product and parameter texts, the traces,
// the bar pen. The bars that follow are only those with a length, so later
// indices depend on the record: a page has kPageOpsWithoutBars operations
// plus two for every bar.
constexpr std::size_t kProductText0 = 6;
constexpr std::size_t kParameterText0 = 16;
constexpr std::size_t kVoltageTrace0 = 52;
constexpr std::size_t kLastTracePoint = 651;
constexpr std::size_t kBarPen = 652;
constexpr std::size_t kVoltageBar0 = 653;
constexpr std::size_t kPageOpsWithoutBars = 821;

DrawText Left(int x, int y, std::string text) {
    return DrawText{x, y, std::move(text), HAlign::Left, VAlign::Top};
}
DrawText Centre(int x, int y, std::string text) {
    return DrawText{x, y, std::move(text), HAlign::Center, VAlign::Top};
}
const std::string& TextAt(const DrawList& ops, std::size_t i) {
    return std::get<DrawText>(ops.at(i)).text;
}

// The bars of the two spectrum charts, as order to the y of the bar's top.
// Every bar must be a move to the bottom of its frame and a vertical line.
struct ChartBars {
    std::map<int, int> voltage;
    std::map<int, int> current;
    std::size_t thdRow = 0;  // index of the THD row's first cell
};
ChartBars Bars(const DrawList& ops, const ReportGeometry& g) {
    ChartBars bars;
    EXPECT_EQ(ops.at(kBarPen), DrawOp{kReportBarPen});
    std::size_t k = kBarPen + 1;
    const auto chart = [&](std::map<int, int>& out, int bottom) {
        for (; std::holds_alternative<MoveTo>(ops.at(k)); k += 2) {
            const auto& from = std::get<MoveTo>(ops[k]);
            const auto& to = std::get<LineTo>(ops.at(k + 1));
            EXPECT_EQ(from.y, bottom);
            EXPECT_EQ(from.x, to.x);
            EXPECT_NE(from.y, to.y) << "a bar of zero length at x " << from.x;
            const int order = (from.x - g.X0 - 20) / g.S;
            EXPECT_EQ(g.X0 + 20 + order * g.S, from.x);
            out[order] = to.y;
        }
    };
    chart(bars.voltage, g.B[1]);
    k += 7;  // body font and order labels
    chart(bars.current, g.B[2]);
    k += 1 + 6 + 3 + 1;  // default pen, labels, table header, table font
    bars.thdRow = k;
    EXPECT_EQ(TextAt(ops, k), "THD");
    EXPECT_EQ(ops.size(), k + 3 * 50);
    EXPECT_EQ(ops.size(), kPageOpsWithoutBars + 2 * (bars.voltage.size() + bars.current.size()));
    return bars;
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
    // Every listed entry is long enough for a bar; the other orders draw none.
    const auto bars = [&](const std::map<int, int>& entries, int scale, int base) {
        for (const auto& [n, v] : entries) {
            const int length = v * 897 / scale;
            ASSERT_NE(length, 0);
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

    const DrawList ops = ReportPage(r, angles, mark, kW, kH, kMetrics);
    ASSERT_EQ(ops.size(), kPageOpsWithoutBars + 2 * 8);
    EXPECT_EQ(Describe(ops), Describe(e));
    EXPECT_TRUE(ops == e);
    // Hand-worked values of the same list.
    const ChartBars b = Bars(ops, ReportGeometryFor(kW, kH, kHeadingMetrics));
    EXPECT_EQ(ops[kLastTracePoint], (DrawOp{LineTo{1994, 2972}}));  // sample 43 repeated
    EXPECT_EQ(b.voltage, (std::map<int, int>{{1, 3802}, {3, 4587}, {7, 4691}, {50, 4698}}));
    EXPECT_EQ(ops[kVoltageBar0 + 7], (DrawOp{LineTo{1970, 4698}}));  // order 50
    EXPECT_EQ(b.current.at(2), 6076);                                // -112.125 -> 112 down
    EXPECT_EQ(std::get<DrawText>(ops.back()).y, 2500 + 4037);        // order 50: 4037.6
}

TEST(ReportPage, AllZeroRecord) {
    const DrawList ops =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics);
    ASSERT_EQ(ops.size(), kPageOpsWithoutBars);
    const char* params[12] = {
        "Urms  =   0.0 V",       "Irms  = 0.000 A",        "Upeak =   0.0 V",
        "Ipeak =   0.0 A",       "Ucf   =  0.00",          "Icf   =  0.00",
        "Power =  0.00 W",       "Freq  =  0.00 Hz",       "PF = 0.000 ",
        "Peak Angle:   0.0 Deg", "Start Angle:   0.0 Deg", "End Angle:   0.0 Deg"};
    for (std::size_t k = 0; k < 12; ++k) {
        EXPECT_EQ(TextAt(ops, kParameterText0 + k), params[k]);
    }
    // Flat traces on the centre line, no bars (not even dots), cells of 0.0.
    for (std::size_t k = kVoltageTrace0; k <= kLastTracePoint; ++k) {
        const int y = (k - kVoltageTrace0) % 300 == 0 ? std::get<MoveTo>(ops[k]).y
                                                      : std::get<LineTo>(ops[k]).y;
        EXPECT_EQ(y, 2971) << k;
    }
    const ChartBars bars = Bars(ops, ReportGeometryFor(kW, kH, kHeadingMetrics));
    EXPECT_TRUE(bars.voltage.empty());
    EXPECT_TRUE(bars.current.empty());
    for (std::size_t k = kBarPen; k < ops.size(); ++k) {
        EXPECT_FALSE(std::holds_alternative<MoveTo>(ops[k]) ||
                     std::holds_alternative<LineTo>(ops[k]))
            << Describe(ops[k]);
    }
    for (std::size_t k = bars.thdRow; k < ops.size(); k += 3) {
        EXPECT_EQ(TextAt(ops, k + 1), "0.0");
        EXPECT_EQ(TextAt(ops, k + 2), "0.0");
    }
}

// A measured spectrum: most harmonics come out shorter than a unit of the
// 897-unit bar height. Only bars with a length are drawn (the wide round
// pen would print the others as dots), each at its order's place.
TEST(ReportPage, BarsOnlyWhereTheyHaveALength) {
    MeasurementRecord r;
    for (int n = 1; n <= 50; ++n) {
        const auto at = static_cast<std::size_t>(n - 1);
        r.USpec[at] = n == 1       ? 7500.0f
                      : n % 2 == 1 ? 5200.0f / static_cast<float>(n * n)
                                   : 0.4f * static_cast<float>(n % 3);
    }
    r.ISpec[0] = 2000.0f;
    r.ISpec[2] = 1000.0f;  // 448.5 units
    r.ISpec[4] = 2.0f;     // 0.9: no bar
    r.ISpec[6] = 3.0f;     // 1.3
    const DrawList ops = ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics);
    const ChartBars bars = Bars(ops, ReportGeometryFor(kW, kH, kHeadingMetrics));
    // Odd orders up to 23 (order 25 is 0.995 units long); even ones are
    // 0.1 units at most.
    EXPECT_EQ(bars.voltage, (std::map<int, int>{{1, 3802},
                                                {3, 4630},
                                                {5, 4675},
                                                {7, 4687},
                                                {9, 4692},
                                                {11, 4694},
                                                {13, 4696},
                                                {15, 4697},
                                                {17, 4697},
                                                {19, 4698},
                                                {21, 4698},
                                                {23, 4698}}));
    EXPECT_EQ(bars.current, (std::map<int, int>{{1, 5067}, {3, 5516}, {7, 5963}}));
    EXPECT_EQ(ops.size(), kPageOpsWithoutBars + 2 * (12 + 3));
}

TEST(ReportPage, ProductMarkTexts) {
    ProductMark mark{"", "", -5, "", "", "", "INSPECTOR-NAME", ""};
    DrawList ops = ReportPage(MeasurementRecord{}, ConductionAngles{}, mark, kW, kH, kMetrics);
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
    ops = ReportPage(MeasurementRecord{}, ConductionAngles{}, mark, kW, kH, kMetrics);
    EXPECT_EQ(TextAt(ops, kProductText0 + 2), "Number : -2147483648");
}

// Product texts of any length: a left-aligned text keeps well over what can
// show between its position and the right edge (the body font is 48 units a
// character here), cut at a character boundary, and nothing else changes.
// Texts that fit are printed whole.
TEST(ReportPage, HugeProductTextsAreCutToWhatCanShow) {
    constexpr std::size_t kTenMegabytes = 10'000'000;
    constexpr std::size_t kLeftShows = (kW - 620) / 48;    // 87 characters
    constexpr std::size_t kRightShows = (kW - 2620) / 48;  // 45 characters
    ProductMark huge{"", std::string(kTenMegabytes, 'T'), 7, "", "", "", "", "26-12-07"};
    const auto repeated = [](std::string text) {
        while (text.size() < kTenMegabytes) {
            text += text;
        }
        return text;
    };
    huge.Manufacturer = repeated("\xC3\xA9");                     // é, two bytes
    huge.Humidity = repeated(std::string("\xE2\x82\xAC") + "9");  // € and 9
    huge.Operator = huge.Manufacturer.substr(1);                  // starts inside a character
    const DrawList ops =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, huge, kW, kH, kMetrics);
    ProductMark small = huge;
    small.Manufacturer = small.Type = small.Humidity = small.Operator = "x";
    const DrawList ordinary =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, small, kW, kH, kMetrics);
    ASSERT_EQ(ops.size(), ordinary.size());

    // Index in the product block, label, full text, characters that can show.
    struct Cut {
        std::size_t at;
        std::string label;
        const std::string& field;
        std::size_t shows;
    };
    const Cut cuts[] = {{0, "Manufacturer : ", huge.Manufacturer, kLeftShows},
                        {1, "Type :  ", huge.Type, kLeftShows},
                        {4, "Humidity : ", huge.Humidity, kRightShows},
                        {5, "Operator : ", huge.Operator, kLeftShows}};
    for (const Cut& cut : cuts) {
        const std::string& text = TextAt(ops, kProductText0 + cut.at);
        SCOPED_TRACE(cut.label);
        ASSERT_EQ(text.substr(0, cut.label.size()), cut.label);
        const std::string kept = text.substr(cut.label.size());
        std::size_t characters = 0;
        for (char c : text) {
            characters += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        }
        EXPECT_GE(characters, cut.shows);
        EXPECT_LE(characters, 2 * cut.shows + 20);
        EXPECT_EQ(kept, cut.field.substr(0, kept.size()));
        // The cut never splits a character: what follows starts one.
        EXPECT_NE(static_cast<unsigned char>(cut.field[kept.size()]) & 0xC0, 0x80);
    }
    EXPECT_EQ(TextAt(ops, kProductText0).size() % 2, 1u);  // label and whole "é"s
    for (std::size_t k = 0; k < ops.size(); ++k) {
        if (k != kProductText0 && k != kProductText0 + 1 && k != kProductText0 + 4 &&
            k != kProductText0 + 5) {
            EXPECT_EQ(ops[k], ordinary[k]) << k;
        }
    }

    // A text that fills its line and runs past the edge is printed whole.
    small.Type = std::string(kLeftShows + 10, 'T');
    small.Humidity = std::string(kRightShows + 10, '9');
    const DrawList full =
        ReportPage(MeasurementRecord{}, ConductionAngles{}, small, kW, kH, kMetrics);
    EXPECT_EQ(TextAt(full, kProductText0 + 1), "Type :  " + small.Type);
    EXPECT_EQ(TextAt(full, kProductText0 + 4), "Humidity : " + small.Humidity + "%");
}

// Metrics of Courier New (and of its metric twin that stands in for it) at a
// character height of `px` units, as the font engine rounds them: per 2048
// units of the em, ascent 1705, descent 615, average width 1229.
FontMetrics Courier(int px) {
    const auto scale = [px](int units) { return (px * units + 1024) / 2048; };
    const int ascent = scale(1705);
    return FontMetrics{ascent + scale(615), 0, scale(1229), ascent};
}

ReportMetrics CourierMetrics(int width, int height) {
    const ReportFonts fonts = ReportFontsFor(width, height);
    return ReportMetrics{Courier(fonts.heading.height), Courier(fonts.table.height)};
}

// Row 50 sits at about 99 % of the height on every paper; its digits end at
// the baseline, a table ascent below the row's top. Where that is inside the
// page, the page is exactly as it always was; elsewhere only the table rows
// move, closer together, so that the last one ends at the bottom edge.
TEST(ReportPage, LastTableRowEndsInsideOnEveryPaper) {
    struct Paper {
        const char* name;
        int width;
        int height;
        bool moves;
    };
    // Printable rectangles of real papers (whole page for the PDF writer,
    // within the usual printer margins otherwise); row 50's fit depends on
    // how L rounds, between 97.7 % and 99.9 % of the height.
    const Paper papers[] = {
        {"example", 4800, 6600, false},
        {"Letter PDF, 600 dpi", 5100, 6600, false},
        {"A4 PDF, 600 dpi", 4958, 7017, true},  // 24 units below the page
        {"A4, 600 dpi", 4760, 6814, false},
        {"A4, 600 dpi, 5 mm margins", 4724, 6780, true},
        {"A4, 300 dpi", 2380, 3407, false},
        {"A4, 300 dpi, 5 mm margins", 2362, 3390, false},  // 1 unit inside
        {"Letter, 600 dpi", 4900, 6400, false},
        {"Letter, 300 dpi", 2450, 3200, false},
        {"Legal, 600 dpi, whole page", 5100, 8400, true},
        {"Legal, 600 dpi", 4900, 8200, false},
        {"Legal, 300 dpi, 1/4 in margins", 2400, 4050, true},
        {"A5, 600 dpi", 3296, 4760, true},
        {"A5, 300 dpi", 1648, 2380, false},
        {"A5, 300 dpi, 6 mm margins", 1606, 2338, true},
    };
    MeasurementRecord r;
    r.USpec.fill(3.0f);
    r.ISpec.fill(1.5f);
    for (const Paper& paper : papers) {
        SCOPED_TRACE(paper.name);
        const ReportMetrics metrics = CourierMetrics(paper.width, paper.height);
        const ReportGeometry g = ReportGeometryFor(paper.width, paper.height, metrics.heading);
        const DrawList ops =
            ReportPage(r, ConductionAngles{}, ProductMark{}, paper.width, paper.height, metrics);
        // The same page with nothing known of the table font: the table
        // metrics must change nothing but the rows' heights.
        const DrawList reference = ReportPage(r, ConductionAngles{}, ProductMark{}, paper.width,
                                              paper.height, ReportMetrics{metrics.heading, {}});
        ASSERT_EQ(ops.size(), reference.size());
        const std::size_t thd = ops.size() - 3 * 50;
        const int top = g.T[0] - 7;
        const auto rowY = [&](int n) {
            return std::get<DrawText>(ops.at(thd + 3 * static_cast<std::size_t>(n - 1))).y;
        };
        // Rows four fifths of a line apart, as the table always had them.
        const auto usualY = [&](int n) { return top + (4 * g.L * (n - 1)) / 5; };
        ASSERT_EQ(TextAt(ops, thd), "THD");
        ASSERT_EQ(rowY(1), top);
        EXPECT_LE(rowY(50) + metrics.table.ascent, paper.height);
        EXPECT_EQ(usualY(50) + metrics.table.ascent > paper.height, paper.moves);
        for (std::size_t k = 0; k < ops.size(); ++k) {
            if (k < thd + 3) {
                EXPECT_EQ(ops[k], reference[k]) << k;
                continue;
            }
            // Each cell keeps its text and column, at its row's height.
            const int n = static_cast<int>((k - thd) / 3) + 1;
            DrawText cell = std::get<DrawText>(reference[k]);
            cell.y = paper.moves ? rowY(n) : usualY(n);
            EXPECT_EQ(ops[k], DrawOp{cell}) << k;
        }
        if (!paper.moves) {
            continue;
        }
        // Moved rows go up, never down; the last ends exactly at the bottom,
        // and they are evenly spaced (to a unit).
        EXPECT_EQ(rowY(50) + metrics.table.ascent, paper.height);
        const int pitch = (rowY(50) - top) / 49;
        for (int n = 2; n <= 50; ++n) {
            EXPECT_LE(rowY(n), usualY(n)) << n;
            const int step = rowY(n) - rowY(n - 1);
            EXPECT_TRUE(step == pitch || step == pitch + 1) << n << ": " << step;
        }
    }
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
    const DrawList ops = ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics);
    const ChartBars bars = Bars(ops, ReportGeometryFor(kW, kH, kHeadingMetrics));
    const std::size_t kThdRow = bars.thdRow;
    EXPECT_EQ(TextAt(ops, kParameterText0), "Urms  = 340282346638528859811704183484516925440.0 V");
    EXPECT_EQ(TextAt(ops, kParameterText0 + 1), "Irms  =   inf A");
    // |INT32_MIN| is the scale: it reaches the full amplitude below the centre.
    EXPECT_EQ(std::get<MoveTo>(ops[kVoltageTrace0]).y, 2971 + 294);
    EXPECT_EQ(std::get<LineTo>(ops[kVoltageTrace0 + 1]).y, 2971 - 293);
    // The largest (even infinite) entry takes the full height; NaN draws nothing.
    EXPECT_EQ(bars.voltage, (std::map<int, int>{{2, 3802}}));
    EXPECT_EQ(bars.current, (std::map<int, int>{{1, 5067}}));
    // A huge finite percentage is printed in full; non-finite ones as 0.0.
    const std::string huge = TextAt(ops, kThdRow + 4);  // order 2, voltage
    EXPECT_EQ(huge.size(), 88u);
    EXPECT_EQ(huge.substr(0, 4), "2428");
    EXPECT_EQ(huge.substr(86), ".0");
    EXPECT_EQ(TextAt(ops, kThdRow + 1), "0.0");   // Uthd NaN
    EXPECT_EQ(TextAt(ops, kThdRow + 2), "0.0");   // 5 / inf
    EXPECT_EQ(TextAt(ops, kThdRow + 7), "0.0");   // NaN entry
    EXPECT_EQ(TextAt(ops, kThdRow + 11), "0.0");  // -inf / inf

    const FontMetrics maxMetrics{INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    const FontMetrics minMetrics{INT_MIN, INT_MIN, INT_MIN, INT_MIN};
    const ReportGeometry g = ReportGeometryFor(INT_MAX, INT_MAX, maxMetrics);
    EXPECT_EQ(g.L, INT_MAX);
    EXPECT_EQ(g.B[2], INT_MAX);
    // One bar a chart where the bar height allows one, none where it is 0.
    const auto pageOps = [&](int w, int h, const FontMetrics& m) {
        return ReportPage(r, ConductionAngles{}, ProductMark{}, w, h, ReportMetrics{m, m}).size();
    };
    EXPECT_EQ(pageOps(INT_MAX, INT_MIN, maxMetrics), kPageOpsWithoutBars + 4);
    EXPECT_EQ(pageOps(INT_MIN, INT_MAX, minMetrics), kPageOpsWithoutBars + 4);
    EXPECT_EQ(pageOps(INT_MAX, INT_MAX, minMetrics), kPageOpsWithoutBars + 4);
    EXPECT_EQ(pageOps(0, 0, FontMetrics{}), kPageOpsWithoutBars + 4);
}

}  // namespace
}  // namespace zx840

namespace zx840 {
namespace {

// With a plan active the page gains one line on the free row between the
// parameters and the first plot title, and nothing else changes.
TEST(ReportPage, VerdictLineOnlyWithAPlan) {
    MeasurementRecord r;
    r.USpec[0] = 100.0f;
    r.USpec[2] = 7.0f;
    const DrawList plain = ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics);
    EXPECT_EQ(ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics, nullptr), plain);

    Verdict verdict;
    verdict.plan = "psu";
    verdict.checks = {Check{"Power", 1.0, 2.0, std::nullopt, false, ""},
                      Check{"I3", 1.0, std::nullopt, 2.0, true, ""},
                      Check{"U5", 9.0, std::nullopt, 2.0, false, ""}};
    verdict.pass = false;
    const DrawList judged =
        ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics, &verdict);
    std::size_t after = 0;
    for (std::size_t i = 0; i < plain.size(); ++i) {
        if (std::holds_alternative<DrawText>(plain[i]) &&
            TextAt(plain, i).rfind("End Angle:", 0) == 0) {
            after = i + 1;
        }
    }
    ASSERT_GT(after, 0u);
    DrawList expected(plain.begin(), plain.begin() + static_cast<std::ptrdiff_t>(after));
    // Row 16: Y0 + 16 L = 550 + 1648; the first plot title starts at
    // T0 - 3 L / 2 = 2353, below the line's 103 units.
    expected.insert(expected.end(), {kHeadingFont, Left(510, 2198, "Verdict: FAIL: Power, U5"),
                                     kBodyFont, Left(2620, 2198, "Plan : psu")});
    expected.insert(expected.end(), plain.begin() + static_cast<std::ptrdiff_t>(after),
                    plain.end());
    EXPECT_EQ(Describe(judged), Describe(expected));

    verdict.pass = true;
    for (Check& check : verdict.checks) {
        check.pass = true;
    }
    const DrawList passed =
        ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics, &verdict);
    EXPECT_EQ(TextAt(passed, after + 1), "Verdict: PASS");

    // Failing checks that do not fit before the plan's name: whole names,
    // then the mark that there are more.
    verdict.pass = false;
    verdict.checks.clear();
    for (int n = 2; n <= 40; ++n) {
        verdict.checks.push_back(
            Check{"IEC I" + std::to_string(n), 1.0, std::nullopt, 0.5, false, ""});
    }
    const std::string cut = TextAt(
        ReportPage(r, ConductionAngles{}, ProductMark{}, kW, kH, kMetrics, &verdict), after + 1);
    EXPECT_EQ(cut.rfind("Verdict: FAIL: IEC I2, IEC I3, ", 0), 0u) << cut;
    EXPECT_EQ(cut.substr(cut.size() - 5), ", \u2026") << cut;
    // A class that sets no limit at this power says so.
    Verdict small;
    small.plan = "lamp";
    small.checks = {Check{"IEC Class D", 40.0, std::nullopt, std::nullopt, true,
                          "Class D: no limit at or below 75 W"}};
    EXPECT_EQ(small.Line(), "Verdict: PASS (Class D: no limit at or below 75 W)");
    EXPECT_EQ(small.ShortLine(10), "Verdict: PASS");
}

}  // namespace
}  // namespace zx840
