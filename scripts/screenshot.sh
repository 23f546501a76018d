#!/usr/bin/env bash
# Takes a picture of the real main window under a virtual X server after one
# acquisition from the simulated meter: docs/panel.png.
# Needs the packages xvfb, xdotool and imagemagick (installed when missing).
set -euo pipefail
build=${1:-build}
out=${2:-docs/panel.png}
need=()
for p in xvfb xauth xdotool imagemagick; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

simout=$(mktemp)
"$build/tools/zx840-meter-sim" --load rectifier --harmonic 3:3 --harmonic 5:1.5 >"$simout" &
sim=$!
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1100x760x24 >/dev/null 2>&1 &
xvfb=$!
app=""
trap 'kill $app $sim $xvfb 2>/dev/null; rm -f "$simout"' EXIT
sleep 1
export DISPLAY=$display ZX840_COM1=$(head -n 1 "$simout")
"$build/app/zx840" &
app=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name "Untitled - ZX840" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.2
done
xdotool windowsize --sync "$window" 1000 680
xdotool windowfocus --sync "$window"
xdotool key F3
sleep 1.5
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out"
