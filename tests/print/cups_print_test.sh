#!/usr/bin/env bash
# End-to-end printing through a private CUPS server of its own (see
# private_cups.sh): `zx840 -p` on a saved test prints one page whose texts
# are read back with poppler, and each way a job cannot start says why. The
# system's CUPS server, printers and settings are never touched.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
queue=ZX840-CAPTURE
work=$(mktemp -d "${TMPDIR:-/tmp}/zx840-print.XXXXXX")
sim=""
# shellcheck source=private_cups.sh
. "$here/private_cups.sh"

cleanup() {
  [ -n "$sim" ] && kill "$sim" 2>/dev/null || true
  private_cups_stop
  rm -rf "$work"
}
trap cleanup EXIT

# A home of its own: no lpoptions or settings of the user's come in.
mkdir -p "$work/home"
export HOME=$work/home XDG_CONFIG_HOME=$work/home/.config XDG_DATA_HOME=$work/home/.local/share

# A test acquired from the simulated meter, saved as a file.
simout="$work/sim.out"
"$build/tools/zx840-meter-sim" --load rectifier >"$simout" &
sim=$!
for _ in $(seq 50); do [ -s "$simout" ] && break; sleep 0.1; done
"$build/tools/zx840-cli" acquire --port "$(head -n 1 "$simout")" --save "$work/t.ZX8" >/dev/null

headless() { env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$build/app/zx840" "$@"; }
fail=0
# expect_failure WHAT REASON ARGS...: the program ends with a failure status
# and its message gives the reason after "Could not start print job.".
expect_failure() {
  local what=$1 reason=$2 status=0 err
  shift 2
  err=$(headless "$@" 2>&1) || status=$?
  { [ "$status" -ne 0 ] && grep -qF "Could not start print job." <<<"$err" &&
    grep -qF -- "$reason" <<<"$err"; } ||
    { echo "$what was not reported with \"$reason\" (status $status): $err" >&2; fail=1; }
}

# No server at all.
CUPS_SERVER=$work/no-such.sock expect_failure "a print service that is not running" \
  "The print service (CUPS) is not running: nothing answers at $work/no-such.sock" -p "$work/t.ZX8"
# Under cron nothing names a runtime folder: the reason is still the one
# line on stderr, with no warning of the toolkit's beside it.
status=0
err=$(unset XDG_RUNTIME_DIR; CUPS_SERVER=$work/no-such.sock headless -p "$work/t.ZX8" 2>&1) || status=$?
{ [ "$status" -eq 2 ] && [ "$(grep -c . <<<"$err")" = 1 ] &&
    grep -qF "Could not start print job." <<<"$err"; } ||
  { echo "printing without a runtime folder said more than why (status $status): $err" >&2; fail=1; }

private_cups_start "$work/cups"
# A server without any printer, so without a default one.
expect_failure "a missing default printer" "No default printer is set." -p "$work/t.ZX8"
private_cups_add_queue "$queue"
expect_failure "an unknown printer" 'Printer "No Such Printer" was not found.' \
  -pt "$work/t.ZX8" "No Such Printer" drv port
status=0; err=$(headless -p "$work/missing.ZX8" 2>&1) || status=$?
{ [ "$status" -ne 0 ] && grep -qF "Cannot open" <<<"$err"; } ||
  { echo "a missing file was not reported (status $status): $err" >&2; fail=1; }
# No file at all is a mistake on the command line, not a print service fault.
for switch in -p -pt; do
  status=0; err=$(headless "$switch" 2>&1) || status=$?
  { [ "$status" -eq 1 ] && grep -qF "needs a test file to print" <<<"$err"; } ||
    { echo "zx840 $switch without a file was not a usage error (status $status): $err" >&2; fail=1; }
done

# Print on the queue as the default printer, without a display and a dialog.
lpadmin -d "$queue"
headless -p "$work/t.ZX8"

document=""
for _ in $(seq 150); do
  document=$(ls "$work/cups/out"/*.out 2>/dev/null | head -n 1) && [ -n "$document" ] && break
  sleep 0.2
done
[ -n "$document" ] || { echo "no job came out of the $queue queue" >&2; lpstat -W all -o >&2 || true; exit 1; }

pages=$(pdfinfo "$document" | awk '/^Pages:/ {print $2}')
text=$(pdftotext -layout "$document" -)
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
[ "$fail" = 0 ] && echo "1 passed, 0 failed: printed through a private CUPS server, one page, texts in place, failures say why"
exit "$fail"
