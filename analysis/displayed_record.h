// A stored measurement as the panel shows it once opened: the spectra and
// distortion as stored (never recomputed), the conduction angles computed
// anew from the waveforms, since they are never stored.
#pragma once

#include <cstdint>

#include "analysis/conduction_angles.h"
#include "record/measurement_record.h"

namespace zx840 {

inline WorkingRecord DisplayedRecord(const MeasurementRecord& stored, std::uint8_t dataValid = 1) {
    WorkingRecord working;
    working.Record = stored;
    working.DataValid = dataValid;
    working.Angles = ComputeConductionAngles(working.Record);
    return working;
}

}  // namespace zx840
