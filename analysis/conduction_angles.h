// Conduction angles of the current, measured from a voltage zero crossing.
#pragma once

#include "record/measurement_record.h"

namespace zx840 {

inline constexpr float kDegreesPerSample = 1.40625f;  // 360 / 256

// Start, peak and end of current flow after the first voltage sign change
// between samples 1 and 255; all three 0 when samples 0 and 1 differ in sign
// or no sign change is found.
ConductionAngles ComputeConductionAngles(const MeasurementRecord& record);

}  // namespace zx840
