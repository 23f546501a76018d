#!/usr/bin/env bash
# Makes the files in examples/ with the project's own tools: the simulated
# meter answers one request, saved as it came (REPLY.bin, for
# `zx840-cli decode`), and one acquisition saved as a test file
# (sample.ZX8). Run from anywhere: scripts/make-examples.sh [BUILD]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
out=examples
simout=$(mktemp)
"$build/tools/zx840-meter-sim" --load rectifier --harmonic 3:3 --harmonic 5:1.5 >"$simout" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$simout"' EXIT
for _ in $(seq 100); do [ -s "$simout" ] && break; sleep 0.1; done
device=$(head -n 1 "$simout")
mkdir -p "$out"

# One request at 9600 baud (0x11 0x30), the 1053-byte reply as it came.
stty -F "$device" raw -echo 9600
exec 3<>"$device"
printf '\021\060' >&3
head -c 1053 <&3 >"$out/REPLY.bin"
exec 3>&-

"$build/tools/zx840-cli" acquire --port "$device" --quiet \
  --manufacturer ACME --type PSU-12V --number 1001 --operator "A. Smith" \
  --temperature 23 --humidity 40 --save "$out/sample.ZX8"
echo "wrote $out/REPLY.bin and $out/sample.ZX8"
