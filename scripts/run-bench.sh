#!/usr/bin/env bash
# Runs each benchmark program given and fails when any benchmark reported an
# error (a benchmark that skips with an error still lets its program exit 0).
set -euo pipefail
out=$(mktemp "${TMPDIR:-/tmp}/zx840-bench.XXXXXX")
trap 'rm -f "$out"' EXIT
status=0
for program in "$@"; do
  "$program" --benchmark_out="$out" --benchmark_out_format=json || status=$?
  if grep -q '"error_occurred": true' "$out"; then
    echo "$program: a benchmark reported an error:" >&2
    grep -B2 -A3 '"error_occurred": true' "$out" | grep -E '"(name|error_message)"' >&2 || true
    status=1
  fi
done
exit "$status"
