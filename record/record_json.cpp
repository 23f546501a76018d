#include "record/record_json.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "record/reading_range.h"

namespace zx840 {
namespace {

template <typename Array>
void AppendFloatArray(std::string& out, const Array& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        out += JsonFloat(values[i]);
    }
    out += ']';
}

template <typename Array>
void AppendIntArray(std::string& out, const Array& values) {
    out += '[';
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i != 0) {
            out += ',';
        }
        out += std::to_string(values[i]);
    }
    out += ']';
}

}  // namespace

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

std::string JsonString(const std::string& text) {
    std::string out = "\"";
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
    return out;
}

std::string WorkingRecordJson(const WorkingRecord& working, bool open) {
    const MeasurementRecord& r = working.Record;
    std::string out = "{";
    const auto key = [&out](const char* name) {
        if (out.size() > 1) {
            out += ',';
        }
        out += '"';
        out += name;
        out += "\":";
    };
    const std::pair<const char*, float> readings[] = {
        {"Urms", r.Urms}, {"Irms", r.Irms}, {"PF", r.PF},     {"Freq", r.Freq}, {"Power", r.Power},
        {"Ucf", r.Ucf},   {"Icf", r.Icf},   {"Uthd", r.Uthd}, {"Ithd", r.Ithd}};
    for (const auto& [name, value] : readings) {
        key(name);
        out += JsonFloat(value);
    }
    key("USpec");
    AppendFloatArray(out, r.USpec);
    key("ISpec");
    AppendFloatArray(out, r.ISpec);
    key("UWave");
    AppendIntArray(out, r.UWave);
    key("IWave");
    AppendIntArray(out, r.IWave);
    key("StartAngle");
    out += JsonFloat(working.Angles.StartAngle);
    key("PeakAngle");
    out += JsonFloat(working.Angles.PeakAngle);
    key("EndAngle");
    out += JsonFloat(working.Angles.EndAngle);
    key("DataValid");
    out += std::to_string(working.DataValid);
    // A measurement with values no measurement can hold says which.
    if (working.DataValid == 1) {
        const std::vector<std::string> outOfRange = OutOfRangeValues(r);
        if (!outOfRange.empty()) {
            key("OutOfRange");
            for (std::size_t i = 0; i < outOfRange.size(); ++i) {
                out += i == 0 ? '[' : ',';
                out += JsonString(outOfRange[i]);
            }
            out += ']';
        }
    }
    if (!open) {
        out += '}';
    }
    return out;
}

std::string ProductMarkJson(const ProductMark& mark) {
    std::string out = "{\"Manufacturer\":" + JsonString(mark.Manufacturer);
    out += ",\"Type\":" + JsonString(mark.Type);
    out += ",\"Number\":" + std::to_string(mark.Number);
    out += ",\"Temperature\":" + JsonString(mark.Temperature);
    out += ",\"Humidity\":" + JsonString(mark.Humidity);
    out += ",\"Operator\":" + JsonString(mark.Operator);
    out += ",\"Inspector\":" + JsonString(mark.Inspector);
    out += ",\"Testday\":" + JsonString(mark.Testday);
    out += '}';
    return out;
}

}  // namespace zx840
