#include "plan/verdict.h"

#include <cmath>
#include <cstdio>
#include <string_view>

#include "plan/iec61000_3_2.h"
#include "record/derived_values.h"
#include "record/json_reader.h"
#include "record/record_json.h"

namespace zx840 {

namespace {

// Percent of the fundamental as the panel shows it, but without a number
// (NaN) where there is no fundamental: a check must not pass on a
// percentage that does not exist.
// The order of evaluation: the panel divides first for the distortions and
// multiplies first for the harmonic orders.
enum class Order { QuotientFirst, ProductFirst };

double PercentOrNaN(double part, double fundamental, Order order) {
    if (fundamental == 0.0) {
        return std::nan("");
    }
    return order == Order::QuotientFirst ? part / fundamental * 100.0 : part * 100.0 / fundamental;
}

}  // namespace

double PlanReadingValue(PlanReading reading, const WorkingRecord& working) {
    const MeasurementRecord& r = working.Record;
    switch (reading) {
        case PlanReading::Urms:
            return r.Urms;
        case PlanReading::Irms:
            return r.Irms;
        case PlanReading::Upeak:
            return Upeak(r);
        case PlanReading::Ipeak:
            return Ipeak(r);
        case PlanReading::Ucf:
            return r.Ucf;
        case PlanReading::Icf:
            return r.Icf;
        case PlanReading::Power:
            return r.Power;
        case PlanReading::PF:
            return r.PF;
        case PlanReading::Freq:
            return r.Freq;
        case PlanReading::StartAngle:
            return working.Angles.StartAngle;
        case PlanReading::PeakAngle:
            return working.Angles.PeakAngle;
        case PlanReading::EndAngle:
            return working.Angles.EndAngle;
        case PlanReading::Uthd:
            return PercentOrNaN(r.Uthd, r.USpec[0], Order::QuotientFirst);
        case PlanReading::Ithd:
            return PercentOrNaN(r.Ithd, r.ISpec[0], Order::QuotientFirst);
    }
    return std::nan("");
}

namespace {

// The values of the record a reading's check is made from.
void FailReadingOnOutOfRange(Check& check, PlanReading reading, const MeasurementRecord& r) {
    using enum RecordQuantity;
    switch (reading) {
        case PlanReading::Urms:
            return FailOnOutOfRange(check, r, {{Urms}});
        case PlanReading::Irms:
            return FailOnOutOfRange(check, r, {{Irms}});
        case PlanReading::Upeak:
            return FailOnOutOfRange(check, r, {{Urms}, {Ucf}});
        case PlanReading::Ipeak:
            return FailOnOutOfRange(check, r, {{Irms}, {Icf}});
        case PlanReading::Ucf:
            return FailOnOutOfRange(check, r, {{Ucf}});
        case PlanReading::Icf:
            return FailOnOutOfRange(check, r, {{Icf}});
        case PlanReading::Power:
            return FailOnOutOfRange(check, r, {{Power}});
        case PlanReading::PF:
            return FailOnOutOfRange(check, r, {{PF}});
        case PlanReading::Freq:
            return FailOnOutOfRange(check, r, {{Freq}});
        case PlanReading::StartAngle:
        case PlanReading::PeakAngle:
        case PlanReading::EndAngle:
            return;  // from the samples, which have no range to leave
        case PlanReading::Uthd:
            return FailOnOutOfRange(check, r, {{Uthd}, {USpec, 1}});
        case PlanReading::Ithd:
            return FailOnOutOfRange(check, r, {{Ithd}, {ISpec, 1}});
    }
}

// The note of a percent of the fundamental that does not exist.
void NoteMissingFundamental(Check& check, bool current, float fundamental) {
    if (fundamental == 0.0f && check.note.empty()) {
        check.note = current ? kNoCurrentNote : kNoVoltageNote;
    }
}

enum class Channel { Voltage, Current };

void HarmonicChecks(Channel channel,
                    const std::array<std::optional<double>, kPlanHighestOrder + 1>& limits,
                    const MeasurementRecord& record, std::vector<Check>& out) {
    const bool current = channel == Channel::Current;
    const auto& spectrum = current ? record.ISpec : record.USpec;
    const RecordQuantity quantity = current ? RecordQuantity::ISpec : RecordQuantity::USpec;
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        if (const auto& max = limits[static_cast<std::size_t>(n)]) {
            Check check;
            char item[8];
            std::snprintf(item, sizeof item, "%c%d", current ? 'I' : 'U', n);
            check.item = item;
            check.value = PercentOrNaN(spectrum[static_cast<std::size_t>(n - 1)], spectrum[0],
                                       Order::ProductFirst);
            check.max = *max;
            check.pass = WithinLimit(check.value, std::nullopt, check.max);
            FailOnOutOfRange(check, record, {{quantity, n}, {quantity, 1}});
            NoteMissingFundamental(check, current, spectrum[0]);
            out.push_back(std::move(check));
        }
    }
}

bool HasNoCurrent(const MeasurementRecord& record) {
    if (record.ISpec[0] == 0.0f) {
        return true;
    }
    for (const std::int32_t sample : record.IWave) {
        if (sample != 0) {
            return false;
        }
    }
    return true;
}

// A plan whose Irms maximum is a standby current and which the measurement
// meets wants no current. A limit above that, as any plan of a working
// unit sets, is met by an unplugged unit too, and must not let it pass.
bool MeetsStandbyLimit(const TestPlan& plan, const std::vector<Check>& checks) {
    const auto& limit = plan.Reading(PlanReading::Irms);
    if (!limit || !limit->max || *limit->max > kStandbyCurrentMax) {
        return false;
    }
    for (const Check& check : checks) {
        if (check.item == PlanReadingName(PlanReading::Irms)) {
            return check.pass;
        }
    }
    return false;
}

// The check of each derived quantity the plan limits. One with no value
// says why: no current (which a standby plan may accept), else no voltage.
void DerivedChecks(const TestPlan& plan, const MeasurementRecord& record, std::vector<Check>& out) {
    std::optional<DerivedQuantities> derived;
    for (std::size_t q = 0; q < kDerivedQuantities; ++q) {
        const auto& limit = plan.derived[q];
        if (!limit) {
            continue;
        }
        if (!derived) {
            derived = ComputeDerived(record);
        }
        const auto quantity = static_cast<DerivedQuantity>(q);
        Check check;
        check.item = DerivedQuantityName(quantity);
        check.value = (*derived)[quantity];
        check.min = limit->min;
        check.max = limit->max;
        check.pass = WithinLimit(check.value, check.min, check.max);
        if (quantity == DerivedQuantity::ApparentPower ||
            quantity == DerivedQuantity::ReactivePower) {
            using enum RecordQuantity;
            FailOnOutOfRange(check, record, {{Urms}, {Irms}, {Power}});
        }
        if (std::isnan(check.value) && check.note.empty()) {
            check.note = quantity != DerivedQuantity::UthdR && HasNoCurrent(record)
                             ? kNoCurrentNote
                             : kNoVoltageNote;
        }
        out.push_back(std::move(check));
    }
}

// "MeterCheck PF", "MeterCheck Icf", "MeterCheck Ucf": the difference
// between the meter and its samples against the tolerance, the figures in
// the note. A channel too small to judge passes, and says so.
void MeterChecks(const MeasurementRecord& record, std::vector<Check>& out) {
    for (const ReadingAgreement& a : CheckMeter(record)) {
        Check check;
        check.item = std::string("MeterCheck ") + a.reading;
        check.value = a.judged ? a.difference : std::nan("");
        check.max = a.tolerance;
        check.pass = a.agrees;
        check.note = a.judged ? "meter " + JsonFloat(static_cast<float>(a.meter)) + ", samples " +
                                    ShortestDouble(a.samples)
                              : "not evaluated: the samples are too small to judge";
        out.push_back(std::move(check));
    }
}

}  // namespace

