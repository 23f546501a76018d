#include "plan/plan_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "record/file_io.h"
#include "record/json_reader.h"
#include "record/record_json.h"

namespace zx840 {

namespace {

constexpr const char* kReadingNames[kPlanReadings] = {
    "Urms", "Irms", "Upeak",      "Ipeak",     "Ucf",      "Icf",  "Power",
    "PF",   "Freq", "StartAngle", "PeakAngle", "EndAngle", "Uthd", "Ithd"};
constexpr const char* kIecNames[] = {"A", "B", "C", "C25", "D"};

constexpr char kTypeKey[] = "Type";
constexpr char kUHarmonicKey[] = "UHarmonicPercent";
constexpr char kIHarmonicKey[] = "IHarmonicPercent";
constexpr char kIecKey[] = "Iec61000_3_2";
constexpr char kMeterCheckKey[] = "MeterCheck";

class PlanParser {
  public:
    explicit PlanParser(const std::string& fileName) : fileName_(fileName) {}

    PlanRead Parse(std::string_view text) {
        PlanRead result;
        JsonError syntax;
        const std::optional<JsonValue> root = ParseJson(text, &syntax);
        if (!root) {
            result.error = fileName_ + ": not a valid plan file: " + syntax.Describe();
            return result;
        }
        if (root->kind != JsonValue::Kind::Object) {
            result.error =
                fileName_ + ": a plan file holds one JSON object, not " + JsonKindName(root->kind);
            return result;
        }
        TestPlan plan;
        plan.name = std::filesystem::path(fileName_).stem().string();
        for (const auto& [key, value] : root->members) {
            if (!Member(key, value, plan)) {
                result.error = error_;
                return result;
            }
        }
        result.plan = std::move(plan);
        return result;
    }

  private:
    bool Refuse(const std::string& key, const std::string& problem) {
        // Quoted and escaped: a key may hold control characters, which must
        // not reach a terminal raw.
        error_ = fileName_ + ": key " + JsonString(key) + ": " + problem;
        return false;
    }

    bool WrongType(const std::string& key, const char* wanted, const JsonValue& value) {
        return Refuse(key, std::string("must be ") + wanted + ", not " + JsonKindName(value.kind));
    }

    bool Member(const std::string& key, const JsonValue& value, TestPlan& plan) {
        if (key == kTypeKey) {
            if (value.kind != JsonValue::Kind::String) {
                return WrongType(key, "a string", value);
            }
            plan.type = value.text;
            return true;
        }
        for (std::size_t r = 0; r < kPlanReadings; ++r) {
            if (key == kReadingNames[r]) {
                return ReadingLimit(key, value, plan.readings[r]);
            }
        }
        for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
            if (key == DerivedQuantityName(static_cast<DerivedQuantity>(q))) {
                return ReadingLimit(key, value, plan.derived[q]);
            }
        }
        if (key == kMeterCheckKey) {
            if (value.kind != JsonValue::Kind::Bool) {
                return WrongType(key, "true or false", value);
            }
            plan.meterCheck = value.boolean;
            return true;
        }
        if (key == kUHarmonicKey) {
            return Harmonics(key, value, plan.uHarmonicMaxPercent);
        }
        if (key == kIHarmonicKey) {
            return Harmonics(key, value, plan.iHarmonicMaxPercent);
        }
        if (key == kIecKey) {
            if (value.kind != JsonValue::Kind::String) {
                return WrongType(key, "a string (\"A\", \"B\", \"C\", \"C25\" or \"D\")", value);
            }
            for (std::size_t c = 0; c < std::size(kIecNames); ++c) {
                if (value.text == kIecNames[c]) {
                    plan.iec = static_cast<IecClass>(c);
                    return true;
                }
            }
            return Refuse(key, "unknown class " + JsonString(value.text) +
                                   " (one of \"A\", \"B\", \"C\", \"C25\", \"D\")");
        }
        return Refuse(key, "not a key of a plan file");
    }

    bool ReadingLimit(const std::string& key, const JsonValue& value, std::optional<Limit>& out) {
        if (value.kind != JsonValue::Kind::Object) {
            return WrongType(key, "an object {\"min\": x, \"max\": y}", value);
        }
        Limit limit;
        for (const auto& [bound, number] : value.members) {
            if (bound != "min" && bound != "max") {
                return Refuse(key + "." + bound, "not a key of a limit (\"min\" or \"max\")");
            }
            if (number.kind != JsonValue::Kind::Number) {
                return WrongType(key + "." + bound, "a number", number);
            }
            (bound == "min" ? limit.min : limit.max) = number.number;
        }
        if (!limit.min && !limit.max) {
            return Refuse(key, "a limit needs \"min\", \"max\" or both");
        }
        if (limit.min && limit.max && *limit.min > *limit.max) {
            return Refuse(key, "min " + ShortestDouble(*limit.min) + " is greater than max " +
                                   ShortestDouble(*limit.max));
        }
        out = limit;
        return true;
    }

