// One whole acquisition against the simulated meter on a pseudo-terminal,
// unpaced: what remains is the program's own cost per exchange (open, line
// set-up, request, read, close, decode, analysis) plus the simulator's.
#include <benchmark/benchmark.h>

#include <string>

#include "meter/acquisition.h"
#include "meter/sim/meter_simulator.h"

namespace zx840 {
namespace {

void BM_AcquisitionCycle(benchmark::State& state) {
    SimulatorOptions options;
    options.load.kind = LoadKind::Rectifier;
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    if (!sim) {
        state.SkipWithError(error.c_str());
        return;
    }
    sim->Start();
    const HarmonicTable table;
    WorkingRecord working;
    for (auto _ : state) {
        const AcquireResult result = Acquire(sim->DevicePath(), 9600, table, working);
        if (!result.ok) {
            const std::string why = "exchange failed: " + std::to_string(result.exchange.received) +
                                    " bytes received, " +
                                    PortErrorText(result.exchange.port.error) + ", read errno " +
                                    std::to_string(result.exchange.readErrno);
            state.SkipWithError(why.c_str());
            break;
        }
        benchmark::DoNotOptimize(working);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_AcquisitionCycle)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_ApplyReply(benchmark::State& state) {
    LoadSettings load;
    load.kind = LoadKind::Rectifier;
    const Reply reply = *EncodeReply(SimulateMeasurement(load));
    const HarmonicTable table;
    WorkingRecord working;
    for (auto _ : state) {
        ApplyReply(reply, table, working);
        benchmark::DoNotOptimize(working);
    }
}
BENCHMARK(BM_ApplyReply)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
