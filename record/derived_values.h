// Values derived from a measurement where they are shown, never stored: the
// peaks and the percentages of the fundamental.
#pragma once

#include <cmath>
#include <limits>

#include "record/measurement_record.h"

namespace zx840 {

// Peak = RMS value × crest factor, formed in double precision from the two
// single-precision fields.
inline double PeakOf(float rms, float crestFactor) {
    return static_cast<double>(rms) * static_cast<double>(crestFactor);
}
inline double Upeak(const MeasurementRecord& r) {
    return PeakOf(r.Urms, r.Ucf);
}
inline double Ipeak(const MeasurementRecord& r) {
    return PeakOf(r.Irms, r.Icf);
}

// A double as a float; values beyond the float range become infinities
// (a plain conversion of such a value is undefined).
inline float ToFloatSaturating(double value) {
    constexpr double kMax = std::numeric_limits<float>::max();
    if (value > kMax) {
        return std::numeric_limits<float>::infinity();
    }
    if (value < -kMax) {
        return -std::numeric_limits<float>::infinity();
    }
    return static_cast<float>(value);
}

// Percent of the fundamental, (part × 100) / fundamental in double precision,
// as the harmonic list and the data files give it. Without a fundamental
// there is no percentage, and a NaN or infinity gives no number either: both
// are 0.
inline double PercentOfFundamental(float part, float fundamental) {
    if (fundamental == 0.0f) {
        return 0.0;
    }
    const double percent = (static_cast<double>(part) * 100.0) / static_cast<double>(fundamental);
    return std::isfinite(percent) ? percent : 0.0;
}

// The same held as a float, as the harmonic list keeps it; 0 where the
// percentage does not fit a float.
inline float PercentOfFundamentalAsFloat(float part, float fundamental) {
    const double percent = PercentOfFundamental(part, fundamental);
    return std::fabs(percent) > std::numeric_limits<float>::max() ? 0.0f
                                                                  : static_cast<float>(percent);
}

// Percent of the fundamental as the distortion figures and the printed table
// form it: the quotient of the two floats in double precision, times 100.
// 0 without a fundamental or when not finite. (In double precision the
// quotient of two finite floats cannot overflow.)
inline double QuotientPercent(float part, float fundamental) {
    if (fundamental == 0.0f) {
        return 0.0;
    }
    const double percent = static_cast<double>(part) / static_cast<double>(fundamental) * 100.0;
    return std::isfinite(percent) ? percent : 0.0;
}

}  // namespace zx840
