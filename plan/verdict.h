// Judging a measurement against a test plan: one check per limit, and the
// verdict PASS when every check passes.
#pragma once

#include <array>
#include <initializer_list>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plan/plan_file.h"
#include "record/measurement_record.h"
#include "record/reading_range.h"

namespace zx840 {

class JsonWriter;

struct Check {
    std::string item;  // "Power", "I3", "U5", "IEC I3", "IEC StartAngle", ...
    double value = 0.0;
    std::optional<double> min;
    std::optional<double> max;
    bool pass = false;
    std::string note;  // why a check was passed without a limit, or could not be made

    friend bool operator==(const Check&, const Check&) = default;
};

struct Verdict {
    bool pass = true;
    std::string plan;  // the plan's name
    std::vector<Check> checks;
    // The pre-compliance label when the plan has an emission class, e.g.
    // "IEC 61000-3-2 Class A pre-compliance indication (one period)".
    std::string preCompliance;
    // Judged again, on request, against today's plan: not the verdict a
    // kept result was given, and said so wherever it shows.
    bool rejudged = false;

    int FailedCount() const;
    // What passed without a limit and why, e.g. "Class D: no limit at or
    // below 75 W": a PASS that judged less than the plan names.
    std::vector<std::string> LimitNotes() const;
    // "Verdict: PASS" or "Verdict: FAIL (2 checks failed)"; "Verdict (judged
    // again): ..." when rejudged; a PASS with its limit notes in brackets.
    std::string Line() const;
    // The line for a page, at most `room` characters: a FAIL names its
    // failing checks ("Verdict: FAIL: IEC I3, PF"), cut with "..." where
    // they do not fit.
    std::string ShortLine(std::size_t room) const;
    // The checks with the failing ones first, each group in plan order.
    std::vector<Check> FailingFirst() const;
    // Whether the check of `item` failed.
    bool Failed(const std::string& item) const;

    friend bool operator==(const Verdict&, const Verdict&) = default;
};

// The harmonic orders whose checks failed, for marking them on the panel:
// per channel, indexed by order (1 to 50). A current order counts when its
// percent check ("I3") or its emission check ("IEC I3") failed.
struct FailingOrders {
    std::array<bool, kHarmonicOrders + 1> voltage{};
    std::array<bool, kHarmonicOrders + 1> current{};
    friend bool operator==(const FailingOrders&, const FailingOrders&) = default;
};
FailingOrders FailingOrdersOf(const Verdict& verdict);

// Passes when `value` is a finite number inside the limit; a value that is
// not finite fails whatever the limit.
bool WithinLimit(double value, const std::optional<double>& min, const std::optional<double>& max);

// Fails `check` when a value of the record it was made from lies outside
// its physical range, with the reason as its note.
void FailOnOutOfRange(Check& check, const MeasurementRecord& record,
                      std::initializer_list<QuantityRef> inputs);

// The note of a check that cannot be made on a measurement without
// current (all samples zero, or no fundamental). Such a check fails, unless
// the plan tests standby: it sets an Irms maximum of at most
// kStandbyCurrentMax (the tens of milliamperes a unit draws asleep, far
// below what any working unit draws) and the measurement meets it.
inline constexpr double kStandbyCurrentMax = 0.05;  // amperes
inline constexpr char kNoCurrentNote[] = "not evaluated: the measurement has no current";
inline constexpr char kStandbyNote[] =
    "not evaluated: no current, within the plan's standby current limit";
// The note of a voltage check without a voltage fundamental.
inline constexpr char kNoVoltageNote[] = "not evaluated: the voltage has no fundamental";

// The value a plan limits for `reading`: the percentages of the
// fundamental as the panel shows them, but NaN where there is no
// fundamental, since a check must not pass on a percentage that does not
// exist.
double PlanReadingValue(PlanReading reading, const WorkingRecord& working);

// The verdict of `working` against `plan`; nothing for a record without a
// measurement (DataValid 0).
std::optional<Verdict> Judge(const TestPlan& plan, const WorkingRecord& working);

// {"Pass":true,"Plan":"...","Checks":[{"Item":"Power","Value":v,"Min":x,"Max":y,
//  "Pass":true}, ...]}; a missing bound and a value that is not finite are
// null, a note is added as "Note" where there is one.
std::string VerdictJson(const Verdict& verdict);
// The same as one value of what `json` is writing.
void WriteVerdict(JsonWriter& json, const Verdict& verdict);

// A verdict from the JSON VerdictJson wrote (as a kept result holds it);
// nothing when the text is no such verdict.
std::optional<Verdict> ParseVerdictJson(std::string_view json);

}  // namespace zx840
