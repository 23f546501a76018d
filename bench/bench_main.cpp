#include "bench_runner.h"

int main(int argc, char** argv) {
    return zx840::RunBenchmarks(&argc, argv);
}
