#!/usr/bin/env bash
# Installs the Debian 12 packages that are missing, and only those.
#   install-deps.sh --run    what building and running the programs need
#   install-deps.sh --test   that, plus the test, packaging and printing toolchain
# Uses sudo when not run as root.
set -euo pipefail

mode=${1:---run}

run_packages=(
  g++ make cmake ninja-build pkg-config dpkg-dev
  qt6-base-dev libx11-dev fonts-dejavu-core libcups2-dev
  libqt6sql6-sqlite libqt6sql6-psql libpq-dev
  qt6-httpserver-dev qt6-websockets-dev libjs-chart.js
)
test_packages=(
  libgtest-dev libgmock-dev libbenchmark-dev
  postgresql postgresql-client
  clang libclang-rt-14-dev
  cups-daemon cups-client poppler-utils fonts-liberation
  desktop-file-utils shared-mime-info appstream
  fakeroot file lintian xvfb xauth imagemagick
  man-db locales
  python3-pyvisa python3-pyvisa-py
  chromium chromium-driver python3-selenium python3-numpy curl
)

case "$mode" in
  --run) packages=("${run_packages[@]}") ;;
  --test) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: $0 [--run|--test]" >&2; exit 2 ;;
esac

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

# The CSV tests run under a locale whose decimal mark is a comma: generate
# de_DE.UTF-8 when the system lacks it (locale-gen comes with "locales").
generate_test_locale() {
  if locale -a 2>/dev/null | grep -qiE '^de_DE\.utf-?8$'; then
    return 0
  fi
  echo "Generating the locale de_DE.UTF-8"
  if grep -qE '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $sudo sed -i -E 's/^# *(de_DE\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  elif ! grep -qE '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen --keep-existing
}

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [ "$mode" = --test ]; then
  generate_test_locale
fi
