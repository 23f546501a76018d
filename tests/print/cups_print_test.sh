#!/usr/bin/env bash
# End-to-end printing through a real CUPS server: a PDF queue made the
# default printer, `zx840 -p` on a saved test, and the one-page PDF that
# comes out read back with poppler. Starts cupsd when it is not running
# and stops it again afterwards.
set -euo pipefail
build=${1:-build}
root=$(cd "$(dirname "$0")/../.." && pwd)
queue=ZX840-PDF
work=$(mktemp -d "${TMPDIR:-/tmp}/zx840-print.XXXXXX")
started_cupsd=""
sim=""
sudo=""; [ "$(id -u)" -ne 0 ] && sudo="sudo"

cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  $sudo lpadmin -x "$queue" 2>/dev/null || true
  $sudo cupsctl PreserveJobFiles=No 2>/dev/null || true
  if [ -n "$started_cupsd" ]; then
    $sudo pkill -x cupsd 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

if ! pgrep -x cupsd >/dev/null; then
  $sudo /usr/sbin/cupsd
  started_cupsd=yes
fi
for _ in $(seq 50); do lpstat -r >/dev/null 2>&1 && break; sleep 0.2; done
lpstat -r

# A PDF printer as the default; its files land in the job owner's ~/PDF.
$sudo lpadmin -p "$queue" -v cups-pdf:/ -E -P /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd
# Keep the document of each job: the PDF printer's output goes through
# PostScript, which keeps the page but not its text, so the text is read
# from the document the program handed to CUPS.
$sudo cupsctl PreserveJobFiles=Yes
for _ in $(seq 50); do lpstat -r >/dev/null 2>&1 && break; sleep 0.2; done
spool=/var/spool/cups
$sudo lpadmin -d "$queue"
outdir="$(getent passwd "$(id -un)" | cut -d: -f6)/PDF"  # where cups-pdf puts the job owner's files
mkdir -p "$outdir"
before=$(ls "$outdir" 2>/dev/null | wc -l)
jobs_before=$($sudo sh -c "ls $spool/d*-001 2>/dev/null || true" | wc -l)

# A test acquired from the simulated meter, saved as a file.
simout="$work/sim.out"
"$build/tools/zx840-meter-sim" --load rectifier >"$simout" &
sim=$!
for _ in $(seq 50); do [ -s "$simout" ] && break; sleep 0.1; done
"$build/tools/zx840-cli" acquire --port "$(head -n 1 "$simout")" --save "$work/t.ZX8" >/dev/null

headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/app/zx840" "$@"; }
fail=0
# What cannot be printed says so and ends with a failure status.
status=0; err=$(headless -pt "$work/t.ZX8" "No Such Printer" drv port 2>&1) || status=$?
{ [ "$status" -ne 0 ] && grep -qF "Could not start print job." <<<"$err"; } ||
  { echo "an unknown printer was not reported (status $status): $err" >&2; fail=1; }
status=0; err=$(headless -p "$work/missing.ZX8" 2>&1) || status=$?
{ [ "$status" -ne 0 ] && grep -qF "Cannot open" <<<"$err"; } ||
  { echo "a missing file was not reported (status $status): $err" >&2; fail=1; }

# Print it without a display and without a dialog.
headless -p "$work/t.ZX8"

pdf=""
for _ in $(seq 150); do
  if [ "$(ls "$outdir" | wc -l)" -gt "$before" ]; then
    pdf=$(ls -t "$outdir"/*.pdf | head -n 1)
    # cups-pdf writes the file in one go; wait until it stops growing.
    size=$(stat -c %s "$pdf"); sleep 0.3
    [ "$size" = "$(stat -c %s "$pdf")" ] && [ "$size" -gt 0 ] && break
  fi
  sleep 0.2
done
[ -n "$pdf" ] || { echo "no PDF came out of the $queue queue" >&2; lpstat -W all -o >&2 || true; exit 1; }

pages=$(pdfinfo "$pdf" | awk '/^Pages:/ {print $2}')
rm -f "$pdf"
document=$($sudo sh -c "ls -t $spool/d*-001 2>/dev/null | head -n 1 || true")
[ "$($sudo sh -c "ls $spool/d*-001 2>/dev/null || true" | wc -l)" -gt "$jobs_before" ] ||
  { echo "the job's document was not kept" >&2; exit 1; }
text=$($sudo cat "$document" | pdftotext -layout - -)
# Text extraction turns runs of blanks into one or more: match them loosely.
check() {
  local pattern
  pattern=$(printf '%s' "$1" | sed 's/[][\.*^$()+?{}|]/\\&/g; s/  */ +/g')
  grep -qE -- "$pattern" <<<"$text" || { echo "missing from the printed page: $1" >&2; fail=1; }
}
[ "$pages" = 1 ] || { echo "expected one page, got $pages" >&2; fail=1; }
check "ZX840 DIGITAL POWER METER TEST REPORT"
check "Product Mark"
check "Temperature : 25'C"
check "Humidity : 65%"
check "Number : 1"
check "Power Parameter"
check "Urms  = 230.0 V"
check "Freq  = 50.00 Hz"
check "Start Angle:"
check "U_SPEC(%)"
[ "$fail" = 0 ] && echo "1 passed, 0 failed: printed through CUPS, one page, texts in place"
exit "$fail"
