#include "view/panel_text.h"

#include <cmath>
#include <initializer_list>
#include <string_view>

#include "record/derived_values.h"
#include "view/panel_layout.h"

namespace zx840 {

std::array<Readout, 12> Readouts(const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    const double upeak = Upeak(r);
    const double ipeak = Ipeak(r);
    const auto range = [&r](std::initializer_list<RecordQuantity> inputs) {
        std::string why;
        for (const RecordQuantity input : inputs) {
            if (why.empty()) {
                why = OutOfRange(r, {input});
            }
        }
        return why;
    };
    using enum RecordQuantity;
    return {{
        {kValueUrms, FormatFixed(r.Urms, 1, 5), range({Urms})},
        {kValueIrms, FormatFixed(r.Irms, 3, 5), range({Irms})},
        {kValueUpeak, FormatFixed(upeak, 1, 5), range({Urms, Ucf})},
        {kValueIpeak, FormatFixed(ipeak, 3, 5), range({Irms, Icf})},
        {kValueUcf, FormatFixed(r.Ucf, 2, 5), range({Ucf})},
        {kValueIcf, FormatFixed(r.Icf, 2, 5), range({Icf})},
        {kValuePower, FormatFixed(r.Power, 2, 5), range({Power})},
        {kValuePF, FormatFixed(r.PF, 3, 5), range({PF})},
        {kValueFreq, FormatFixed(r.Freq, 2, 5), range({Freq})},
        {kValueStartAngle, FormatFixed(working.Angles.StartAngle, 1, 3) + " Deg", {}},
        {kValuePeakAngle, FormatFixed(working.Angles.PeakAngle, 1, 3) + " Deg", {}},
        {kValueEndAngle, FormatFixed(working.Angles.EndAngle, 1, 3) + " Deg", {}},
    }};
}

std::array<HarmonicRow, kHarmonicRows> HarmonicRows(const MeasurementRecord& record) {
    std::array<HarmonicRow, kHarmonicRows> rows;
    for (int i = 0; i < kHarmonicRows; ++i) {
        const auto k = static_cast<std::size_t>(i) + 1;
        const float u = PercentOfFundamentalAsFloat(record.USpec[k], record.USpec[0]);
        const float c = PercentOfFundamentalAsFloat(record.ISpec[k], record.ISpec[0]);
        rows[static_cast<std::size_t>(i)] = {std::to_string(i + 2), FormatFixed(u, 1) + "%",
                                             FormatFixed(c, 1, 4) + "%"};
    }
    return rows;
}

std::string CheckValueText(const std::string& item, double value) {
    if (!std::isfinite(value)) {
        return "-";
    }
    struct Unit {
        const char* item;
        int decimals;
        const char* unit;
    };
    static constexpr Unit kUnits[] = {
        {"Urms", 1, " V"},        {"Upeak", 1, " V"},
        {"Irms", 3, " A"},        {"Ipeak", 3, " A"},
        {"Ucf", 2, ""},           {"Icf", 2, ""},
        {"Power", 2, " W"},       {"PF", 3, ""},
        {"Freq", 2, " Hz"},       {"StartAngle", 1, " Deg"},
        {"PeakAngle", 1, " Deg"}, {"EndAngle", 1, " Deg"},
        {"Uthd", 1, " %"},        {"Ithd", 1, " %"},
    };
    std::string_view name = item;
    const bool emission = name.starts_with("IEC ");
    if (emission) {
        name.remove_prefix(4);
        if (name.starts_with("Class")) {
            return FormatFixed(value, 2) + " W";  // the power that chose the limits
        }
    }
    for (const Unit& unit : kUnits) {
        if (name == unit.item) {
            return FormatFixed(value, unit.decimals) + unit.unit;
        }
    }
    if (name.size() > 1 && (name[0] == 'U' || name[0] == 'I')) {
        // A harmonic: amperes of the emission classes, else percent.
        return emission ? FormatFixed(value, 3) + " A" : FormatFixed(value, 1) + " %";
    }
    return FormatFixed(value, 3);
}

}  // namespace zx840
