#include "record/record_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "record/reading_range.h"

namespace zx840 {

std::string JsonFloat(float value) {
    if (!std::isfinite(value)) {
        return "null";
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string ShortestDouble(double value) {
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string JsonDouble(double value) {
    return std::isfinite(value) ? ShortestDouble(value) : std::string("null");
}

namespace {

void AppendJsonString(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        switch (c) {
            case '"':
                out += "\\\"";
                break;
            case '\\':
                out += "\\\\";
                break;
            case '\b':
                out += "\\b";
                break;
            case '\f':
                out += "\\f";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (static_cast<unsigned char>(c) < 0x20) {
                    char escaped[8];
                    std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
                    out += escaped;
                } else {
                    out += c;
                }
        }
    }
    out += '"';
}

}  // namespace

std::string JsonString(std::string_view text) {
    std::string out;
    AppendJsonString(out, text);
    return out;
}

void JsonWriter::Separate() {
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (levels_.empty()) {
        return;  // a value on its own
    }
    Level& level = levels_.back();
    if (level.lines) {
        out_ += level.empty ? "\n" : ",\n";
    } else if (!level.empty) {
        out_ += ',';
    }
    level.empty = false;
}

JsonWriter& JsonWriter::BeginObject() {
    Separate();
    out_ += '{';
    levels_.push_back({});
    return *this;
}

JsonWriter& JsonWriter::EndObject() {
    levels_.pop_back();
    out_ += '}';
    return *this;
}

JsonWriter& JsonWriter::BeginArray(Layout layout) {
    Separate();
    out_ += '[';
    levels_.push_back({layout == Layout::OneLineEach, true});
    return *this;
}

JsonWriter& JsonWriter::EndArray() {
    if (levels_.back().lines) {
        out_ += '\n';
    }
    levels_.pop_back();
    out_ += ']';
    return *this;
}

JsonWriter& JsonWriter::Key(std::string_view key) {
    Separate();
    AppendJsonString(out_, key);
    out_ += ':';
    afterKey_ = true;
    return *this;
}

JsonWriter& JsonWriter::String(std::string_view text) {
    Separate();
    AppendJsonString(out_, text);
    return *this;
}

JsonWriter& JsonWriter::Float(float value) {
    return Raw(JsonFloat(value));
}

JsonWriter& JsonWriter::Double(double value) {
    return Raw(JsonDouble(value));
}

JsonWriter& JsonWriter::Double(const std::optional<double>& value) {
    return value ? Double(*value) : Null();
}

JsonWriter& JsonWriter::Int(std::int64_t value) {
    return Raw(std::to_string(value));
}

JsonWriter& JsonWriter::Bool(bool value) {
    return Raw(value ? "true" : "false");
}

JsonWriter& JsonWriter::Null() {
    return Raw("null");
}

JsonWriter& JsonWriter::Raw(std::string_view json) {
    Separate();
    out_ += json;
    return *this;
}

void WriteRecordMembers(JsonWriter& json, const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    const std::pair<const char*, float> readings[] = {
        {"Urms", r.Urms}, {"Irms", r.Irms}, {"PF", r.PF},     {"Freq", r.Freq}, {"Power", r.Power},
        {"Ucf", r.Ucf},   {"Icf", r.Icf},   {"Uthd", r.Uthd}, {"Ithd", r.Ithd}};
    for (const auto& [name, value] : readings) {
        json.Key(name).Float(value);
    }
    json.Key("USpec").Floats(r.USpec).Key("ISpec").Floats(r.ISpec);
    json.Key("UWave").Ints(r.UWave).Key("IWave").Ints(r.IWave);
    json.Key("StartAngle").Float(working.Angles.StartAngle);
    json.Key("PeakAngle").Float(working.Angles.PeakAngle);
    json.Key("EndAngle").Float(working.Angles.EndAngle);
    json.Key("DataValid").Int(working.DataValid);
    // A measurement with values no measurement can hold says which.
    if (working.DataValid == 1) {
        const std::vector<std::string> outOfRange = OutOfRangeValues(r);
        if (!outOfRange.empty()) {
            json.Key("OutOfRange").BeginArray();
            for (const std::string& reason : outOfRange) {
                json.String(reason);
            }
            json.EndArray();
        }
    }
}

std::string WorkingRecordJson(const WorkingRecord& working) {
    std::string out;
    JsonWriter json(out);
    json.BeginObject();
    WriteRecordMembers(json, working);
    json.EndObject();
    return out;
}

void WriteMarkMembers(JsonWriter& json, const ProductMark& mark) {
    json.Key("Manufacturer").String(mark.Manufacturer);
    json.Key("Type").String(mark.Type);
    json.Key("Number").Int(mark.Number);
    json.Key("Temperature").String(mark.Temperature);
    json.Key("Humidity").String(mark.Humidity);
    json.Key("Operator").String(mark.Operator);
    json.Key("Inspector").String(mark.Inspector);
    json.Key("Testday").String(mark.Testday);
}

void WriteMark(JsonWriter& json, const ProductMark& mark) {
    json.BeginObject();
    WriteMarkMembers(json, mark);
    json.EndObject();
}

std::string ProductMarkJson(const ProductMark& mark) {
    std::string out;
    JsonWriter json(out);
    WriteMark(json, mark);
    return out;
}

}  // namespace zx840
