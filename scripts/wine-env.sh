#!/usr/bin/env bash
# Runs a command (normally ctest on the Windows build) inside a fresh, headless
# Wine prefix: wine-env.sh <prefix-dir> <command> [args...]
# The prefix is created for this run only and its Wine server is stopped at the
# end, so no Wine process outlives the run. Fails loudly when Wine is missing.
set -euo pipefail

if (($# < 2)); then
  echo "usage: $0 <prefix-dir> <command> [args...]" >&2
  exit 2
fi
prefix=$1
shift

for tool in wine wineserver; do
  if ! command -v "$tool" >/dev/null; then
    echo "error: '$tool' not found; the Windows tests need Wine (Debian packages: wine wine64)" >&2
    exit 1
  fi
done

rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX=$(cd "$prefix" && pwd)
export WINEARCH=win64
export WINEDEBUG=-all
# No Mono or Gecko installers, no desktop menus: the prefix only runs console programs.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

cleanup() { wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; }
trap cleanup EXIT

# Hidden windows need a display driver; the null driver needs no X server.
# It takes effect for sessions started after it is set, hence the restart.
# Wine's background processes must not hold the caller's output open.
wine wineboot --init >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >/dev/null 2>&1
wineserver -k >/dev/null 2>&1 || true
wineserver -w
# A persistent server and a warmed-up prefix: otherwise every test pays the start-up.
wineserver -p >/dev/null 2>&1
wine cmd /c exit >/dev/null 2>&1

"$@"
