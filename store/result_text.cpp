#include "store/result_text.h"

#include <charconv>
#include <system_error>

#include "plan/verdict.h"
#include "record/csv.h"
#include "record/derived_values.h"
#include "record/record_json.h"

namespace zx840 {
namespace {

// ,"KEY":[v,v,...] with each value as `text` writes it.
template <typename T, typename Text>
void AppendArray(std::string& out, const char* key, const T* values, std::size_t n, Text text) {
    out += ",\"";
    out += key;
    out += "\":[";
    for (std::size_t i = 0; i < n; ++i) {
        if (i) {
            out += ',';
        }
        out += text(values[i]);
    }
    out += "]";
}

double Derived(const Result& r, PlanReading reading) {
    return PlanReadingValue(reading, r.working);
}

}  // namespace

std::string ResultJson(const Result& r, bool full) {
    const MeasurementRecord& m = r.working.Record;
    const ConductionAngles& a = r.working.Angles;
    std::string out = "{\"Id\":" + JsonString(r.id) +
                      ",\"Time\":" + JsonString(IsoTimeUtc(r.timeMs)) +
                      ",\"Station\":" + JsonString(r.station) +
                      ",\"Source\":" + JsonString(ResultSourceName(r.source)) + ",";
    const std::string mark = ProductMarkJson(r.mark);
    out += mark.substr(1, mark.size() - 2);
    const std::pair<const char*, float> readings[] = {
        {"Urms", m.Urms}, {"Irms", m.Irms}, {"PF", m.PF},     {"Freq", m.Freq}, {"Power", m.Power},
        {"Ucf", m.Ucf},   {"Icf", m.Icf},   {"Uthd", m.Uthd}, {"Ithd", m.Ithd}};
    for (const auto& [key, value] : readings) {
        out += ",\"" + std::string(key) + "\":" + JsonFloat(value);
    }
    out += ",\"Upeak\":" + JsonDouble(Upeak(m)) + ",\"Ipeak\":" + JsonDouble(Ipeak(m)) +
           ",\"UthdPercent\":" + JsonDouble(Derived(r, PlanReading::Uthd)) +
           ",\"IthdPercent\":" + JsonDouble(Derived(r, PlanReading::Ithd)) +
           ",\"StartAngle\":" + JsonFloat(a.StartAngle) +
           ",\"PeakAngle\":" + JsonFloat(a.PeakAngle) + ",\"EndAngle\":" + JsonFloat(a.EndAngle) +
           ",\"Verdict\":" + (r.verdict ? r.verdict->json : std::string("null"));
    if (!r.unjudged.empty()) {
        out += ",\"Unjudged\":" + JsonString(r.unjudged);
    }
    if (full) {
        const auto asFloat = [](float value) { return JsonFloat(value); };
        const auto asInt = [](std::int32_t value) { return std::to_string(value); };
        AppendArray(out, "USpec", m.USpec.data(), m.USpec.size(), asFloat);
        AppendArray(out, "ISpec", m.ISpec.data(), m.ISpec.size(), asFloat);
        AppendArray(out, "UWave", m.UWave.data(), m.UWave.size(), asInt);
        AppendArray(out, "IWave", m.IWave.data(), m.IWave.size(), asInt);
    }
    return out + "}";
}

namespace {

constexpr const char* kCsvHeader[] = {
    "Id",          "Time",        "Station",   "Source",   "Manufacturer", "Type",
    "Number",      "Temperature", "Humidity",  "Operator", "Inspector",    "Testday",
    "Urms",        "Irms",        "PF",        "Freq",     "Power",        "Ucf",
    "Icf",         "Uthd",        "Ithd",      "Upeak",    "Ipeak",        "UthdPercent",
    "IthdPercent", "StartAngle",  "PeakAngle", "EndAngle", "Verdict",      "Plan",
    "FailedChecks"};

}  // namespace

void AppendResultCsvHeader(std::string& csv) {
    CsvRow header(csv);
    for (const char* name : kCsvHeader) {
        header.Text(name);
    }
    header.End();
}

void AppendResultCsv(std::string& line, const Result& r) {
    const MeasurementRecord& m = r.working.Record;
    const ConductionAngles& a = r.working.Angles;
    CsvRow row(line);
    row.Text(r.id).Text(IsoTimeUtc(r.timeMs)).Text(r.station).Text(ResultSourceName(r.source));
    row.Text(r.mark.Manufacturer).Text(r.mark.Type).Int(r.mark.Number).Text(r.mark.Temperature);
    row.Text(r.mark.Humidity).Text(r.mark.Operator).Text(r.mark.Inspector).Text(r.mark.Testday);
    row.Float(m.Urms).Float(m.Irms).Float(m.PF).Float(m.Freq).Float(m.Power).Float(m.Ucf);
    row.Float(m.Icf).Float(m.Uthd).Float(m.Ithd);
    for (const double value :
         {Upeak(m), Ipeak(m), Derived(r, PlanReading::Uthd), Derived(r, PlanReading::Ithd)}) {
        row.Text(ShortestDouble(value));
    }
    row.Float(a.StartAngle).Float(a.PeakAngle).Float(a.EndAngle);
    if (r.verdict) {
        std::string failed;
        for (const std::string& item : r.verdict->failedChecks) {
            if (!failed.empty()) {
                failed += ' ';
            }
            failed += item;
        }
        row.Text(r.verdict->pass ? "PASS" : "FAIL").Text(r.verdict->plan).Text(failed);
    } else if (!r.unjudged.empty()) {
        row.Text("UNJUDGED").Empty(2);
    } else {
        row.Empty(3);
    }
    row.End();
}

bool ParseNumberRange(std::string_view text, std::int32_t& from, std::int32_t& to) {
    const auto parse = [](std::string_view part, std::int32_t& value) {
        const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
        return !part.empty() && ec == std::errc{} && end == part.data() + part.size();
    };
    // The dash of a range is never the first character: "-5" is a number.
    const std::size_t dash = text.find('-', 1);
    std::int32_t first = 0;
    std::int32_t last = 0;
    const bool ok = dash == std::string_view::npos
                        ? parse(text, first) && parse(text, last)
                        : parse(text.substr(0, dash), first) && parse(text.substr(dash + 1), last);
    if (!ok || first > last) {
        return false;
    }
    from = first;
    to = last;
    return true;
}

}  // namespace zx840