bool WithinLimit(double value, const std::optional<double>& min, const std::optional<double>& max) {
    if (!std::isfinite(value)) {
        return false;
    }
    return (!min || value >= *min) && (!max || value <= *max);
}

void FailOnOutOfRange(Check& check, const MeasurementRecord& record,
                      std::initializer_list<QuantityRef> inputs) {
    for (const QuantityRef& input : inputs) {
        if (std::string why = OutOfRange(record, input); !why.empty()) {
            check.pass = false;
            check.note = "out of range: ";
            check.note += why;
            return;
        }
    }
}

int Verdict::FailedCount() const {
    int failed = 0;
    for (const Check& check : checks) {
        failed += check.pass ? 0 : 1;
    }
    return failed;
}

std::vector<std::string> Verdict::LimitNotes() const {
    std::vector<std::string> notes;
    for (const Check& check : checks) {
        if (check.pass && !check.min && !check.max && !check.note.empty()) {
            notes.push_back(check.note);
        }
    }
    return notes;
}

namespace {

std::string LineStart(bool rejudged, bool pass) {
    return std::string(rejudged ? "Verdict (judged again): " : "Verdict: ") +
           (pass ? "PASS" : "FAIL");
}

std::string WithNotes(std::string line, const std::vector<std::string>& notes) {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        line += i == 0 ? " (" : "; ";
        line += notes[i];
    }
    return notes.empty() ? line : line + ")";
}

}  // namespace

