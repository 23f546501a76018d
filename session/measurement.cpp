#include "session/measurement.h"

namespace zx840 {

Measurement Measure(const std::string& device, std::int32_t baudRate, const HarmonicTable& table,
                    const TestPlan* plan, WorkingRecord& working, const ReadTimeouts& timeouts) {
    AcquireResult acquired = Acquire(device, baudRate, table, working, timeouts);
    Measurement measurement{acquired.ok, std::move(acquired.exchange), std::nullopt};
    if (measurement.ok == 1 && plan != nullptr) {
        measurement.verdict = Judge(*plan, working);
    }
    return measurement;
}

}  // namespace zx840
