// Values no measurement can hold: a negative RMS value, power, distortion
// or spectrum line, a crest factor below 1, a power factor beyond ±1, a
// frequency that is not above 0, and anything that is not a number. The
// meter's reals carry a sign bit and its reply has no checksum, so one
// flipped bit gives such a value; it must never pass a limit.
#pragma once

#include <string>
#include <vector>

#include "record/measurement_record.h"

namespace zx840 {

enum class RecordQuantity { Freq, Icf, Ucf, PF, Power, Irms, Urms, Uthd, Ithd, USpec, ISpec };

// One value of the record: a reading, or a line of a spectrum (order 1 to 50).
struct QuantityRef {
    RecordQuantity quantity;
    int order = 1;
};

// Why the value lies outside what it can physically be, as
// "Irms -2.543 is negative"; empty when it lies inside. A crest factor of 0
// beside an RMS value of 0 is no fault: a signal that is not there has no
// crest factor, and the meter says 0.
std::string OutOfRange(const MeasurementRecord& record, QuantityRef ref);

// Every value out of range, readings first in the order of the record, then
// the spectra by order.
std::vector<std::string> OutOfRangeValues(const MeasurementRecord& record);

}  // namespace zx840
