// The continuous test's cycle against the simulated meter sending at 9600
// baud: one acquisition after the other through the real panel, compared
// with the wire time of request and reply, the physical limit.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <QApplication>
#include <QElapsedTimer>
#include <chrono>

#include "bench_runner.h"
#include "meter/sim/meter_simulator.h"
#include "view/zx840_view.h"

namespace zx840 {
namespace {

constexpr double kWireSeconds = (kRequestSize + kReplySize) * 10.0 / 9600.0;

void BM_ContinuousTestCycle(benchmark::State& state) {
    SimulatorOptions options;
    options.paced = true;
    options.load.kind = LoadKind::Rectifier;
    std::string error;
    auto sim = MeterSimulator::CreatePty(options, &error);
    if (!sim) {
        state.SkipWithError(error.c_str());
        return;
    }
    sim->Start();
    TestDocument document;
    MeterSession session;
    CZX840ENView view(document, session);
    view.resize(1000, 600);
    view.show();
    view.Ports().SetMapped(1, sim->DevicePath());
    view.OnInitialUpdate();

    int finished = 0;
    QObject::connect(&view, &CZX840ENView::exchangeFinished, [&finished] { ++finished; });
    view.StartContinuousTest();
    // The first cycle starts mid-way: wait for it to end before timing.
    while (finished < 1) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const int target = finished + 1;
        while (finished < target) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
    }
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    view.StopContinuousTest();
    while (view.TimerRunning() || view.ExchangeInProgress()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    const double cycle = elapsed.count() / static_cast<double>(state.iterations());
    state.counters["cycle_ms"] = cycle * 1000.0;
    state.counters["wire_ms"] = kWireSeconds * 1000.0;
    state.counters["cycle_over_wire"] = cycle / kWireSeconds;
}
BENCHMARK(BM_ContinuousTestCycle)->Iterations(8)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zx840

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication application(argc, argv);
    return zx840::RunBenchmarks(&argc, argv);
}
