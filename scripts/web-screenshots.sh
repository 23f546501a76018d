#!/usr/bin/env bash
# Pictures of the web dashboard's Line, Type and Result pages for the README
# (docs/web-line.png, docs/web-type.png, docs/web-result.png), taken in
# headless Chromium by the dashboard's end-to-end test on a store the
# simulated meter fills.
#   scripts/web-screenshots.sh [BUILD] [OUT-DIR]
# Needs the packages chromium, chromium-driver and python3-selenium.
set -euo pipefail
build=${1:-build}
out=${2:-docs}
mkdir -p "$out"
/usr/bin/python3 "$(dirname "$0")/../tests/web/web_test.py" \
  "$build/tools/zx840-cli" "$build/tools/zx840-meter-sim" sqlite "$out"
