#!/usr/bin/env bash
# Sets up Sirenset, starts the built-in terminal simulator on a
# pseudo-terminal and opens Sirenset on it, so the tool catches the
# simulated terminal at power-on.
#   scripts/demo.sh [seconds]   (without a display: how long to run, default 40)
# With a display the window opens normally. Without one the window runs
# offscreen and its log pane is printed on standard output.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh
scripts/build.sh normal sirenset sirenset-sim >/dev/null

workdir="$(mktemp -d)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT

build/sim/sirenset-sim >"$workdir/sim.out" 2>"$workdir/sim.err" &
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
echo "Terminal simulator on $device"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  build/app/sirenset --port "$device"
else
  echo "No display: running the window offscreen; its log follows."
  QT_QPA_PLATFORM=offscreen build/app/sirenset --port "$device" --log-stdout --quit-after "${1:-40}"
fi
