// The simulated meter of the window tests.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <memory>
#include <string>

#include "gui_helpers.h"
#include "meter/sim/meter_simulator.h"
#include "view/zx840_view.h"

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

// Comm Pass on the panel: 1 once the panel shows the measurement, 0 once it
// has said why the exchange failed.
inline int CommPass(CZX840ENView* view) {
    int measured = 0;
    int failed = 0;
    QObject context;
    QObject::connect(&view->Session(), &MeterSession::measured, &context, [&] { ++measured; });
    QObject::connect(&view->Session(), &MeterSession::failed, &context, [&] { ++failed; });
    view->OnCommPass();
    EXPECT_TRUE(WaitUntil([&] { return measured + failed > 0; }, 60000));
    return measured > 0 ? 1 : 0;
}

// Waits until the exchanges asked for are over and the message boxes they
// brought are answered.
inline bool ExchangesOver(const CZX840ENView* view) {
    return WaitUntil(
        [view] {
            return !view->ExchangeInProgress() && QApplication::activeModalWidget() == nullptr;
        },
        60000);
}

}  // namespace zx840::testing
