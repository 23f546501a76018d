// The remote control over the loopback against the unpaced simulated meter:
// what one MEAS:ALL? costs beyond the exchange it makes (target: under
// 1 ms), and round trips of *IDN?, which touch no meter.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QTcpSocket>
#include <memory>

#include "meter/sim/meter_simulator.h"
#include "remote/scpi_server.h"
#include "remote/session_station.h"

namespace zx840 {
namespace {

// A session on the simulator, a server over it and one connected client.
struct Bench {
    std::unique_ptr<MeterSimulator> sim;
    MeterSession session;
    std::unique_ptr<SessionStation> station;
    std::unique_ptr<ScpiServer> server;
    QTcpSocket client;

    bool Start(benchmark::State& state) {
        SimulatorOptions options;
        options.load.kind = LoadKind::Rectifier;
        std::string error;
        sim = MeterSimulator::CreatePty(options, &error);
        if (!sim) {
            state.SkipWithError(error.c_str());
            return false;
        }
        sim->Start();
        session.Ports().SetMapped(1, sim->DevicePath());
        station = std::make_unique<SessionStation>(session, StationHooks{});
        server = std::make_unique<ScpiServer>(*station);
        ScpiServerOptions listen;
        listen.port = 0;
        if (!server->Listen(listen, &error)) {
            state.SkipWithError(error.c_str());
            return false;
        }
        client.connectToHost(QHostAddress::LocalHost, server->Port());
        return client.waitForConnected(30000);
    }
    void Ask(const char* message) {
        client.write(message);
        while (!client.canReadLine()) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        benchmark::DoNotOptimize(client.readLine());
    }
    void Exchange() {
        bool done = false;
        const auto connection = QObject::connect(
            &session, &MeterSession::measured, [&done](const SessionMeasurement&) { done = true; });
        session.Request(MeasureOrigin::Operator);
        while (!done) {
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        }
        QObject::disconnect(connection);
    }
};

// Arg 0: the exchange alone, through the session; 1: MEAS:ALL? over the
// network, which makes the same exchange.
void BM_RemoteMeasureAll(benchmark::State& state) {
    Bench bench;
    if (!bench.Start(state)) {
        return;
    }
    for (auto _ : state) {
        if (state.range(0) == 0) {
            bench.Exchange();
        } else {
            bench.Ask("MEAS:ALL?\n");
        }
    }
}
BENCHMARK(BM_RemoteMeasureAll)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RemoteIdentity1000(benchmark::State& state) {
    Bench bench;
    if (!bench.Start(state)) {
        return;
    }
    for (auto _ : state) {
        for (int i = 0; i < 1000; ++i) {
            bench.Ask("*IDN?\n");
        }
    }
    state.counters["round_trip_us"] =
        benchmark::Counter(1000.0 * static_cast<double>(state.iterations()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_RemoteIdentity1000)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace zx840
