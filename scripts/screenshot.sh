#!/usr/bin/env bash
# Takes a picture of the real main window under a virtual X server after one
# acquisition from the simulated meter: docs/panel.png, or with the theme
# "dark" docs/panel-dark.png under a dark desktop palette, or with "verdict"
# docs/panel-verdict.png judged by a test plan, the Verdict panel beside it,
# or with "trend" docs/panel-trend.png, the Trend panel under the measurement
# panel during a continuous test judged by a plan.
#   scripts/screenshot.sh [BUILD] [OUT] [light|dark|verdict|trend]
# Needs the packages xvfb, xdotool and imagemagick, and for the dark palette
# qt6ct, a Qt platform theme with colour schemes (installed when missing).
set -euo pipefail
build=${1:-build}
theme=${3:-light}
case "$theme" in
  light) out=${2:-docs/panel.png} ;;
  dark) out=${2:-docs/panel-dark.png} ;;
  verdict) out=${2:-docs/panel-verdict.png} ;;
  trend) out=${2:-docs/panel-trend.png} ;;
  *) echo "theme must be light, dark, verdict or trend, not $theme" >&2; exit 2 ;;
esac
packages=(xvfb xauth xdotool imagemagick)
[ "$theme" = dark ] && packages+=(qt6ct)
need=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || need+=("$p")
done
if [ ${#need[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo apt-get install -y -qq --no-install-recommends "${need[@]}"
fi

# The program's per-user files (desktop registration, port map) and the
# theme's settings go to a folder of this run, not to the user's own.
home=$(mktemp -d)
simout=$(mktemp)
"$build/tools/zx840-meter-sim" --load rectifier --harmonic 3:3 --harmonic 5:1.5 >"$simout" &
sim=$!
display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1400x1100x24 >/dev/null 2>&1 &
xvfb=$!
app=""
trap 'kill $app $sim $xvfb 2>/dev/null; rm -rf "$simout" "$home"' EXIT
sleep 1
export DISPLAY=$display ZX840_COM1=$(head -n 1 "$simout")
export XDG_CONFIG_HOME=$home/config XDG_DATA_HOME=$home/data
if [ "$theme" = dark ]; then
  mkdir -p "$XDG_CONFIG_HOME/qt6ct"
  cat >"$XDG_CONFIG_HOME/qt6ct/qt6ct.conf" <<EOF
[Appearance]
color_scheme_path=/usr/share/qt6ct/colors/darker.conf
custom_palette=true
style=Fusion
EOF
  export QT_QPA_PLATFORMTHEME=qt6ct
fi
width=1000
height=680
# The program set to judge by the plan for PSU-12V whose JSON is $1.
use_plan() {
  mkdir -p "$home/plans" "$XDG_CONFIG_HOME/Orvalisto"
  printf '%s\n' "$1" >"$home/plans/PSU-12V.zx8plan"
  cat >"$XDG_CONFIG_HOME/Orvalisto/ZX840 DIGITAL POWER METER.conf" <<CONF
[Plans]
Mode=file
File=$home/plans/PSU-12V.zx8plan
CONF
}
if [ "$theme" = trend ]; then
  # Limits a little wider than the rectifier's readings: dashed lines about
  # the run's traces.
  use_plan '{"Type": "PSU-12V", "Power": {"min": 300, "max": 480}, "Irms": {"max": 3},
 "PF": {"min": 0.6}}'
  width=1320
  height=1060
fi
if [ "$theme" = verdict ]; then
  # A plan for a small power supply: the rectifier's third harmonic fails it.
  use_plan '{"Type": "PSU-12V", "Urms": {"min": 207, "max": 253}, "PF": {"min": 0.6},
 "IHarmonicPercent": {"3": 60, "5": 40}, "Iec61000_3_2": "A"}'
  width=1320
fi
"$build/app/zx840" &
app=$!
window=""
for _ in $(seq 50); do
  window=$(xdotool search --name "Untitled - ZX840" 2>/dev/null | head -n 1) && [ -n "$window" ] && break
  sleep 0.2
done
xdotool windowsize --sync "$window" "$width" "$height"
xdotool windowfocus --sync "$window"
if [ "$theme" = trend ]; then
  xdotool key alt+v t    # View, Trend
  sleep 0.5
  # The toolbar's Continuate Test button, the sixth slot after two separators.
  xdotool mousemove --window "$window" "${TREND_BUTTON_X:-113}" "${TREND_BUTTON_Y:-34}" click 1
  sleep "${TREND_SECONDS:-12}"
else
  xdotool key F3
fi
sleep 1.5
mkdir -p "$(dirname "$out")"
import -window "$window" "$out"
echo "wrote $out"
