#!/usr/bin/env bash
# Starts the simulated meter on a pseudo-terminal, maps COM1 onto it and
# acquires one measurement with the command-line tool.
set -euo pipefail
build=${1:-build}
out=$(mktemp)
"$build/tools/zx840-meter-sim" --load rectifier >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do
  [ -s "$out" ] && break
  sleep 0.1
done
device=$(head -n 1 "$out")
echo "Simulated meter on $device (COM1)"
ZX840_COM1="$device" "$build/tools/zx840-cli" acquire --port COM1 --baud 9600 --text