std::string Verdict::Line() const {
    if (pass) {
        return WithNotes(LineStart(rejudged, pass), LimitNotes());
    }
    const int failed = FailedCount();
    return LineStart(rejudged, pass) + " (" + std::to_string(failed) +
           (failed == 1 ? " check" : " checks") + " failed)";
}

std::string Verdict::ShortLine(std::size_t room) const {
    static constexpr char kCut[] = "\u2026";  // one character on the page
    std::string line = LineStart(rejudged, pass);
    if (pass) {
        const std::string noted = WithNotes(line, LimitNotes());
        return noted.size() <= room ? noted : line;
    }
    std::string names;
    for (const Check& check : checks) {
        if (!check.pass) {
            names += names.empty() ? ": " : ", ";
            names += check.item;
        }
    }
    if (line.size() + names.size() <= room) {
        return line + names;
    }
    // Whole names only, then the mark that more failed.
    std::size_t end = names.size();
    while (end > 0 && line.size() + end + 3 > room) {
        end = names.rfind(", ", end - 1);
        end = end == std::string::npos ? 0 : end;
    }
    return end == 0 ? line + ": " + kCut : line + names.substr(0, end) + ", " + kCut;
}

std::vector<Check> Verdict::FailingFirst() const {
    std::vector<Check> ordered;
    ordered.reserve(checks.size());
    for (const bool wanted : {false, true}) {
        for (const Check& check : checks) {
            if (check.pass == wanted) {
                ordered.push_back(check);
            }
        }
    }
    return ordered;
}

bool Verdict::Failed(const std::string& item) const {
    for (const Check& check : checks) {
        if (check.item == item && !check.pass) {
            return true;
        }
    }
    return false;
}

FailingOrders FailingOrdersOf(const Verdict& verdict) {
    FailingOrders failing;
    const auto order = [](std::string_view digits) {
        int n = 0;
        for (const char c : digits) {
            if (c < '0' || c > '9' || n > kHarmonicOrders) {
                return 0;
            }
            n = n * 10 + (c - '0');
        }
        return n >= 1 && n <= kHarmonicOrders ? n : 0;
    };
    for (const Check& check : verdict.checks) {
        if (check.pass) {
            continue;
        }
        std::string_view item = check.item;
        if (item.starts_with("IEC ")) {
            item.remove_prefix(4);
        }
        if (item.size() < 2) {
            continue;
        }
        if (const int n = order(item.substr(1)); n != 0) {
            if (item[0] == 'U') {
                failing.voltage[static_cast<std::size_t>(n)] = true;
            } else if (item[0] == 'I') {
                failing.current[static_cast<std::size_t>(n)] = true;
            }
        }
    }
    return failing;
}

