// The scales of the waveform traces and of the spectrum bars, shared by the
// screen plots and the printed report: each trace is scaled to its own
// largest sample, each chart to its own largest entry.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>

#include "record/measurement_record.h"

namespace zx840 {

// The largest absolute sample as a float. Taken in 64 bits: |INT32_MIN| does
// not fit in 32.
inline float LargestMagnitude(const std::array<std::int32_t, kSamplesPerPeriod>& wave) {
    std::int64_t m = 0;
    for (const std::int32_t v : wave) {
        const std::int64_t wide = v;
        m = std::max(m, wide < 0 ? -wide : wide);
    }
    return static_cast<float>(m);
}

// A channel whose samples are all 0 gets a nominal scale instead, so its
// trace lies flat on the zero line.
inline float VoltageTraceScale(const MeasurementRecord& record) {
    const float largest = LargestMagnitude(record.UWave);
    return largest < 0.011f ? 500.0f : largest;
}

inline float CurrentTraceScale(const MeasurementRecord& record) {
    const float largest = LargestMagnitude(record.IWave);
    return largest < 0.00011f ? 2.0f : largest;
}

// The scale of a spectrum's bars: the largest of 0 and the entries, 1.0 when
// that is 0, so an all-zero spectrum has bars of zero length. A NaN never
// wins the comparison; an infinite entry is the largest.
inline float BarScale(const std::array<float, kHarmonicOrders>& spectrum) {
    float m = 0.0f;
    for (const float v : spectrum) {
        if (v > m) {
            m = v;
        }
    }
    return m == 0.0f ? 1.0f : m;
}

}  // namespace zx840
