#!/usr/bin/env bash
# Builds the Debian package of Sirenset: a Release build in build-pkg/ (its
# own folder, so it never disturbs build/), then CPack. Prints the path of the
# .deb as the last line.
set -euo pipefail
cd "$(dirname "$0")/.."

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

dir=build-pkg
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DSIRENSET_TESTS=OFF -DSIRENSET_BENCH=OFF -DSIRENSET_FUZZ=OFF -DSIRENSET_SANITIZE=OFF \
  -DSIRENSET_SCALED_ICONS=ON >/dev/null
ninja -C "$dir"

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
