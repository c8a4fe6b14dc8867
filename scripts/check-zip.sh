#!/usr/bin/env bash
# Checks the Windows zip that the Windows build made: one folder holding the
# programs, the guide beside them and the licence, and nothing else.
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
((status == 0)) && echo "$(basename "$zip"): $(grep -c '' <<<"$contents") files, $(du -h "$zip" | cut -f1)"
exit $status
