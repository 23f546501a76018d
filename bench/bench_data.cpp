#include "bench_data.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QUuid>
#include <cstdlib>
#include <cstring>
#include <fstream>

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
// results of each number), one result a minute, every tenth judged. An
// SQLite file in the data folder, or the store ZX840_BENCH_DB names (a
// PostgreSQL URL of a throwaway server).
std::string BigStore(benchmark::State& state) {
    const char* db = std::getenv("ZX840_BENCH_DB");
    const std::string url =
        db != nullptr ? db : "sqlite:" + (DataFolder() / "million.sqlite").string();
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

namespace {

long StatusKilobytes(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(key, 0) == 0) {
            return std::stol(line.substr(std::strlen(key)));
        }
    }
    return -1;
}

}  // namespace

PeakMemory MeasurePeak(const std::function<void()>& work) {
    PeakMemory peak;
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return peak;
    }
    const pid_t child = fork();
    if (child == 0) {
        close(pipeEnds[0]);
        // Resets VmHWM and ru_maxrss to what is resident now.
        std::ofstream("/proc/self/clear_refs") << "5";
        PeakMemory measured;
        measured.beforeKb = StatusKilobytes("VmRSS:");
        work();
        measured.peakKb = StatusKilobytes("VmHWM:");
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        measured.maxRssKb = usage.ru_maxrss;
        const ssize_t written = write(pipeEnds[1], &measured, sizeof measured);
        _exit(written == static_cast<ssize_t>(sizeof measured) ? 0 : 1);
    }
    close(pipeEnds[1]);
    if (child > 0) {
        if (read(pipeEnds[0], &peak, sizeof peak) != static_cast<ssize_t>(sizeof peak)) {
            peak = PeakMemory{};
        }
        waitpid(child, nullptr, 0);
    }
    close(pipeEnds[0]);
    return peak;
}

}  // namespace zx840::bench
