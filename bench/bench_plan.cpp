// Cost of judging one measurement against a full test plan: every reading
// limited, every order of both spectra, and the Class D emission checks.
#include <benchmark/benchmark.h>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"
#include "meter/sim/sim_load.h"
#include "plan/plan_file.h"
#include "plan/verdict.h"

namespace zx840 {
namespace {

void BM_JudgeFullPlanClassD(benchmark::State& state) {
    LoadSettings load;
    load.kind = LoadKind::Rectifier;
    load.loadAmps = 1.0;  // about 230 W: inside Class D's range, so every order is checked
    WorkingRecord working;
    working.Record = SimulateMeasurement(load);
    ComputeHarmonics(HarmonicTable{}, working.Record);
    working.Angles = ComputeConductionAngles(working.Record);
    working.DataValid = 1;

    TestPlan plan;
    plan.name = "full";
    for (auto& limit : plan.readings) {
        limit = Limit{-1e9, 1e9};
    }
    for (int n = 2; n <= kPlanHighestOrder; ++n) {
        plan.uHarmonicMaxPercent[static_cast<std::size_t>(n)] = 10.0;
        plan.iHarmonicMaxPercent[static_cast<std::size_t>(n)] = 90.0;
    }
    plan.iec = IecClass::D;
    std::size_t checks = 0;
    for (auto _ : state) {
        const std::optional<Verdict> verdict = Judge(plan, working);
        checks = verdict->checks.size();
        benchmark::DoNotOptimize(verdict);
    }
    state.counters["checks"] = static_cast<double>(checks);
}
BENCHMARK(BM_JudgeFullPlanClassD)->Unit(benchmark::kMicrosecond);

}  // namespace
}  // namespace zx840