std::optional<Verdict> Judge(const TestPlan& plan, const WorkingRecord& working) {
    if (working.DataValid != 1) {
        return std::nullopt;
    }
    Verdict verdict;
    verdict.plan = plan.name;
    const MeasurementRecord& record = working.Record;
    for (std::size_t r = 0; r < kPlanReadings; ++r) {
        if (const auto& limit = plan.readings[r]) {
            const auto reading = static_cast<PlanReading>(r);
            Check check;
            check.item = PlanReadingName(reading);
            check.value = PlanReadingValue(reading, working);
            check.min = limit->min;
            check.max = limit->max;
            check.pass = WithinLimit(check.value, check.min, check.max);
            FailReadingOnOutOfRange(check, reading, record);
            if (reading == PlanReading::Uthd || reading == PlanReading::Ithd) {
                const bool current = reading == PlanReading::Ithd;
                NoteMissingFundamental(check, current, current ? record.ISpec[0] : record.USpec[0]);
            }
            verdict.checks.push_back(std::move(check));
        }
    }
    DerivedChecks(plan, record, verdict.checks);
    HarmonicChecks(Channel::Voltage, plan.uHarmonicMaxPercent, record, verdict.checks);
    HarmonicChecks(Channel::Current, plan.iHarmonicMaxPercent, record, verdict.checks);
    if (plan.iec) {
        AppendIecChecks(*plan.iec, record, verdict.checks);
        verdict.preCompliance = std::string("IEC 61000-3-2 Class ") + IecClassName(*plan.iec) +
                                " pre-compliance indication (one period)";
    }
    if (plan.meterCheck) {
        MeterChecks(record, verdict.checks);
    }
    if (HasNoCurrent(record) && MeetsStandbyLimit(plan, verdict.checks)) {
        for (Check& check : verdict.checks) {
            if (check.note == kNoCurrentNote) {
                check.pass = true;
                check.note = kStandbyNote;
            }
        }
    }
    verdict.pass = verdict.FailedCount() == 0;
    return verdict;
}

void WriteVerdict(JsonWriter& json, const Verdict& verdict) {
    json.BeginObject().Key("Pass").Bool(verdict.pass).Key("Plan").String(verdict.plan);
    json.Key("Checks").BeginArray();
    for (const Check& c : verdict.checks) {
        json.BeginObject().Key("Item").String(c.item).Key("Value").Double(c.value);
        json.Key("Min").Double(c.min).Key("Max").Double(c.max).Key("Pass").Bool(c.pass);
        if (!c.note.empty()) {
            json.Key("Note").String(c.note);
        }
        json.EndObject();
    }
    json.EndArray();
    if (!verdict.preCompliance.empty()) {
        json.Key("PreCompliance").String(verdict.preCompliance);
    }
    json.EndObject();
}

std::string VerdictJson(const Verdict& verdict) {
    std::string text;
    JsonWriter json(text);
    WriteVerdict(json, verdict);
    return text;
}

std::optional<Verdict> ParseVerdictJson(std::string_view json) {
    const std::optional<JsonValue> root = ParseJson(json, nullptr);
    if (!root || root->kind != JsonValue::Kind::Object) {
        return std::nullopt;
    }
    const auto boolean = [](const JsonValue& object, const char* key) -> std::optional<bool> {
        const JsonValue* value = object.Find(key);
        return value != nullptr && value->kind == JsonValue::Kind::Bool
                   ? std::optional<bool>(value->boolean)
                   : std::nullopt;
    };
    const auto number = [](const JsonValue& object, const char* key) -> std::optional<double> {
        const JsonValue* value = object.Find(key);
        return value != nullptr && value->kind == JsonValue::Kind::Number
                   ? std::optional<double>(value->number)
                   : std::nullopt;
    };
    const auto text = [](const JsonValue& object, const char* key) {
        const JsonValue* value = object.Find(key);
        return value != nullptr && value->kind == JsonValue::Kind::String ? value->text
                                                                          : std::string();
    };
    const JsonValue* checks = root->Find("Checks");
    const std::optional<bool> pass = boolean(*root, "Pass");
    if (!pass || checks == nullptr || checks->kind != JsonValue::Kind::Array) {
        return std::nullopt;
    }
    Verdict verdict;
    verdict.pass = *pass;
    verdict.plan = text(*root, "Plan");
    verdict.preCompliance = text(*root, "PreCompliance");
    for (const JsonValue& item : checks->items) {
        const std::optional<bool> checkPass = boolean(item, "Pass");
        if (item.kind != JsonValue::Kind::Object || !checkPass) {
            return std::nullopt;
        }
        Check check;
        check.item = text(item, "Item");
        check.value = number(item, "Value").value_or(std::nan(""));
        check.min = number(item, "Min");
        check.max = number(item, "Max");
        check.pass = *checkPass;
        check.note = text(item, "Note");
        verdict.checks.push_back(std::move(check));
    }
    return verdict;
}

}  // namespace zx840
