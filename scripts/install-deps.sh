#!/usr/bin/env bash
# Installs the Debian 12 packages the build and the tests need, only those
# that are missing. Uses sudo when not run as root.
set -euo pipefail

packages=(
  g++ make cmake ninja-build pkg-config
  libgtest-dev libgmock-dev libbenchmark-dev
  qt6-base-dev libx11-dev fonts-dejavu-core
  libqt6sql6-sqlite libqt6sql6-psql postgresql postgresql-client
  clang libclang-rt-14-dev
  cups cups-client cups-bsd printer-driver-cups-pdf poppler-utils fonts-liberation
  desktop-file-utils shared-mime-info
  locales
)

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
  local sudo=""
  if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
  fi
  echo "Generating the locale de_DE.UTF-8"
  if grep -qE '^# *de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    $sudo sed -i -E 's/^# *(de_DE\.UTF-8 UTF-8)/\1/' /etc/locale.gen
  elif ! grep -qE '^de_DE\.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
  fi
  $sudo locale-gen --keep-existing
}

[ ${#missing[@]} -eq 0 ] && { generate_test_locale; exit 0; }

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
  sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
generate_test_locale
