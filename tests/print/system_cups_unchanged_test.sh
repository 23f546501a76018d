#!/usr/bin/env bash
# Runs the print test twice in a row and checks that the system's CUPS is
# as it was: the same default printer, printers and server settings when
# its server runs; when it does not, that it still does not run. Either way
# the same cupsd processes, and its configuration files unchanged.
set -euo pipefail
build=${1:-build}
here=$(cd "$(dirname "$0")" && pwd)

snapshot() {
  (
    unset CUPS_SERVER
    echo "cupsd processes: $(pgrep -x cupsd | sort | tr '\n' ' ')"
    if lpstat -r >/dev/null 2>&1; then
      echo "server: running"
      echo "default: $(lpstat -d 2>&1 || true)"
      echo "printers:"; lpstat -p 2>&1 || true
      echo "settings:"; cupsctl 2>&1 || true
    else
      echo "server: not running"
    fi
    echo "configuration:"
    for f in /etc/cups/* /etc/cups/ppd/* "$HOME/.cups/lpoptions" "$HOME/.cups/client.conf"; do
      [ -f "$f" ] || continue
      if [ -r "$f" ]; then
        echo "$f $(sha256sum <"$f" | cut -d' ' -f1)"
      else
        echo "$f $(stat -c '%s %Y' "$f")"
      fi
    done
    echo "home PDF folder: $([ -e "$HOME/PDF" ] && echo present || echo absent)"
  )
}

before=$(snapshot)
"$here/cups_print_test.sh" "$build"
"$here/cups_print_test.sh" "$build"
after=$(snapshot)
if [ "$before" != "$after" ]; then
  echo "the print test changed the system's CUPS:" >&2
  diff <(echo "$before") <(echo "$after") >&2 || true
  exit 1
fi
echo "1 passed, 0 failed: the print test ran twice and left the system's CUPS as it was"
