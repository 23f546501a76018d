#include "view/panel_layout.h"

#include <algorithm>
#include <climits>

namespace zx840 {

namespace {

constexpr std::array<ControlSpec, kControlCount> kControls = {{
    {kLabelUrms, ControlKind::Label, "Urms(V)"},
    {kValueUrms, ControlKind::Value, ""},
    {kLabelIrms, ControlKind::Label, "Irms(A)"},
    {kValueIrms, ControlKind::Value, ""},
    {kLabelUpeak, ControlKind::Label, "Upeak(V)"},
    {kValueUpeak, ControlKind::Value, ""},
    {kLabelIpeak, ControlKind::Label, "Ipeak(A)"},
    {kValueIpeak, ControlKind::Value, ""},
    {kLabelUcf, ControlKind::Label, "Ucf"},
    {kValueUcf, ControlKind::Value, ""},
    {kLabelIcf, ControlKind::Label, "Icf"},
    {kValueIcf, ControlKind::Value, ""},
    {kLabelPower, ControlKind::Label, "Power(W)"},
    {kValuePower, ControlKind::Value, ""},
    {kLabelPF, ControlKind::Label, "Power Factor"},
    {kValuePF, ControlKind::Value, ""},
    {kLabelFreq, ControlKind::Label, "Frequence(Hz)"},
    {kValueFreq, ControlKind::Value, ""},
    {kLabelStartAngle, ControlKind::Label, "Start Angle "},  // the trailing blank is the form's
    {kValueStartAngle, ControlKind::Value, ""},
    {kLabelPeakAngle, ControlKind::Label, "Peak Angle"},
    {kValuePeakAngle, ControlKind::Value, ""},
    {kLabelEndAngle, ControlKind::Label, "End Angle"},
    {kValueEndAngle, ControlKind::Value, ""},
    {kTitleWave, ControlKind::PlotTitle, "Voltage && Current WaveForm"},
    {kPlotWave, ControlKind::PlotBox, ""},
    {kTitleUSpec, ControlKind::PlotTitle, "Voltage Spectrum"},
    {kPlotUSpec, ControlKind::PlotBox, ""},
    {kTitleISpec, ControlKind::PlotTitle, "Current Spectrum"},
    {kPlotISpec, ControlKind::PlotBox, ""},
    {kHarmonicList, ControlKind::List, ""},
}};

// The readout column from top to bottom: (label, value box).
struct ReadoutPair {
    int label;
    int value;
};
constexpr std::array<ReadoutPair, 12> kReadoutPairs = {{
    {kLabelUrms, kValueUrms},
    {kLabelIrms, kValueIrms},
    {kLabelUpeak, kValueUpeak},
    {kLabelIpeak, kValueIpeak},
    {kLabelUcf, kValueUcf},
    {kLabelIcf, kValueIcf},
    {kLabelPower, kValuePower},
    {kLabelPF, kValuePF},
    {kLabelFreq, kValueFreq},
    {kLabelStartAngle, kValueStartAngle},
    {kLabelPeakAngle, kValuePeakAngle},
    {kLabelEndAngle, kValueEndAngle},
}};

constexpr std::array<int, 9> kRedValues = {kValueUrms, kValueIrms,  kValuePower,
                                           kValuePF,   kValueFreq,  kValueUcf,
                                           kValueIcf,  kValueUpeak, kValueIpeak};

constexpr int kReadoutWidth = 110;
constexpr int kReadoutHeight = 20;
constexpr int kReadoutPitch = 42;
constexpr int kTitleHeight = 20;
constexpr int kListWidth = 251;

// The layout is worked out in 64 bits so that absurd window sizes cannot
// overflow; the results are clamped into int.
using Wide = long long;

int ClampInt(Wide v) {
    return static_cast<int>(std::clamp<Wide>(v, INT_MIN, INT_MAX));
}

Rect MakeRect(Wide x, Wide y, Wide width, Wide height) {
    return {ClampInt(x), ClampInt(y), ClampInt(width), ClampInt(height)};
}

struct Frame {
    Wide w;
    Wide h;
    Wide plotWidth;   // P
    Wide readoutX;    // X
    Wide plotHeight;  // E
};

Rect PlaceControl(int id, const Frame& f) {
    for (std::size_t i = 0; i < kReadoutPairs.size(); ++i) {
        const Wide top = 10 + kReadoutPitch * static_cast<Wide>(i);
        if (kReadoutPairs[i].label == id) {
            return MakeRect(f.readoutX, top, kReadoutWidth, kReadoutHeight);
        }
        if (kReadoutPairs[i].value == id) {
            return MakeRect(f.readoutX, top + 20, kReadoutWidth, kReadoutHeight);
        }
    }
    const Wide e = f.plotHeight;
    switch (id) {
        case kTitleWave:
            return MakeRect(10, 5, f.plotWidth, kTitleHeight);
        case kPlotWave:
            return MakeRect(10, 25, f.plotWidth, e);
        case kTitleUSpec:
            return MakeRect(10, e + 30, f.plotWidth, kTitleHeight);
        case kPlotUSpec:
            return MakeRect(10, e + 50, f.plotWidth, e);
        case kTitleISpec:
            return MakeRect(10, 2 * e + 55, f.plotWidth, kTitleHeight);
        case kPlotISpec:
            return MakeRect(10, 2 * e + 75, f.plotWidth, e);
        case kHarmonicList:
            return MakeRect(f.w - kListWidth, 0, kListWidth, f.h);
        default:
            return {};
    }
}

}  // namespace

const std::array<ControlSpec, kControlCount>& PanelControls() {
    return kControls;
}

std::array<Placement, kControlCount> LayoutPanel(int w, int h) {
    Frame f{};
    f.w = w;
    f.h = h;
    f.plotWidth = f.w - 411;
    f.readoutX = f.w - 381;
    f.plotHeight = (f.h - 75) / 3;  // truncates towards zero, also when negative

    std::array<Placement, kControlCount> out{};
    for (std::size_t i = 0; i < kControls.size(); ++i) {
        out[i] = {kControls[i].id, PlaceControl(kControls[i].id, f)};
    }
    return out;
}

bool IsRedValue(int id) {
    return std::find(kRedValues.begin(), kRedValues.end(), id) != kRedValues.end();
}

}  // namespace zx840
