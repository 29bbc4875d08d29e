#!/usr/bin/env bash
# Sets up everything and runs the whole test suite:
#   1. the normal build and its tests,
#   2. the same suite built with AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the tests that need no window built with ThreadSanitizer,
#   4. the report-parser and configuration-file fuzzers for a bounded time
#      (clang, libFuzzer),
#   5. the Debian package: built, installed with apt-get and tried,
#   6. the Win32 serial port, cross-built with mingw-w64 and run under Wine.
# Ends with the wall time of every step.
# Options: --quick runs only step 1; --fuzz-seconds N (default 30) per fuzzer.
# Environment: SIRENSET_JOBS limits the parallel build jobs (see build.sh).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
fuzz_seconds=30
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --fuzz-seconds) fuzz_seconds="$2"; shift ;;
    *) echo "usage: $0 [--quick] [--fuzz-seconds N]" >&2; exit 2 ;;
  esac
  shift
done

# ---- step timing: `step NAME` starts a step and ends the one before.
timings=()
current=""
started=0
end_step() {
  [ -n "$current" ] || return 0
  timings+=("$(printf '  %-34s %6d s%s' "$current" $((SECONDS - started)) "${1:-}")")
  current=""
}
step() {
  end_step
  current="$1"
  started=$SECONDS
  echo "== $1"
}
summary() {
  local status=$?
  if [ "$status" -ne 0 ]; then end_step "   FAILED (exit $status)"; else end_step; fi
  echo "== step timings (wall clock)"
  printf '%s\n' "${timings[@]}"
  printf '  %-34s %6d s\n' "total" "$SECONDS"
  exit "$status"
}
trap summary EXIT

step "install packages"
scripts/install-deps.sh
# The suites mostly wait on the wire and on timers (a run keeps about a
# fifth of the cores busy), so twice as many run side by side as there are
# cores; the longest start first (their COST).
jobs="$(( $(nproc) * 2 ))"
export QT_QPA_PLATFORM=offscreen

step "normal build"
scripts/build.sh normal
step "normal tests"
ctest --test-dir build --output-on-failure -j "$jobs"

if [ "$quick" = 1 ]; then
  echo "== quick run passed"
  exit 0
fi

step "ASan + UBSan build"
scripts/build.sh asan
step "ASan + UBSan tests"
# intercept_strndup=0: libxkbcommon-x11 (the accessibility suite's X server
# connection) reads past a strndup source it does not own; the project
# itself calls no strndup.
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1:intercept_strndup=0" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

# Only the suites without a window: Qt is not instrumented, and the window
# code has no threads of its own. Any report outside Qt's own libraries
# stops the test that made it, and so the run.
step "TSan build (windowless tests)"
scripts/build.sh tsan
step "TSan tests"
TSAN_OPTIONS="halt_on_error=1:exitcode=66:second_deadlock_stack=1:suppressions=$PWD/scripts/tsan.supp:print_suppressions=0" \
  ctest --test-dir build-tsan --output-on-failure -j "$jobs"

step "fuzzing, ${fuzz_seconds} s per fuzzer"
scripts/fuzz.sh "$fuzz_seconds"

# The package is made from build/, which the first step built and tested:
# a second full compile (package.sh's own Release build) would cost minutes.
step "Debian package (from build/)"
package_log="$(mktemp)"
scripts/package.sh --reuse-build build | tee "$package_log"
deb="$(tail -n1 "$package_log")"
rm -f "$package_log"
step "package install and smoke check"
scripts/package-smoke.sh "$deb"

step "Win32 serial port under Wine"
scripts/wine-tests.sh

end_step
echo "== all tests passed"
