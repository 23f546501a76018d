// Runs the registered benchmarks like Google Benchmark's own main, but ends
// with a non-zero status when any of them reported an error: SkipWithError
// alone prints the error and still exits 0, so a broken benchmark would pass
// unnoticed in `make bench`.
#pragma once

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

namespace zx840 {

class ErrorCountingReporter : public benchmark::ConsoleReporter {
  public:
    // Colour on a terminal only, as the library's own main has it.
    ErrorCountingReporter() : ConsoleReporter(isatty(STDOUT_FILENO) != 0 ? OO_Color : OO_None) {}

    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs) {
            if (run.error_occurred) {
                ++errors_;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    int Errors() const { return errors_; }

  private:
    int errors_ = 0;
};

inline int RunBenchmarks(int* argc, char** argv) {
    benchmark::Initialize(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(*argc, argv)) {
        return 1;
    }
    ErrorCountingReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (reporter.Errors() > 0) {
        std::fprintf(stderr, "%d benchmark run(s) failed\n", reporter.Errors());
        return 1;
    }
    return 0;
}

}  // namespace zx840
