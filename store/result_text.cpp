#include "store/result_text.h"

#include <charconv>
#include <cmath>
#include <system_error>

#include "plan/verdict.h"
#include "record/csv.h"
#include "record/derived_values.h"
#include "record/record_json.h"

namespace zx840 {
namespace {

double Derived(const Result& r, PlanReading reading) {
    return PlanReadingValue(reading, r.working);
}

}  // namespace

void WriteResult(JsonWriter& json, const Result& r, Detail detail) {
    const MeasurementRecord& m = r.working.Record;
    const ConductionAngles& a = r.working.Angles;
    json.BeginObject().Key("Id").String(r.id).Key("Time").String(IsoTimeUtc(r.timeMs));
    json.Key("Station").String(r.station).Key("Source").String(ResultSourceName(r.source));
    WriteMarkMembers(json, r.mark);
    const std::pair<const char*, float> readings[] = {
        {"Urms", m.Urms}, {"Irms", m.Irms}, {"PF", m.PF},     {"Freq", m.Freq}, {"Power", m.Power},
        {"Ucf", m.Ucf},   {"Icf", m.Icf},   {"Uthd", m.Uthd}, {"Ithd", m.Ithd}};
    for (const auto& [key, value] : readings) {
        json.Key(key).Float(value);
    }
    json.Key("Upeak").Double(Upeak(m)).Key("Ipeak").Double(Ipeak(m));
    json.Key("UthdPercent").Double(Derived(r, PlanReading::Uthd));
    json.Key("IthdPercent").Double(Derived(r, PlanReading::Ithd));
    json.Key("StartAngle").Float(a.StartAngle).Key("PeakAngle").Float(a.PeakAngle);
    json.Key("EndAngle").Float(a.EndAngle).Key("Verdict");
    if (r.verdict) {
        json.Raw(r.verdict->json);
    } else {
        json.Null();
    }
    if (!r.unjudged.empty()) {
        json.Key("Unjudged").String(r.unjudged);
    }
    const DerivedQuantities derived = DerivedOf(r);
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        json.Key(DerivedQuantityName(static_cast<DerivedQuantity>(q))).Double(derived.values[q]);
    }
    if (detail == Detail::Full) {
        json.Key("USpec").Floats(m.USpec).Key("ISpec").Floats(m.ISpec);
        json.Key("UWave").Ints(m.UWave).Key("IWave").Ints(m.IWave);
    }
    json.EndObject();
}

std::string ResultJson(const Result& r, Detail detail) {
    std::string text;
    JsonWriter json(text);
    WriteResult(json, r, detail);
    return text;
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
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        header.Text(DerivedQuantityName(static_cast<DerivedQuantity>(q)));
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
    // After the columns of older versions, which keep their places.
    for (const double value : DerivedOf(r).values) {
        if (std::isfinite(value)) {
            row.Double(value);
        } else {
            row.Empty(1);
        }
    }
    row.End();
}

std::optional<NumberRange> ParseNumberRange(std::string_view text) {
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
        return std::nullopt;
    }
    return NumberRange{first, last};
}

// One object of stats: the type, the station when the stats are of one,
// the counts and each reading; with a plan that limits a reading, its Cpk
// (null without both ends), and Cpl and Cpu for the ends it gives.
void WriteResultStats(JsonWriter& json, const std::string& type,
                      const std::optional<std::string>& station, const ResultStats& stats,
                      const std::optional<TestPlan>& plan) {
    json.BeginObject().Key("Type").String(type);
    if (station) {
        json.Key("Station").String(*station);
    }
    json.Key("Count").Int(stats.count).Key("Passed").Int(stats.passed);
    json.Key("Failed").Int(stats.failed).Key("Readings").BeginObject();
    for (std::size_t i = 0; i < kPlanReadings; ++i) {
        const auto reading = static_cast<PlanReading>(i);
        const ReadingStats& r = stats.readings[i];
        const std::string name = reading == PlanReading::Uthd   ? "UthdPercent"
                                 : reading == PlanReading::Ithd ? "IthdPercent"
                                                                : PlanReadingName(reading);
        const auto any = [&r](double value) {
            return r.count > 0 ? std::optional(value) : std::nullopt;
        };
        json.Key(name).BeginObject().Key("Count").Int(r.count);
        json.Key("Min").Double(any(r.min)).Key("Mean").Double(any(r.mean));
        json.Key("Max").Double(any(r.max)).Key("StdDev").Double(r.stdDev);
        if (const auto limit = plan ? plan->Reading(reading) : std::nullopt) {
            json.Key("Cpk").Double(Cpk(r, *limit));
            if (limit->min) {
                json.Key("Cpl").Double(Cpl(r, *limit));
            }
            if (limit->max) {
                json.Key("Cpu").Double(Cpu(r, *limit));
            }
        }
        json.EndObject();
    }
    json.EndObject().EndObject();
}

}  // namespace zx840
