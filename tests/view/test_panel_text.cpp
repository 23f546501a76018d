#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "view/panel_layout.h"
#include "view/panel_text.h"

namespace zx840 {
namespace {

TEST(PanelText, ReadoutsInOrderWithTheirFormats) {
    WorkingRecord w;
    MeasurementRecord& r = w.Record;
    r.Urms = 230.0f;
    r.Ucf = 1.414f;
    r.Irms = 0.5f;
    r.Icf = 2.0f;
    r.Power = 1234.5f;
    r.PF = 0.95f;
    r.Freq = 50.0f;
    w.Angles = {12.65625f, 0.0f, 180.0f};
    const std::array<Readout, 12> expected = {{
        {kValueUrms, "230.0", {}},
        {kValueIrms, "0.500", {}},
        {kValueUpeak, "325.2", {}},
        {kValueIpeak, "1.000", {}},
        {kValueUcf, " 1.41", {}},
        {kValueIcf, " 2.00", {}},
        {kValuePower, "1234.50", {}},
        {kValuePF, "0.950", {}},
        {kValueFreq, "50.00", {}},
        {kValueStartAngle, "12.7 Deg", {}},
        {kValuePeakAngle, "0.0 Deg", {}},
        {kValueEndAngle, "180.0 Deg", {}},
    }};
    const auto readouts = Readouts(w);
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(readouts[i].id, expected[i].id) << i;
        EXPECT_EQ(readouts[i].text, expected[i].text) << i;
    }

    // Width 5 pads on the left; the peak is formed in double precision
    // (267.5 x 1.3f is 347.74998..., a float product would round to 347.75).
    r.Urms = 5.0f;
    EXPECT_EQ(Readouts(w)[0].text, "  5.0");
    r.Urms = 267.5f;
    r.Ucf = 1.3f;
    EXPECT_EQ(Readouts(w)[2].text, "347.7");

    // A sign bit flipped on the line: the readouts made from it are flagged.
    r.Irms = -2.543f;
    r.Freq = 0.0f;
    const auto flagged = Readouts(w);
    for (std::size_t i = 0; i < flagged.size(); ++i) {
        const int id = flagged[i].id;
        const std::string want = id == kValueIrms || id == kValueIpeak ? "Irms -2.543 is negative"
                                 : id == kValueFreq                    ? "Freq 0 is not above 0"
                                                                       : "";
        EXPECT_EQ(flagged[i].outOfRange, want) << i;
    }
}

TEST(PanelText, FormatFixedMatchesPrintf) {
    // The test program never changes the locale, so snprintf is in "C" here.
    const double values[] = {0.0,    -0.0,   0.05,  0.125, 2.5,     -2.5,   0.95f,   12.65625,
                             1e-7,   99.95,  -3.25, 1e20,  3.4e38f, 1e300,  -1e-300, 325.22,
                             123.45, 0.0005, 7.0,   -7.75, 100.0,   1.0e-3, 49151.0, 0.0625};
    for (double v : values) {
        for (int precision : {0, 1, 2, 3}) {
            for (int width : {0, 3, 5}) {
                char buffer[512];
                std::snprintf(buffer, sizeof buffer, "%*.*f", width, precision, v);
                EXPECT_EQ(FormatFixed(v, precision, width), buffer) << v;
            }
        }
    }
    EXPECT_EQ(FormatFixed(std::numeric_limits<double>::infinity(), 1, 5), "  inf");
    EXPECT_EQ(FormatFixed(-std::numeric_limits<double>::max(), 3).size(), 314u);
}

TEST(PanelText, HarmonicRows) {
    MeasurementRecord r;
    r.USpec[0] = 500.0f;
    r.USpec[1] = 16.0f;
    r.ISpec[0] = 500.0f;
    r.ISpec[1] = 16.0f;
    r.USpec[2] = 61.7f;  // 12.34 %
    r.ISpec[2] = 61.7f;
    r.USpec[3] = 500.0f;
    r.ISpec[3] = 500.0f;
    auto rows = HarmonicRows(r);
    ASSERT_EQ(rows.size(), 49u);
    EXPECT_EQ(rows[0].order, "2");
    EXPECT_EQ(rows[0].voltage, "3.2%");
    EXPECT_EQ(rows[0].current, " 3.2%");
    EXPECT_EQ(rows[1].voltage, "12.3%");
    EXPECT_EQ(rows[1].current, "12.3%");
    EXPECT_EQ(rows[2].voltage, "100.0%");
    EXPECT_EQ(rows[2].current, "100.0%");
    EXPECT_EQ(rows[3].voltage, "0.0%");
    EXPECT_EQ(rows[3].current, " 0.0%");
    EXPECT_EQ(rows[48].order, "50");

    // No fundamental, or a ratio that is not a finite float: 0.0%.
    r.USpec[0] = 0.0f;
    r.ISpec[0] = std::numeric_limits<float>::denorm_min();
    r.ISpec[1] = 1e30f;
    r.ISpec[3] = std::numeric_limits<float>::quiet_NaN();
    r.USpec[4] = std::numeric_limits<float>::infinity();
    rows = HarmonicRows(r);
    for (const HarmonicRow& row : rows) {
        EXPECT_EQ(row.voltage, "0.0%") << row.order;
    }
    EXPECT_EQ(rows[0].current, " 0.0%");
    EXPECT_EQ(rows[2].current, " 0.0%");
    r.ISpec[0] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(HarmonicRows(r)[1].current, " 0.0%");
}

TEST(PanelText, CheckValuesWithTheirUnitsAndTheirPanelDecimals) {
    struct Case {
        const char* item;
        double value;
        const char* shown;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"Urms", 229.96, "230.0 V"},
             {"Irms", 2.38287e-16, "0.000 A"},
             {"Ipeak", 1.23456, "1.235 A"},
             {"Power", 67.7, "67.70 W"},
             {"PF", 0.98765, "0.988"},
             {"Freq", 50.0, "50.00 Hz"},
             {"Icf", 2.5, "2.50"},
             {"EndAngle", 91.4, "91.4 Deg"},
             {"Ithd", 12.34, "12.3 %"},
             {"I3", 84.4252, "84.4 %"},
             {"U50", 0.04, "0.0 %"},
             {"IEC I3", 0.73864, "0.739 A"},
             {"IEC StartAngle", 45.0, "45.0 Deg"},
             {"IEC Class D", 40.0, "40.00 W"},
             {"Power", std::nan(""), "-"},
         }) {
        EXPECT_EQ(CheckValueText(c.item, c.value), c.shown) << c.item;
    }
}

}  // namespace
}  // namespace zx840
