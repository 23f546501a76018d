// Test plans: the limits one product type must meet, read from a plan file
// (JSON, "*.zx8plan"). A plan is read whole or refused with a message that
// names the file, the key and the problem; nothing is ever half-applied.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/power_quality.h"
#include "record/measurement_record.h"

namespace zx840 {

inline constexpr char kPlanExtension[] = "zx8plan";
inline constexpr std::size_t kMaxPlanBytes = std::size_t{1} << 20;

// A range a value must lie in; either end may be open. Both ends count as
// inside.
struct Limit {
    std::optional<double> min;
    std::optional<double> max;
    friend bool operator==(const Limit&, const Limit&) = default;
};

// The readings a plan can limit, in the order their checks are listed.
enum class PlanReading {
    Urms,
    Irms,
    Upeak,
    Ipeak,
    Ucf,
    Icf,
    Power,
    PF,
    Freq,
    StartAngle,
    PeakAngle,
    EndAngle,
    Uthd,  // percent of the fundamental, as the panel shows it
    Ithd,
};
inline constexpr std::size_t kPlanReadings = 14;
// The key of a reading in the plan file and its name in the checks.
const char* PlanReadingName(PlanReading reading);

// The harmonic current emission classes of the pre-compliance check.
enum class IecClass { A, B, C, C25, D };
const char* IecClassName(IecClass iecClass);

// The highest order a per-order harmonic limit may name.
inline constexpr int kPlanHighestOrder = kHarmonicOrders;

struct TestPlan {
    std::string name;  // the plan file's name without its extension
    std::string type;  // the product type it is for; empty for none
    std::array<std::optional<Limit>, kPlanReadings> readings;
    // Maximum percent of the fundamental, indexed by order (2 to 50).
    std::array<std::optional<double>, kPlanHighestOrder + 1> uHarmonicMaxPercent;
    std::array<std::optional<double>, kPlanHighestOrder + 1> iHarmonicMaxPercent;
    std::optional<IecClass> iec;
    // Limits of the derived quantities (keys DisplacementPF, ..., as
    // DerivedQuantityName gives them), in DerivedQuantity order.
    std::array<std::optional<Limit>, kDerivedQuantities> derived;
    // "MeterCheck": true: the meter's PF, Icf and Ucf must agree with its
    // samples (CheckMeter).
    bool meterCheck = false;

    const std::optional<Limit>& Reading(PlanReading r) const {
        return readings[static_cast<std::size_t>(r)];
    }
    friend bool operator==(const TestPlan&, const TestPlan&) = default;
};

struct PlanRead {
    std::optional<TestPlan> plan;
    std::string error;  // why it was refused, naming the file
};

// A plan from the text of a plan file; `fileName` names it in messages and
// gives the plan its name.
PlanRead ParsePlan(std::string_view text, const std::string& fileName);

// A plan file from disk (at most kMaxPlanBytes).
PlanRead ReadPlanFile(const std::string& path);

// The plan file as the program writes it: every limit the plan holds, in
// the order of the keys above. Reads back as the same plan.
std::string PlanToJson(const TestPlan& plan);

// The plan files of a folder: regular files (or links to them) named
// "*.zx8plan", in the order of their names.
std::vector<std::string> ListPlanFiles(const std::string& folder);

// The plans of a folder ("*.zx8plan", in the order of their file names);
// files that cannot be read are listed in `errors` and left out.
std::vector<TestPlan> ReadPlanFolder(const std::string& folder, std::vector<std::string>* errors);

// The first plan of `plans` whose Type equals `type`, or nullptr; an empty
// type has no plan.
const TestPlan* PlanForType(const std::vector<TestPlan>& plans, const std::string& type);

// Where plans are kept unless the operator chose a folder:
// $XDG_DATA_HOME/Orvalisto/plans (~/.local/share/Orvalisto/plans).
std::string DefaultPlanFolder();

}  // namespace zx840
