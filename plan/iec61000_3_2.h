// Harmonic current emission limits of IEC 61000-3-2, checked on the one
// period the meter delivers: a pre-compliance indication, not a compliance
// test (that needs a long, windowed observation).
#pragma once

#include <optional>
#include <vector>

#include "plan/plan_file.h"
#include "record/measurement_record.h"

namespace zx840 {

struct Check;

inline constexpr int kIecHighestOrder = 40;

// The harmonic current of order n (1 to 50) in amperes RMS: the spectrum
// scaled by the meter's RMS current over the RMS of the samples. Nothing
// when the current samples are all zero.
std::optional<double> HarmonicCurrent(const MeasurementRecord& record, int order);

// The Class A limit of order n (2 to 40) in amperes; 0 for no limit.
double ClassALimit(int order);

// The 5 %-of-peak conduction angles of the waveform option for lighting up
// to 25 W, measured from the voltage zero crossing of the conduction angles.
struct WaveformAngles {
    double start = 0.0;  // the current first reaches 5 % of its peak
    double peak = 0.0;   // it peaks
    double end = 0.0;    // it first falls below 5 % again
};
std::optional<WaveformAngles> LowPowerLightingAngles(const MeasurementRecord& record);

// The checks of `iecClass` for `record`, appended to `checks`.
void AppendIecChecks(IecClass iecClass, const MeasurementRecord& record,
                     std::vector<Check>& checks);

}  // namespace zx840
