#!/usr/bin/env bash
# Installs the Debian package made by scripts/package.sh with apt-get, as a
# user would, and checks that the installed programs work: sirenset --version,
# then a --read without a window against the packaged terminal simulator.
#   scripts/package-smoke.sh [path/to/sirenset_<version>_<arch>.deb]
# Needs root or sudo. The package stays installed if it was installed before;
# otherwise it is removed again at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

fail() {
  echo "package-smoke: FAILED: $*" >&2
  exit 1
}
trap 'echo "package-smoke: FAILED at line $LINENO: $BASH_COMMAND" >&2' ERR

if [ $# -gt 0 ]; then
  deb="$1"
else
  debs=(build-pkg/sirenset_*.deb)
  [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "expected one build-pkg/sirenset_*.deb; run scripts/package.sh"
  deb="${debs[0]}"
fi
[ -f "$deb" ] || fail "no package $deb"
version="$(dpkg-deb -f "$deb" Version)"

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  command -v sudo >/dev/null || fail "not root and no sudo: apt-get cannot install the package"
  sudo="sudo"
fi
was_installed=0
dpkg-query -W -f='${Status}' sirenset 2>/dev/null | grep -q "ok installed" && was_installed=1

workdir="$(mktemp -d /tmp/sirenset-smoke.XXXXXX)"
sim_pid=""
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null || true
  rm -rf "$workdir"
  if [ "$was_installed" = 0 ] && dpkg-query -W sirenset >/dev/null 2>&1; then
    $sudo env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q sirenset >/dev/null || true
  fi
}
trap cleanup EXIT

# The package's own file list, not the installed one: a machine may filter
# out documentation when installing.
echo "== contents of $(basename "$deb")"
contents="$(dpkg-deb -c "$deb")"
for file in usr/bin/sirenset usr/bin/sirenset-sim usr/share/applications/sirenset.desktop \
            usr/share/icons/hicolor/{32x32,48x48,64x64,128x128}/apps/sirenset.png \
            usr/share/man/man1/sirenset.1.gz usr/share/man/man1/sirenset-sim.1.gz; do
  grep -q " \./$file\$" <<<"$contents" || fail "the package lacks /$file"
done
[ -n "$(dpkg-deb -f "$deb" Depends)" ] || fail "the package declares no dependencies"

# apt-get reads local packages as the unprivileged _apt user.
chmod 755 "$workdir"
cp "$deb" "$workdir/"
if ! compgen -G "/var/lib/apt/lists/*_Packages*" >/dev/null; then
  $sudo apt-get update -q
fi
echo "== apt-get install ./$(basename "$deb")"
(cd "$workdir" && $sudo env DEBIAN_FRONTEND=noninteractive apt-get install -y -q ./sirenset_*.deb)
[ "$(dpkg-query -W -f='${Version}' sirenset)" = "$version" ] || fail "sirenset $version is not the installed version"

export QT_QPA_PLATFORM=offscreen
echo "== sirenset --version"
reported="$(/usr/bin/sirenset --version)"
echo "$reported"
[ "$reported" = "sirenset $version" ] || fail "expected \"sirenset $version\""

# The simulator boots when a program opens its device, so sirenset catches
# its power-on exactly as it would a real terminal's.
link="$workdir/terminal"
/usr/bin/sirenset-sim --link "$link" >"$workdir/sim.out" 2>"$workdir/sim.err" &
sim_pid=$!
for _ in $(seq 1 100); do
  [ -L "$link" ] && break
  kill -0 "$sim_pid" 2>/dev/null || break
  sleep 0.05
done
if [ ! -L "$link" ]; then
  cat "$workdir/sim.err" >&2
  fail "the packaged sirenset-sim made no device link"
fi

config="$workdir/out.cfg"
echo "== sirenset --port $link --read out.cfg"
status=0
timeout 120 /usr/bin/sirenset --port "$link" --read "$config" --timeout 30 || status=$?
[ "$status" = 0 ] || fail "sirenset --read ended with status $status"
[ -s "$config" ] || fail "sirenset --read wrote no configuration"
lines="$(wc -l <"$config")"
echo "out.cfg: $lines lines"
[ "$lines" -ge 5 ] || fail "out.cfg holds only $lines lines"
echo "== package smoke check passed"
