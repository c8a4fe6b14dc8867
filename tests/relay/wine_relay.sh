#!/usr/bin/env bash
# A simulator under Wine with the logbook on the Linux desktop: quillon-sim.exe
# (the Win32 module) and quillon-relay.exe run in one Wine prefix, and the
# native quillon-probe follows the demo flight through the relay. The relay
# makes the key file; the native client reads the same file.
# Meant to run inside scripts/wine-env.sh: wine_relay.sh <windows-bin-dir> <native-bin-dir>
set -uo pipefail

if (($# != 2)); then
  echo "usage: $0 <windows-bin-dir> <native-bin-dir>" >&2
  exit 2
fi
winbin=$1
bin=$2
work=$(mktemp -d /tmp/qrw.XXXXXX)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap cleanup EXIT

# Waits up to $2 seconds for a line starting with $3 in file $1 and prints it.
await_line() {
  local deadline=$((SECONDS + $2))
  while ((SECONDS < deadline)); do
    if grep -m1 "^$3" "$1"; then return 0; fi
    sleep 0.2
  done
  echo "error: no line '$3' in $1 within $2 s:" >&2
  cat "$1" >&2
  return 1
}

# The relay first: it needs no module until a client looks one up, and the demo flight
# must not be under way while Wine starts it, or the probe may come too late for OUT.
wine "$winbin/quillon-relay.exe" --listen 127.0.0.1:0 --key-file "Z:$work/relay.key" \
  >"$work/relay.out" 2>"$work/relay.err" </dev/null &
pids+=($!)
listening=$(await_line "$work/relay.out" 60 "Listening on 127.0.0.1:") || exit 1
port=$(sed -E 's/^Listening on 127\.0\.0\.1:([0-9]+).*/\1/' <<<"$listening" | tr -d '\r')

wine "$winbin/quillon-sim.exe" --speed 120 >"$work/sim.out" 2>"$work/sim.err" </dev/null &
pids+=($!)
await_line "$work/sim.out" 60 "ready " >/dev/null || exit 1

timeout 150 "$bin/quillon-probe" --source "relay:127.0.0.1:$port" --key-file "$work/relay.key" --track \
  >"$work/probe.out" 2>&1
status=$?

fuel() { grep -m1 "^state [0-9]* $1 " "$work/sim.out" | sed -E 's/.*fuel=([0-9]+).*/\1/' | tr -d '\r'; }
out=$(fuel pushback)
in=$(fuel parked)
expected="Result: Okay
Simulator: FS2002
FlightOUT: 1402
FuelOut: $out
FlightOFF: 1410
FlightON: 1535
FlightIN: 1541
FlightTime: 1.7
FlightTimeHHMM: 1:39
FuelIn: $in
FuelUsed: $((out - in))"
if ((status != 0)) || [ "$(cat "$work/probe.out")" != "$expected" ]; then
  echo "error: quillon-probe (exit $status) through quillon-relay.exe printed:" >&2
  cat "$work/probe.out" >&2
  echo "expected:" >&2
  echo "$expected" >&2
  echo "relay's log:" >&2
  cat "$work/relay.err" >&2
  exit 1
fi
echo "demo flight followed through quillon-relay.exe on port $port"
