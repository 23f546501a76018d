#!/usr/bin/env bash
# Fuzzes the readers of the test file and the settings file for a bounded
# time (FUZZ_SECONDS, default 60) in build-fuzz/ (FUZZ_BUILD). Exits non-zero
# on any finding and leaves the input that caused it in build-fuzz/artifacts/.
# The seed corpus is copied to a temporary directory and never modified.
set -euo pipefail

cd "$(dirname "$0")/.."
root=$PWD
build=${FUZZ_BUILD:-build-fuzz}
seconds=${FUZZ_SECONDS:-60}

if [ ! -f "$build/build.ninja" ]; then
    cmake -S . -B "$build" -G Ninja \
        -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_COMPILER=clang++ \
        -DCMAKE_CXX_FLAGS="-O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all" \
        -DZX840_FUZZ=ON -DZX840_BUILD_GUI=OFF -DZX840_BUILD_TESTS=OFF -DZX840_BUILD_BENCH=OFF
fi
cmake --build "$build" --target zx840_fuzz_files

work=$(mktemp -d "${TMPDIR:-/tmp}/zx840-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
cp tests/fuzz/corpus/* "$work/"
artifacts=$root/$build/artifacts
mkdir -p "$artifacts"

status=0
"$build/tests/fuzz/zx840_fuzz_files" "$work" \
    -max_total_time="$seconds" -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
    -artifact_prefix="$artifacts/" -print_final_stats=1 || status=$?

if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: finding (exit status $status); inputs kept in $artifacts:" >&2
    ls -l "$artifacts" >&2
fi
exit "$status"
