#!/usr/bin/env bash
# Configures and builds Sirenset.
#   scripts/build.sh [normal|asan] [ninja targets...]
# normal -> build/, asan -> build-asan/ (AddressSanitizer + UndefinedBehaviorSanitizer).
set -euo pipefail
cd "$(dirname "$0")/.."

kind="${1:-normal}"
shift || true
case "$kind" in
  normal) dir=build; extra=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)   dir=build-asan; extra=(-DCMAKE_BUILD_TYPE=Debug -DSIRENSET_SANITIZE=ON -DSIRENSET_BENCH=OFF) ;;
  *) echo "usage: $0 [normal|asan] [targets...]" >&2; exit 2 ;;
esac

if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja "${extra[@]}"
fi
ninja -C "$dir" "$@"
