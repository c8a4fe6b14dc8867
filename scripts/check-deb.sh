#!/usr/bin/env bash
# Builds the Debian package from a built tree and checks that it holds the
# program, its desktop entry, icon and guide, and names its libraries:
#   check-deb.sh <build-dir>/CPackConfig.cmake
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 <build-dir>/CPackConfig.cmake" >&2
  exit 2
fi
out=$(mktemp -d /tmp/quillon-deb.XXXXXX)
trap 'rm -rf "$out"' EXIT

cpack -G DEB --config "$1" -B "$out" >"$out/cpack.log" 2>&1 || { cat "$out/cpack.log" >&2; exit 1; }
debs=("$out"/quillon_*.deb)
deb=${debs[0]}
[ -f "$deb" ] || { echo "no package was made" >&2; cat "$out/cpack.log" >&2; exit 1; }

contents=$(dpkg-deb -c "$deb")
status=0
for path in \
  ./usr/bin/quillon ./usr/bin/quillon-probe ./usr/bin/quillon-sim ./usr/bin/quillon-log ./usr/bin/quillon-relay \
  ./usr/share/applications/quillon.desktop \
  ./usr/share/icons/hicolor/scalable/apps/quillon.svg \
  ./usr/share/icons/hicolor/48x48/apps/quillon.png \
  ./usr/share/doc/quillon/copyright \
  ./usr/share/doc/quillon/guide/index.html ./usr/share/doc/quillon/guide/guide.css; do
  grep -q " $path\$" <<<"$contents" || { echo "missing from the package: $path" >&2; status=1; }
done
if grep -q '/include/\|\.a$\|/tests\?/' <<<"$contents"; then
  echo "the package holds files a pilot does not need:" >&2
  grep '/include/\|\.a$\|/tests\?/' <<<"$contents" >&2
  status=1
fi

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6printsupport6 libqt6svg6 libqt6charts6; do
  grep -q "$library" <<<"$depends" || { echo "Depends lacks $library: $depends" >&2; status=1; }
done
[ "$(dpkg-deb -f "$deb" Package)" = quillon ] || { echo "the package is not named quillon" >&2; status=1; }

((status == 0)) && echo "$(basename "$deb"): $(grep -c '' <<<"$contents") entries, Depends: $depends"
exit $status
