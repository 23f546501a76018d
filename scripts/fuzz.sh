#!/usr/bin/env bash
# Fuzzes every reader of data from outside — the test file and the settings
# file, the open-request messages, the test plan files, the CSV text cells,
# store URLs, the times of the history filters and the remote-control
# language — for a bounded time (FUZZ_SECONDS in all, default 60, shared among
# the targets) in build-fuzz/ (FUZZ_BUILD). Exits non-zero on any finding and
# leaves the input that caused it in build-fuzz/artifacts/. The seed corpora
# are copied to a temporary directory and never modified. FUZZ_TARGETS picks
# targets by name (files open_request plan csv store_url iso_time scpi web_query).
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
targets=(${FUZZ_TARGETS:-files open_request plan csv store_url iso_time scpi web_query})
declare -A corpus=([files]=corpus [open_request]=corpus_open_request [plan]=corpus_plan
                   [csv]=corpus_csv [store_url]=corpus_store_url [iso_time]=corpus_iso_time
                   [scpi]=corpus_scpi [web_query]=corpus_web_query)
for target in "${targets[@]}"; do
    cmake --build "$build" --target "zx840_fuzz_$target"
done
share=$(( seconds / ${#targets[@]} ))
[ "$share" -ge 1 ] || share=1

work=$(mktemp -d "${TMPDIR:-/tmp}/zx840-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
artifacts=$root/$build/artifacts
mkdir -p "$artifacts"

status=0
for target in "${targets[@]}"; do
    mkdir -p "$work/$target"
    cp "tests/fuzz/${corpus[$target]}"/* "$work/$target/"
    echo "fuzz.sh: $target for $share s"
    "$build/tests/fuzz/zx840_fuzz_$target" "$work/$target" \
        -max_total_time="$share" -malloc_limit_mb=64 -rss_limit_mb=1024 -timeout=10 \
        -artifact_prefix="$artifacts/$target-" -print_final_stats=1 || status=$?
    [ "$status" -eq 0 ] || break
done

if [ "$status" -ne 0 ]; then
    echo "fuzz.sh: finding (exit status $status); inputs kept in $artifacts:" >&2
    ls -l "$artifacts" >&2
fi
exit "$status"
