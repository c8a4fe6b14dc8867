#!/usr/bin/env bash
# Checks the Windows zip that the Windows build made: one folder holding the
# programs, the guide beside them and the licence, and nothing else; the
# window program is a self-contained window program carrying the icon that
# Windows shows for it.
#   check-zip.sh <windows-build-dir>
set -euo pipefail

if (($# != 1)); then
  echo "usage: $0 <windows-build-dir>" >&2
  exit 2
fi
zips=("$1"/quillon-*-win64.zip)
zip=${zips[0]}
[ -f "$zip" ] || { echo "no zip was made in $1" >&2; exit 1; }

folder=$(basename "$zip" .zip)
contents=$(cmake -E tar tf "$zip")
status=0
for path in quillon.exe quillon-log.exe quillon-probe.exe quillon-sim.exe quillon-relay.exe LICENSE.txt \
  guide/index.html guide/guide.css; do
  grep -qx "$folder/$path" <<<"$contents" || { echo "missing from the zip: $path" >&2; status=1; }
done
if grep -v "^$folder/\(guide/\)\?[^/]*\$" <<<"$contents"; then
  echo "(files outside the program's folder and its guide)" >&2
  status=1
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
(cd "$scratch" && cmake -E tar xf "$zip" "$folder/quillon.exe")
headers=$(x86_64-w64-mingw32-objdump -p "$scratch/$folder/quillon.exe")
# An icon group (resource type 14) in the program's resource directory.
if ! grep -Eq '^[0-9a-f]+   Entry: ID: 0x00000e' <<<"$headers"; then
  echo "quillon.exe carries no icon" >&2
  status=1
fi
# One file a pilot runs: a window program needing only Windows' own DLLs, with
# Qt's Windows platform linked in.
if ! grep -q 'Subsystem.*(Windows GUI)' <<<"$headers"; then
  echo "quillon.exe is not a window program" >&2
  status=1
fi
if grep -Ei 'DLL Name: (Qt6|libstdc\+\+|libgcc|libwinpthread)' <<<"$headers"; then
  echo "(quillon.exe needs the DLLs above beside it)" >&2
  status=1
fi
if ! grep -q QWindowsIntegrationPlugin "$scratch/$folder/quillon.exe"; then
  echo "quillon.exe lacks Qt's Windows platform" >&2
  status=1
fi
((status == 0)) && echo "$(basename "$zip"): $(grep -c '' <<<"$contents") files, $(du -h "$zip" | cut -f1)"
exit $status