    bool Harmonics(const std::string& key, const JsonValue& value,
                   std::array<std::optional<double>, kPlanHighestOrder + 1>& out) {
        if (value.kind != JsonValue::Kind::Object) {
            return WrongType(key, "an object {\"3\": max, ...}", value);
        }
        for (const auto& [order, number] : value.members) {
            const std::string name = key + "." + order;
            int n = 0;
            const char* first = order.data();
            const char* last = first + order.size();
            const auto [end, ec] = std::from_chars(first, last, n);
            if (order.empty() || ec != std::errc{} || end != last || order[0] == '0' || n < 2 ||
                n > kPlanHighestOrder) {
                return Refuse(name, "a harmonic order is a whole number from 2 to 50");
            }
            if (number.kind != JsonValue::Kind::Number) {
                return WrongType(name, "a number (the largest percent of the fundamental)", number);
            }
            if (number.number < 0.0) {
                return Refuse(name, "a percent of the fundamental cannot be negative");
            }
            out[static_cast<std::size_t>(n)] = number.number;
        }
        return true;
    }

    const std::string& fileName_;
    std::string error_;
};

// {"min": x, "max": y} of the ends the limit has.
std::string LimitJson(const Limit& limit) {
    std::string bounds;
    if (limit.min) {
        bounds += "\"min\": " + ShortestDouble(*limit.min);
    }
    if (limit.max) {
        bounds += limit.min ? ", " : "";
        bounds += "\"max\": " + ShortestDouble(*limit.max);
    }
    return "{" + bounds + "}";
}

// {"3": 5, "5": 3} of the orders that have a limit; empty for none.
std::string HarmonicsJson(const std::array<std::optional<double>, kPlanHighestOrder + 1>& limits) {
    std::string members;
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        if (const auto& max = limits[static_cast<std::size_t>(n)]) {
            if (!members.empty()) {
                members += ", ";
            }
            members += '"';
            members += std::to_string(n);
            members += "\": ";
            members += ShortestDouble(*max);
        }
    }
    return members.empty() ? std::string() : "{" + members + "}";
}

}  // namespace

const char* PlanReadingName(PlanReading reading) {
    return kReadingNames[static_cast<std::size_t>(reading)];
}

const char* IecClassName(IecClass iecClass) {
    return kIecNames[static_cast<std::size_t>(iecClass)];
}

PlanRead ParsePlan(std::string_view text, const std::string& fileName) {
    return PlanParser(fileName).Parse(text);
}

PlanRead ReadPlanFile(const std::string& path) {
    std::vector<std::uint8_t> bytes;
    if (const FileStatus status = ReadWholeFile(path, &bytes, kMaxPlanBytes); !status) {
        PlanRead result;
        result.error = path + ": " +
                       (status.sysErrno == EFBIG ? std::string("too large for a plan file")
                                                 : status.Describe());
        return result;
    }
    return ParsePlan(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()),
                     path);
}

std::string PlanToJson(const TestPlan& plan) {
    std::vector<std::string> members;
    const auto key = [](const char* name) { return std::string("\"") + name + "\": "; };
    if (!plan.type.empty()) {
        members.push_back(key(kTypeKey) + JsonString(plan.type));
    }
    for (std::size_t r = 0; r < kPlanReadings; ++r) {
        if (const auto& limit = plan.readings[r]) {
            members.push_back(key(kReadingNames[r]) + LimitJson(*limit));
        }
    }
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        if (const auto& limit = plan.derived[q]) {
            members.push_back(key(DerivedQuantityName(static_cast<DerivedQuantity>(q))) +
                              LimitJson(*limit));
        }
    }
    if (plan.meterCheck) {
        members.push_back(key(kMeterCheckKey) + "true");
    }
    if (const std::string u = HarmonicsJson(plan.uHarmonicMaxPercent); !u.empty()) {
        members.push_back(key(kUHarmonicKey) + u);
    }
    if (const std::string i = HarmonicsJson(plan.iHarmonicMaxPercent); !i.empty()) {
        members.push_back(key(kIHarmonicKey) + i);
    }
    if (plan.iec) {
        members.push_back(key(kIecKey) + "\"" + IecClassName(*plan.iec) + "\"");
    }
    std::string json = "{";
    for (std::size_t m = 0; m < members.size(); ++m) {
        json += (m == 0 ? "\n  " : ",\n  ") + members[m];
    }
    json += members.empty() ? "}\n" : "\n}\n";
    return json;
}

std::vector<std::string> ListPlanFiles(const std::string& folder) {
    std::vector<std::string> paths;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::filesystem::path& path = it->path();
        std::error_code ignored;
        // Folders, FIFOs and devices named like plans are no plans (a FIFO
        // would not even open without a writer).
        if (path.extension() == std::string(".") + kPlanExtension && it->is_regular_file(ignored)) {
            paths.push_back(path.string());
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::vector<TestPlan> ReadPlanFolder(const std::string& folder, std::vector<std::string>* errors) {
    std::vector<TestPlan> plans;
    for (const std::string& path : ListPlanFiles(folder)) {
        PlanRead read = ReadPlanFile(path);
        if (read.plan) {
            plans.push_back(std::move(*read.plan));
        } else if (errors != nullptr) {
            errors->push_back(read.error);
        }
    }
    return plans;
}

const TestPlan* PlanForType(const std::vector<TestPlan>& plans, const std::string& type) {
    if (type.empty()) {
        return nullptr;
    }
    for (const TestPlan& plan : plans) {
        if (plan.type == type) {
            return &plan;
        }
    }
    return nullptr;
}

std::string DefaultPlanFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    std::string base;
    if (data != nullptr && data[0] == '/') {
        base = data;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.local/share";
    }
    return base + "/Orvalisto/plans";
}

}  // namespace zx840
