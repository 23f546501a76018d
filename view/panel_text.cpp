#include "view/panel_text.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>
#include <system_error>

#include "view/panel_layout.h"

namespace zx840 {

namespace {

// The longest fixed-notation double: sign, 309 integer digits, the point and
// at most kMaxPrecision decimals.
constexpr int kMaxPrecision = 50;
constexpr std::size_t kFixedBufferSize = 1 + 309 + 1 + kMaxPrecision + 8;

// A list cell: `part` in percent of `fundamental`, computed in double
// precision and kept as a float like the list always has. A zero
// fundamental, or a ratio that is not a finite float (a NaN in the record,
// or a fundamental so small that the ratio overflows), shows as 0.0.
float PercentOf(float part, float fundamental) {
    if (fundamental == 0.0f) {
        return 0.0f;
    }
    const double ratio = (static_cast<double>(part) * 100.0) / static_cast<double>(fundamental);
    if (!std::isfinite(ratio) || std::fabs(ratio) > std::numeric_limits<float>::max()) {
        return 0.0f;
    }
    return static_cast<float>(ratio);
}

}  // namespace

std::string FormatFixed(double value, int precision, int width) {
    precision = std::clamp(precision, 0, kMaxPrecision);
    char buffer[kFixedBufferSize];
    // std::to_chars is locale-independent and, with a precision, rounds
    // exactly like printf's "%.*f".
    const auto [end, ec] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, precision);
    std::string text = ec == std::errc{} ? std::string(buffer, end) : std::string();
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        text.insert(0, static_cast<std::size_t>(width) - text.size(), ' ');
    }
    return text;
}

std::array<Readout, 12> Readouts(const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    // The peaks are never stored: each is the product of RMS value and crest
    // factor, formed in double precision.
    const double upeak = static_cast<double>(r.Urms) * static_cast<double>(r.Ucf);
    const double ipeak = static_cast<double>(r.Irms) * static_cast<double>(r.Icf);
    return {{
        {kValueUrms, FormatFixed(r.Urms, 1, 5)},
        {kValueIrms, FormatFixed(r.Irms, 3, 5)},
        {kValueUpeak, FormatFixed(upeak, 1, 5)},
        {kValueIpeak, FormatFixed(ipeak, 3, 5)},
        {kValueUcf, FormatFixed(r.Ucf, 2, 5)},
        {kValueIcf, FormatFixed(r.Icf, 2, 5)},
        {kValuePower, FormatFixed(r.Power, 2, 5)},
        {kValuePF, FormatFixed(r.PF, 3, 5)},
        {kValueFreq, FormatFixed(r.Freq, 2, 5)},
        {kValueStartAngle, FormatFixed(working.Angles.StartAngle, 1, 3) + " Deg"},
        {kValuePeakAngle, FormatFixed(working.Angles.PeakAngle, 1, 3) + " Deg"},
        {kValueEndAngle, FormatFixed(working.Angles.EndAngle, 1, 3) + " Deg"},
    }};
}

std::array<HarmonicRow, kHarmonicRows> HarmonicRows(const MeasurementRecord& record) {
    std::array<HarmonicRow, kHarmonicRows> rows;
    for (int i = 0; i < kHarmonicRows; ++i) {
        const auto k = static_cast<std::size_t>(i) + 1;
        const float u = PercentOf(record.USpec[k], record.USpec[0]);
        const float c = PercentOf(record.ISpec[k], record.ISpec[0]);
        rows[static_cast<std::size_t>(i)] = {std::to_string(i + 2), FormatFixed(u, 1) + "%",
                                             FormatFixed(c, 1, 4) + "%"};
    }
    return rows;
}

}  // namespace zx840
