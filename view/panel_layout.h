// The measurement panel's controls and where they go for a given client size.
#pragma once

#include <array>
#include <string>

namespace zx840 {

// Control identifiers of the panel form.
enum ControlId : int {
    kLabelUrms = 1000,
    kLabelFreq = 1001,
    kLabelIrms = 1002,
    kLabelPower = 1003,
    kLabelPF = 1004,
    kValueUrms = 1005,
    kValueIrms = 1006,
    kValuePower = 1007,
    kValuePF = 1008,
    kValueFreq = 1009,
    kTitleWave = 1010,
    kPlotISpec = 1011,
    kPlotUSpec = 1012,
    kPlotWave = 1013,
    kValueUcf = 1014,
    kTitleUSpec = 1015,
    kTitleISpec = 1016,
    kValueIcf = 1017,
    kValueUpeak = 1018,
    kValueIpeak = 1019,
    kValueStartAngle = 1020,
    kValuePeakAngle = 1021,
    kHarmonicList = 1022,
    kLabelUcf = 1023,
    kLabelIcf = 1024,
    kLabelUpeak = 1025,
    kLabelIpeak = 1026,
    kLabelStartAngle = 1027,
    kLabelPeakAngle = 1028,
    kValueEndAngle = 1029,
    kLabelEndAngle = 1030,
};

enum class ControlKind {
    Label,      // centred static text
    Value,      // centred single-line text with a sunken edge
    PlotTitle,  // left-aligned static text
    PlotBox,    // empty box with a sunken edge, plots drawn inside
    List,       // the harmonic list
};

struct ControlSpec {
    int id;
    ControlKind kind;
    const char* text;  // template text ("&&" shows as one "&")
};

inline constexpr int kControlCount = 31;

// The 31 controls in the form's order.
const std::array<ControlSpec, kControlCount>& PanelControls();

struct Rect {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    friend bool operator==(const Rect&, const Rect&) = default;
};

struct Placement {
    int id;
    Rect rect;
};

// Where every control goes for a client area of width w and height h, in
// pixels. No minimum is enforced: in a small window widths and heights can
// be zero or negative (a caller shows those as empty).
std::array<Placement, kControlCount> LayoutPanel(int w, int h);

// The nine electrical value boxes, shown in red.
bool IsRedValue(int id);

}  // namespace zx840
