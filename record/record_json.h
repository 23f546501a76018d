// The working record as one JSON object whose keys are the field names.
#pragma once

#include <string>

#include "record/measurement_record.h"
#include "record/product_mark.h"

namespace zx840 {

// A float in the shortest form that reads back as the same single-precision
// value; NaN and infinities, which JSON cannot hold, as null.
std::string JsonFloat(float value);

// A double in the shortest form that reads back as the same value, in any
// locale ("inf", "nan" for those); JsonDouble gives null for them instead.
std::string ShortestDouble(double value);
std::string JsonDouble(double value);

// A JSON string literal, quoted and escaped.
std::string JsonString(const std::string& text);

// Keys in this order: Urms, Irms, PF, Freq, Power, Ucf, Icf, Uthd, Ithd,
// USpec, ISpec, UWave, IWave, StartAngle, PeakAngle, EndAngle, DataValid,
// and OutOfRange (the reasons, as OutOfRangeValues gives them) only for a
// measurement that holds values out of their physical range.
// Without the closing brace when `open` is true, so a caller can add keys.
std::string WorkingRecordJson(const WorkingRecord& working, bool open = false);

// {"Manufacturer":…,"Type":…,"Number":…,"Temperature":…,"Humidity":…,
//  "Operator":…,"Inspector":…,"Testday":…}
std::string ProductMarkJson(const ProductMark& mark);

}  // namespace zx840
