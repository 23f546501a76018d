// The simulated meter of the window tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "meter/sim/meter_simulator.h"

namespace zx840::testing {

// A simulated meter on a pseudo-terminal, answering, that the port named by
// `variable` (ZX840_COMn) of the program under test stands for; nothing,
// after a test failure, when it cannot start.
inline std::unique_ptr<MeterSimulator> StartMeterFor(const char* variable,
                                                     const SimulatorOptions& options = {}) {
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    EXPECT_TRUE(sim) << error;
    if (sim) {
        sim->Start();
        setenv(variable, sim->DevicePath().c_str(), 1);
    }
    return sim;
}

}  // namespace zx840::testing
