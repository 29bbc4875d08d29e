#!/usr/bin/env bash
# Builds the Debian package of Sirenset: a Release build in build-pkg/ (its
# own folder, so it never disturbs build/), then CPack. Prints the path of the
# .deb as the last line.
#   scripts/package.sh [--reuse-build DIR]
# --reuse-build packages an existing build folder (scripts/test.sh passes
# build/, the RelWithDebInfo build it has just tested) instead of compiling
# everything again; CPack strips the programs either way. Releases use the
# default Release build.
# Environment: SIRENSET_JOBS limits ninja's parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."

reuse=""
case "${1:-}" in
  "") ;;
  --reuse-build) reuse="${2:?--reuse-build needs a build folder}" ;;
  *) echo "usage: $0 [--reuse-build DIR]" >&2; exit 2 ;;
esac
jobs=()
[ -n "${SIRENSET_JOBS:-}" ] && jobs=(-j "$SIRENSET_JOBS")

scripts/install-deps.sh

# CPack's DEB generator uses file(1) to find the programs and dpkg-shlibdeps
# (dpkg-dev) to turn their libraries into the package's dependencies; without
# them the package would silently depend on nothing.
missing=()
for tool in file:file dpkg-shlibdeps:dpkg-dev; do
  command -v "${tool%%:*}" >/dev/null || missing+=("${tool##*:}")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

if [ -n "$reuse" ]; then
  dir="$reuse"
  [ -f "$dir/CMakeCache.txt" ] || { echo "package.sh: $dir is no configured build folder" >&2; exit 1; }
  if grep -Eq '^SIRENSET_(SANITIZE|TSAN|WINDOWLESS_TESTS_ONLY):BOOL=ON' "$dir/CMakeCache.txt"; then
    echo "package.sh: $dir is a sanitizer or windowless build; it cannot be packaged" >&2
    exit 1
  fi
  cmake -S . -B "$dir" -DSIRENSET_SCALED_ICONS=ON >/dev/null
else
  dir=build-pkg
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DSIRENSET_TESTS=OFF -DSIRENSET_BENCH=OFF -DSIRENSET_FUZZ=OFF -DSIRENSET_SANITIZE=OFF \
    -DSIRENSET_TSAN=OFF -DSIRENSET_WINDOWLESS_TESTS_ONLY=OFF -DSIRENSET_SCALED_ICONS=ON >/dev/null
fi
# CPack installs everything the folder builds by default, so all of it is
# brought up to date first.
ninja -C "$dir" "${jobs[@]}"

rm -f "$dir"/sirenset_*.deb
(cd "$dir" && cpack -G DEB)
debs=("$dir"/sirenset_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then
  echo "package.sh: CPack made no single sirenset_*.deb in $dir" >&2
  exit 1
fi
echo "Depends: $(dpkg-deb -f "${debs[0]}" Depends)"
echo "Size: $(du -k "${debs[0]}" | cut -f1) KiB"
realpath "${debs[0]}"
