// The scales of the waveform traces, shared by the screen plot and the
// printed report: each trace is scaled to its own largest sample.
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

}  // namespace zx840
