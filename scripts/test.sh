#!/usr/bin/env bash
# Sets up everything and runs the whole test suite:
#   1. the normal build and its tests,
#   2. the same suite built with AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the report-parser fuzzer for a bounded time (clang, libFuzzer).
# Options: --quick runs only step 1; --fuzz-seconds N (default 60).
set -euo pipefail
cd "$(dirname "$0")/.."

quick=0
fuzz_seconds=60
while [ $# -gt 0 ]; do
  case "$1" in
    --quick) quick=1 ;;
    --fuzz-seconds) fuzz_seconds="$2"; shift ;;
    *) echo "usage: $0 [--quick] [--fuzz-seconds N]" >&2; exit 2 ;;
  esac
  shift
done

scripts/install-deps.sh
jobs="$(nproc)"
export QT_QPA_PLATFORM=offscreen

echo "== normal build"
scripts/build.sh normal
ctest --test-dir build --output-on-failure -j "$jobs"

[ "$quick" = 1 ] && exit 0

echo "== sanitizer build (ASan + UBSan)"
scripts/build.sh asan
ASAN_OPTIONS="detect_leaks=1:abort_on_error=1:strict_string_checks=1" \
LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
  ctest --test-dir build-asan --output-on-failure -j "$jobs"

if [ -x scripts/fuzz.sh ]; then
  echo "== fuzzing the report parser for ${fuzz_seconds}s"
  scripts/fuzz.sh "$fuzz_seconds"
fi
echo "== all tests passed"
