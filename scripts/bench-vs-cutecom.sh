#!/usr/bin/env bash
# Measures the communication-mode display side by side with CuteCom: both as
# real windows under a virtual X server (Xvfb), fed the same paced stream
# (92160 B/s) on their own pseudo-terminals; prints each run and a table of
# min / median / max over the runs.
#   scripts/bench-vs-cutecom.sh [--runs N] [--seconds N] [--starts N] [--stream NAME]...
# Streams: text-lines, text-lines-0.5ms, binary-hex, binary-text (each also as
# NAME+stamps, with Sirenset's 时间戳 ticked), and startup
# (exec to the first painted window of each program, --starts N per run).
# Installs cutecom, xdotool and the xcb headers (core and DAMAGE) for the benchmark only; the
# product needs none of them. Best run on an otherwise quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
bench_packages=(cutecom xdotool libxcb1-dev libxcb-damage0-dev)
missing=()
for package in "${bench_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
# A configured build/ made before the xcb headers were there must look again.
if [ -f build/CMakeCache.txt ] && grep -q "XCB_FOUND:INTERNAL=$\|XCB_FOUND:INTERNAL=0" build/CMakeCache.txt; then
  cmake build >/dev/null
fi
scripts/build.sh normal sirenset comm_vs_cutecom modem_lines_shim >/dev/null

display=""
for number in $(seq 90 120); do
  if [ ! -e "/tmp/.X11-unix/X$number" ] && [ ! -e "/tmp/.X$number-lock" ]; then
    display=":$number"
    break
  fi
done
[ -n "$display" ] || { echo "no free X display number" >&2; exit 1; }
Xvfb "$display" -screen 0 1920x1080x24 -nolisten tcp >/dev/null 2>&1 &
xvfb_pid=$!
trap 'kill "$xvfb_pid" 2>/dev/null || true' EXIT
for _ in $(seq 1 100); do
  [ -e "/tmp/.X11-unix/X${display#:}" ] && break
  sleep 0.05
done

DISPLAY="$display" build/bench/comm_vs_cutecom --sirenset build/app/sirenset \
  --shim build/bench/modem_lines_shim.so --cutecom "$(command -v cutecom)" "$@"
