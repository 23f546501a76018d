// One measurement: the exchange with the meter, the reply taken into the
// working record, and the verdict of the plan that judges it. The window's
// session and zx840-cli acquire both measure through this, so the two
// cannot come to differ.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "analysis/harmonics.h"
#include "meter/acquisition.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"
#include "record/measurement_record.h"

namespace zx840 {

struct Measurement {
    int ok = 0;  // 1 when the reply was accepted and applied
    ExchangeResult exchange;
    // The verdict of the plan given, for an accepted reply; nothing without
    // a plan.
    std::optional<Verdict> verdict;
};

// Exchanges with the meter at `device`, takes an accepted reply into
// `working` and judges it against `plan` (none: not judged). After a failure
// `working` is exactly as it was. Touches nothing but the device and its
// arguments: safe off the user interface thread.
Measurement Measure(const std::string& device, std::int32_t baudRate, const HarmonicTable& table,
                    const TestPlan* plan, WorkingRecord& working,
                    const ReadTimeouts& timeouts = kMeterReadTimeouts);

}  // namespace zx840
