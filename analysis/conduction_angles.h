// Conduction angles of the current, measured from a voltage zero crossing.
#pragma once

#include <optional>

#include "record/measurement_record.h"

namespace zx840 {

inline constexpr float kDegreesPerSample = 1.40625f;  // 360 / 256

// The sample Z after which the voltage first changes sign (between samples Z
// and Z + 1, Z from 1 to 254); nothing when samples 0 and 1 already differ
// in sign or no change is found. A zero counts as a change of sign.
std::optional<int> VoltageZeroCrossing(const MeasurementRecord& record);

// Start, peak and end of current flow after the first voltage sign change
// between samples 1 and 255; all three 0 when samples 0 and 1 differ in sign
// or no sign change is found.
ConductionAngles ComputeConductionAngles(const MeasurementRecord& record);

}  // namespace zx840
