#!/usr/bin/env bash
# Starts the simulated meter on a pseudo-terminal, maps COM1 onto it and
# starts the program, so that F3 acquires at once. Without a display it
# acquires once with the command-line tool instead.
set -euo pipefail
build=${1:-build}
out=$(mktemp)
"$build/tools/zx840-meter-sim" --load rectifier --harmonic 3:3 --harmonic 5:1.5 >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$out"' EXIT
for _ in $(seq 50); do
  [ -s "$out" ] && break
  sleep 0.1
done
device=$(head -n 1 "$out")
export ZX840_COM1="$device"
echo "Simulated meter on $device (COM1)."

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display to show the window on (README.md, \"Running without a display\", shows"
  echo "how to run it on a virtual X server). One acquisition without the window:"
  "$build/tools/zx840-cli" acquire --port COM1 --baud 9600 --text
  exit 0
fi
echo "Press F3 (Comm Pass) to acquire."
"$build/app/zx840"
