#!/usr/bin/env bash
# Sets up Sirenset, starts the built-in terminal simulator on a
# pseudo-terminal and opens Sirenset on it, so the tool catches the
# simulated terminal at power-on.
# With a display the window opens normally. Without one Sirenset runs the
# same conversation without a window (--read): it catches the terminal,
# reads its parameters and saves them to a configuration file; the log and
# the file are printed.
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
  config="$workdir/Kestrel-Alarm.cfg"
  echo "No display: reading the terminal's configuration without a window."
  echo "== sirenset --port $device --read Kestrel-Alarm.cfg"
  build/app/sirenset --port "$device" --read "$config"
  echo "== Kestrel-Alarm.cfg (the terminal's report, CR CR LF line ends)"
  tr -d '\r' <"$config"
fi
