#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>

#include "view/panel_layout.h"

namespace zx840 {
namespace {

Rect RectOf(const std::array<Placement, kControlCount>& layout, int id) {
    const auto it =
        std::find_if(layout.begin(), layout.end(), [id](const Placement& p) { return p.id == id; });
    EXPECT_NE(it, layout.end()) << "control " << id;
    return it == layout.end() ? Rect{} : it->rect;
}

// Labels from the top down, each above its own value box.
constexpr std::array<std::array<int, 2>, 12> kColumn = {{
    {1000, 1005},
    {1002, 1006},
    {1025, 1018},
    {1026, 1019},
    {1023, 1014},
    {1024, 1017},
    {1003, 1007},
    {1004, 1008},
    {1001, 1009},
    {1027, 1020},
    {1028, 1021},
    {1030, 1029},
}};

TEST(PanelLayout, ControlsAreTheFormsThirtyOneInOrder) {
    const auto& controls = PanelControls();
    std::set<int> ids;
    int red = 0;
    for (const ControlSpec& c : controls) {
        ids.insert(c.id);
        red += IsRedValue(c.id);
        EXPECT_TRUE(!IsRedValue(c.id) || c.kind == ControlKind::Value) << c.id;
    }
    EXPECT_EQ(ids.size(), 31u);
    EXPECT_EQ(*ids.begin(), 1000);
    EXPECT_EQ(*ids.rbegin(), 1030);
    EXPECT_EQ(red, 9);
    EXPECT_FALSE(IsRedValue(kValueStartAngle) || IsRedValue(kValuePeakAngle) ||
                 IsRedValue(kValueEndAngle));
    // The form pairs each label with the value box that follows it.
    for (std::size_t i = 0; i < kColumn.size(); ++i) {
        EXPECT_EQ(controls[2 * i].id, kColumn[i][0]);
        EXPECT_EQ(controls[2 * i + 1].id, kColumn[i][1]);
    }
    EXPECT_STREQ(controls[18].text, "Start Angle ");
    EXPECT_STREQ(controls[24].text, "Voltage && Current WaveForm");
    EXPECT_EQ(controls[30].id, kHarmonicList);
}

TEST(PanelLayout, ThousandBySixHundred) {
    const auto layout = LayoutPanel(1000, 600);
    for (std::size_t i = 0; i < layout.size(); ++i) {
        EXPECT_EQ(layout[i].id, PanelControls()[i].id);
    }
    EXPECT_EQ(RectOf(layout, kTitleWave), (Rect{10, 5, 589, 20}));
    EXPECT_EQ(RectOf(layout, kPlotWave), (Rect{10, 25, 589, 175}));
    EXPECT_EQ(RectOf(layout, kTitleUSpec), (Rect{10, 205, 589, 20}));
    EXPECT_EQ(RectOf(layout, kPlotUSpec), (Rect{10, 225, 589, 175}));
    EXPECT_EQ(RectOf(layout, kTitleISpec), (Rect{10, 405, 589, 20}));
    EXPECT_EQ(RectOf(layout, kPlotISpec), (Rect{10, 425, 589, 175}));
    EXPECT_EQ(RectOf(layout, kHarmonicList), (Rect{749, 0, 251, 600}));
    constexpr int kLabelY[12] = {10, 52, 94, 136, 178, 220, 262, 304, 346, 388, 430, 472};
    for (std::size_t i = 0; i < kColumn.size(); ++i) {
        EXPECT_EQ(RectOf(layout, kColumn[i][0]), (Rect{619, kLabelY[i], 110, 20})) << i;
        EXPECT_EQ(RectOf(layout, kColumn[i][1]), (Rect{619, kLabelY[i] + 20, 110, 20})) << i;
    }
    EXPECT_EQ(RectOf(layout, kValueEndAngle).y, 492);
}

TEST(PanelLayout, SmallWindowsGiveEmptyOrNegativeSizes) {
    auto layout = LayoutPanel(411, 75);
    EXPECT_EQ(RectOf(layout, kPlotWave), (Rect{10, 25, 0, 0}));
    EXPECT_EQ(RectOf(layout, kPlotISpec), (Rect{10, 75, 0, 0}));
    EXPECT_EQ(RectOf(layout, kLabelUrms), (Rect{30, 10, 110, 20}));

    // (70 - 75) / 3 truncates to -1, not -2.
    layout = LayoutPanel(400, 70);
    EXPECT_EQ(RectOf(layout, kPlotWave), (Rect{10, 25, -11, -1}));
    EXPECT_EQ(RectOf(layout, kTitleUSpec), (Rect{10, 29, -11, 20}));
    EXPECT_EQ(RectOf(layout, kPlotUSpec), (Rect{10, 49, -11, -1}));
    EXPECT_EQ(RectOf(layout, kTitleISpec), (Rect{10, 53, -11, 20}));
    EXPECT_EQ(RectOf(layout, kPlotISpec), (Rect{10, 73, -11, -1}));
    EXPECT_EQ(RectOf(layout, kValueUrms), (Rect{19, 30, 110, 20}));
    EXPECT_EQ(RectOf(layout, kHarmonicList), (Rect{149, 0, 251, 70}));

    // Absurd sizes saturate instead of overflowing.
    layout = LayoutPanel(INT_MIN, INT_MAX);
    EXPECT_EQ(RectOf(layout, kPlotWave).width, INT_MIN);
    EXPECT_EQ(RectOf(layout, kHarmonicList), (Rect{INT_MIN, 0, 251, INT_MAX}));
    EXPECT_EQ(RectOf(layout, kLabelUrms).x, INT_MIN);
}

}  // namespace
}  // namespace zx840
