#include "bench_data.h"

#include <QUuid>
#include <cstdlib>

#include "analysis/conduction_angles.h"
#include "analysis/harmonics.h"
#include "meter/sim/sim_load.h"

namespace zx840::bench {

std::filesystem::path DataFolder() {
    const char* given = std::getenv("ZX840_BENCH_DATA");
    const std::filesystem::path folder = given != nullptr ? given : ZX840_BENCH_DATA;
    std::filesystem::create_directories(folder);
    return folder;
}

Result SampleResult(std::mt19937& random) {
    LoadSettings load;
    load.kind = LoadKind::Rectifier;
    Result result;
    result.working.Record = SimulateMeasurement(load);
    ComputeHarmonics(HarmonicTable{}, result.working.Record);
    result.working.Angles = ComputeConductionAngles(result.working.Record);
    result.working.DataValid = 1;
    std::normal_distribution<float> spread(0.0f, 1.0f);
    result.working.Record.Urms += spread(random);
    result.working.Record.Power += 5.0f * spread(random);
    result.station = "bench";
    result.programVersion = "1.05";
    return result;
}

std::unique_ptr<ResultsStore> Open(const std::string& text, benchmark::State& state) {
    StoreStatus status;
    auto store = ResultsStore::Open(*ParseStoreUrl(text).url, &status);
    if (!store) {
        state.SkipWithError(status.message.c_str());
    }
    return store;
}

// The store of a million results: ten types, numbers 1 to 100,000 (ten
// results of each number), one result a minute, every tenth judged.
std::string BigStore(benchmark::State& state) {
    const std::string url = "sqlite:" + (DataFolder() / "million.sqlite").string();
    auto store = Open(url, state);
    if (!store) {
        return {};
    }
    std::int64_t have = 0;
    if (!store->Count({}, &have) || have == kBigStore) {
        return url;
    }
    std::mt19937 random(840);
    const Result sample = SampleResult(random);
    std::normal_distribution<float> spread(0.0f, 1.0f);
    std::vector<Result> batch;
    for (std::int64_t i = have; i < kBigStore; ++i) {
        Result r = sample;
        r.id = QUuid::createUuid().toString(QUuid::WithoutBraces).toStdString();
        r.timeMs = 1765000000000 + i * 60000;
        r.mark.Type = std::string(1, 'T');
        r.mark.Type += std::to_string(i % kTypes);
        r.mark.Number = static_cast<std::int32_t>(1 + (i / kTypes) % kNumbers);
        r.working.Record.Urms = sample.working.Record.Urms + spread(random);
        r.working.Record.Power = sample.working.Record.Power + 5.0f * spread(random);
        if (i % 10 == 0) {
            r.verdict = ResultVerdict{i % 20 == 0, "bench", {}, "{\"Pass\":true}"};
        }
        batch.push_back(std::move(r));
        if (batch.size() == 10000 || i + 1 == kBigStore) {
            if (const StoreStatus status = store->WriteAll(batch); !status) {
                state.SkipWithError(status.message.c_str());
                return {};
            }
            batch.clear();
        }
    }
    return url;
}

}  // namespace zx840::bench
