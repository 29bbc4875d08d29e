#!/usr/bin/env bash
# Cross-builds the Win32 serial port and its checks with mingw-w64 into
# build-mingw/ and runs them under Wine against a pseudo-terminal mapped as
# COM5, whose far end echoes every byte back.
#   scripts/wine-tests.sh
# Fails with a message on stderr whenever a step cannot run; it never passes
# without having run the checks. Closes with the checks' "N passed, N failed".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD

fail() { echo "wine-tests: $*" >&2; exit 1; }

# Packages: the cross compiler, Wine, and what the build and the peer need.
need=()
command -v x86_64-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-x86-64)
[ -x /usr/lib/wine/wine64 ] || need+=(wine64)
command -v cmake >/dev/null || need+=(cmake)
command -v ninja >/dev/null || need+=(ninja-build)
command -v python3 >/dev/null || need+=(python3)
if [ ${#need[@]} -gt 0 ]; then
  echo "wine-tests: installing ${need[*]}"
  if [ "$(id -u)" -ne 0 ]; then fail "need root to install ${need[*]}"; fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq >/dev/null || fail "apt-get update failed"
  apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null \
    || fail "cannot install ${need[*]}"
fi
wine=/usr/lib/wine/wine64
[ -x "$wine" ] || fail "no wine64 at $wine after installing wine64"

# Build.
build=$root/build-mingw
if [ ! -f "$build/build.ninja" ]; then
  cmake -S tests/wine -B "$build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$root/tests/wine/mingw-w64-x86_64.cmake" >/dev/null \
    || fail "cannot configure the mingw build"
fi
ninja -C "$build" ${SIRENSET_JOBS:+-j "$SIRENSET_JOBS"} sirenset_win32_port_tests >/dev/null || fail "the mingw build failed"
exe=$build/sirenset_win32_port_tests.exe
[ -f "$exe" ] || fail "no $exe after the build"

# A fresh prefix of our own; no installer dialogs.
export WINEPREFIX=$build/wineprefix
export WINEDLLOVERRIDES="mscoree,mshtml="
export WINEDEBUG=-all
export DISPLAY=
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
timeout 300 "$wine" wineboot -u >/dev/null 2>&1 || fail "wineboot could not make a prefix in $WINEPREFIX"
[ -d "$WINEPREFIX/dosdevices" ] || fail "the prefix has no dosdevices folder"

# The far end: a pseudo-terminal that echoes; COM5 is its slave.
peer_out=$build/pty-peer.out
python3 tests/wine/pty_echo.py >"$peer_out" &
peer=$!
# Ends the peer and this prefix's wineserver, both started here.
cleanup() {
  kill "$peer" 2>/dev/null || true
  WINEPREFIX=$WINEPREFIX /usr/lib/wine/wineserver -k 2>/dev/null || true
}
trap cleanup EXIT
for _ in $(seq 50); do
  [ -s "$peer_out" ] && break
  sleep 0.1
done
pts=$(head -n1 "$peer_out")
[ -c "$pts" ] || fail "the echo peer made no pseudo-terminal"
ln -sf "$pts" "$WINEPREFIX/dosdevices/com5"

# Run. The closing line is the program's own "N passed, N failed".
set +e
timeout 300 "$wine" "$exe" '\\.\COM5' 2>&1 | tr -d '\r'
status=${PIPESTATUS[0]}
set -e
if [ "$status" -eq 124 ]; then fail "the checks did not end within 300 s"; fi
[ "$status" -eq 0 ] || fail "the checks failed (exit $status)"
