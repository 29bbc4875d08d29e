#!/usr/bin/env bash
# Photographs the main window for the README: starts the terminal simulator
# on a pseudo-terminal, runs Sirenset on it under a virtual X server until
# it has caught the terminal and read its parameters, and saves the window.
#   scripts/screenshot.sh [OUTPUT.png] [SCREEN_WIDTHxHEIGHT] [SCALE]
# Defaults: docs/sirenset-window.png on a 1366x768 screen at scale 1.
# SIRENSET_SCREENSHOT_ARGS adds arguments (e.g. "--communication") and
# SIRENSET_SCREENSHOT_SIM_ARGS the simulator's (e.g. a periodic message);
# SIRENSET_SCREENSHOT_LIBRARY is a command library file to start with.
set -euo pipefail
cd "$(dirname "$0")/.."

output="${1:-docs/sirenset-window.png}"
screen_size="${2:-1366x768}"
scale="${3:-1}"
seconds="${SIRENSET_SCREENSHOT_SECONDS:-6}"

scripts/install-deps.sh
scripts/build.sh normal sirenset sirenset-sim >/dev/null

workdir="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

build/sim/sirenset-sim ${SIRENSET_SCREENSHOT_SIM_ARGS:-} >"$workdir/sim.out" 2>"$workdir/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -s "$workdir/sim.out" ] && break
  sleep 0.05
done
device="$(head -n 1 "$workdir/sim.out")"
if [ -z "$device" ]; then
  echo "The terminal simulator did not start:" >&2
  cat "$workdir/sim.err" >&2
  exit 1
fi

case "$output" in
  /*) ;;
  *) output="$PWD/$output" ;;
esac
mkdir -p "$(dirname "$output")"
rm -f "$output"
if [ -n "${SIRENSET_SCREENSHOT_LIBRARY:-}" ]; then
  mkdir -p "$workdir/data/Sirenset"
  cp "$SIRENSET_SCREENSHOT_LIBRARY" "$workdir/data/Sirenset/commands.json"
fi
# The window photographs itself as it quits (SIRENSET_SCREENSHOT), so no X
# screenshot tool is needed. Its service record goes to the work folder, not
# into the user's data folder.
xvfb-run --auto-servernum --server-args="-screen 0 ${screen_size}x24" \
  env -u QT_QPA_PLATFORM QT_SCALE_FACTOR="$scale" LC_ALL=C.UTF-8 \
      SIRENSET_SCREENSHOT="$output" XDG_DATA_HOME="$workdir/data" \
  build/app/sirenset --port "$device" --quit-after "$seconds" ${SIRENSET_SCREENSHOT_ARGS:-} >"$workdir/sirenset.log" 2>&1 || {
    cat "$workdir/sirenset.log" >&2
    exit 1
  }
if [ ! -s "$output" ]; then
  echo "No screenshot was written:" >&2
  cat "$workdir/sirenset.log" >&2
  exit 1
fi
echo "$output (${screen_size} screen, scale ${scale})"
