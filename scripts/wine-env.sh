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

# Only an earlier run's prefix (or an empty folder) is ever wiped.
if [ -d "$prefix" ] && [ -n "$(ls -A "$prefix")" ] && [ ! -f "$prefix/system.reg" ]; then
  echo "error: $prefix is not empty and is not a Wine prefix; refusing to delete it" >&2
  exit 1
fi
rm -rf "$prefix"
mkdir -p "$prefix"
export WINEPREFIX=$(cd "$prefix" && pwd)
export WINEARCH=win64
export WINEDEBUG=-all
# The Windows test programs refuse to run outside such a prefix: they change the user's settings.
export QUILLON_THROWAWAY_PREFIX=1
# No Mono or Gecko installers, no desktop menus: the prefix only runs console programs.
export WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="

step_log=$(mktemp)
cleanup() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$WINEPREFIX" "$step_log"
}
trap cleanup EXIT

# Runs one step of the set-up quietly; its output is shown only when it fails.
# Into a file, not a pipe: Wine's background processes would hold a pipe open.
step() {
  if ! "$@" >"$step_log" 2>&1; then
    echo "error: Wine set-up failed at: $*" >&2
    tail -n 20 "$step_log" >&2
    echo "(the Windows tests need Wine with 64-bit support: Debian packages wine wine64)" >&2
    exit 1
  fi
}

# Hidden windows need a display driver; the null driver needs no X server.
# It takes effect for sessions started after it is set, hence the restart.
# Wine's background processes must not hold the caller's output open.
step wine wineboot --init
step wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f
wineserver -k >/dev/null 2>&1 || true
wineserver -w
# A persistent server and a warmed-up prefix: otherwise every test pays the start-up.
# Bounded, so that a run killed before its clean-up leaves no server behind for long.
step wineserver -p60
step wine cmd /c exit

"$@"
