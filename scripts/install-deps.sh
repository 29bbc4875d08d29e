#!/usr/bin/env bash
# Installs what building, running and testing Sirenset needs on Debian 12.
# Idempotent: packages already present are not touched.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-serialport-dev libgl-dev
  libqt6sql6-sqlite libqt6sql6-psql postgresql  # records/: the service record (SQLite, PostgreSQL)
  libgtest-dev libgmock-dev libbenchmark-dev
  clang lld libclang-rt-14-dev
  xvfb xauth fonts-noto-cjk
  libqrencode-dev  # reports/: QR codes
  poppler-utils zbar-tools  # tests/reports: the PDF read back (pdftotext, pdffonts, pdftoppm) and its QR code (zbarimg)
  dbus-daemon dbus-bin at-spi2-core  # tests/app: the window read over AT-SPI, as screen readers read it
  qt6-translations-l10n
  libxcb1-dev libxcb-damage0-dev  # bench/: the side-by-side driver watches windows through X
)

missing=()
for package in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed"; then
    missing+=("$package")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
$sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
