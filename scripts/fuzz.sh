#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each of them (the
# parameter report parser, the configuration file load) for a bounded time
# over a scratch copy of the seed corpus.
#
#   scripts/fuzz.sh [seconds]        (default 60)
#
# Environment: BUILD_DIR (default: build-fuzz/ in the checkout); SIRENSET_JOBS
# limits the parallel build jobs.
# Exits non-zero when the build fails or the fuzzer finds a crash, a leak,
# undefined behaviour or a time-out; the reproducer is kept in fuzz-out/.
set -euo pipefail

seconds="${1:-60}"
if ! [[ "$seconds" =~ ^[0-9]+$ ]] || [ "$seconds" -eq 0 ]; then
  echo "usage: $0 [seconds]" >&2
  exit 2
fi

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BUILD_DIR:-$repo/build-fuzz}"
seeds="$repo/fuzz/corpus/parameter_report"
fuzzers=(ParseParameterReportFuzzer ConfigFileLoadFuzzer)

CC=clang CXX=clang++ cmake -S "$repo" -B "$build" -G Ninja \
  -DSIRENSET_FUZZ=ON -DSIRENSET_TESTS=OFF -DSIRENSET_BENCH=OFF >/dev/null
cmake --build "$build" ${SIRENSET_JOBS:+-j "$SIRENSET_JOBS"} --target "${fuzzers[@]}"

artifacts="$repo/fuzz-out"
mkdir -p "$artifacts"

# One fuzzer: over a scratch copy of the seeds (the inputs it finds go
# there; the seeds stay as they are), its output in its own log.
run_fuzzer() {
  local fuzzer="$1" work
  work="$(mktemp -d "${TMPDIR:-/tmp}/sirenset-fuzz.XXXXXX")"
  cp -R "$seeds/." "$work/"
  echo "Running $fuzzer for ${seconds}s over $(ls "$work" | wc -l) seed inputs"
  local status=0
  "$build/fuzz/$fuzzer" "$work" \
    -dict="$repo/fuzz/parameter_report.dict" \
    -max_total_time="$seconds" \
    -max_len=12000 \
    -timeout=10 \
    -artifact_prefix="$artifacts/$fuzzer-" \
    -print_final_stats=1 >"$artifacts/$fuzzer.log" 2>&1 || status=$?
  rm -rf "$work"
  return "$status"
}

# The fuzzers run side by side, one a core: each gets its full time.
pids=()
for fuzzer in "${fuzzers[@]}"; do
  run_fuzzer "$fuzzer" &
  pids+=($!)
done
failed=0
for i in "${!fuzzers[@]}"; do
  fuzzer="${fuzzers[$i]}"
  status=0
  wait "${pids[$i]}" || status=$?
  tail -n 12 "$artifacts/$fuzzer.log"
  if [ "$status" -ne 0 ]; then
    echo "$fuzzer failed (exit $status); reproducers in $artifacts/, its output in $artifacts/$fuzzer.log" >&2
    failed=$status
  else
    echo "$fuzzer: no crash in ${seconds}s"
  fi
done
exit "$failed"
