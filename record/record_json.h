// JSON as the program writes it: numbers, strings, a writer of objects and
// arrays, and the working record and product information as objects whose
// keys are the field names.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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
std::string JsonString(std::string_view text);

// Writes JSON onto the end of a string the caller owns: objects and arrays
// with the commas between their members, keys, and values as the functions
// above write them. The string may be emptied between two values, so a long
// array can go out a piece at a time; the writer keeps its place.
class JsonWriter {
  public:
    explicit JsonWriter(std::string& out) : out_(out) {}

    // Compact: [1,2]. OneLineEach: each element on a line of its own and the
    // closing bracket on the next, "[\n1,\n2\n]" ("[\n]" when empty).
    enum class Layout { Compact, OneLineEach };

    JsonWriter& BeginObject();
    JsonWriter& EndObject();
    JsonWriter& BeginArray(Layout layout = Layout::Compact);
    JsonWriter& EndArray();
    // The key of the next value, in an object.
    JsonWriter& Key(std::string_view key);

    JsonWriter& String(std::string_view text);
    JsonWriter& Float(float value);                          // null for NaN and infinities
    JsonWriter& Double(double value);                        // null for NaN and infinities
    JsonWriter& Double(const std::optional<double>& value);  // null for none too
    JsonWriter& Int(std::int64_t value);
    JsonWriter& Bool(bool value);
    JsonWriter& Null();
    // A value that is JSON already (a verdict as a store kept it).
    JsonWriter& Raw(std::string_view json);

    // An array of each value as Float or Int writes it.
    template <typename Values>
    JsonWriter& Floats(const Values& values) {
        BeginArray();
        for (const float value : values) {
            Float(value);
        }
        return EndArray();
    }
    template <typename Values>
    JsonWriter& Ints(const Values& values) {
        BeginArray();
        for (const std::int64_t value : values) {
            Int(value);
        }
        return EndArray();
    }

  private:
    // The comma or line break before a value (nothing after its key).
    void Separate();

    struct Level {
        bool lines = false;  // Layout::OneLineEach
        bool empty = true;
    };
    std::string& out_;
    std::vector<Level> levels_;
    bool afterKey_ = false;
};

// The working record's members, into the object `json` is writing, in this
// order: Urms, Irms, PF, Freq, Power, Ucf, Icf, Uthd, Ithd, USpec, ISpec,
// UWave, IWave, StartAngle, PeakAngle, EndAngle, DataValid, and OutOfRange
// (the reasons, as OutOfRangeValues gives them) only for a measurement that
// holds values out of their physical range.
void WriteRecordMembers(JsonWriter& json, const WorkingRecord& working);
// The same as an object of its own.
std::string WorkingRecordJson(const WorkingRecord& working);

// "Manufacturer", "Type", "Number", "Temperature", "Humidity", "Operator",
// "Inspector", "Testday", into the object `json` is writing.
void WriteMarkMembers(JsonWriter& json, const ProductMark& mark);
// The same as an object of its own, and written as one value by `json`.
std::string ProductMarkJson(const ProductMark& mark);
void WriteMark(JsonWriter& json, const ProductMark& mark);

}  // namespace zx840
