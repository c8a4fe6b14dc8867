#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Quillon and runs it. Where no
# simulator answers (the FSUIPC module, FlightGear or X-Plane on this
# computer, found as the window's "Automatic" finds them), the simulator
# stand-in flies its demo flight beside it.
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh
build=${QUILLON_BUILD_DIR:-build}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}"
cmake --build "$build" -j "$(nproc)" --target quillon quillon-sim quillon-probe quillon-log

sim_pid=
if simulator=$("$build/bin/quillon-probe" --source automatic 2>/dev/null | sed -n 's/^Simulator: //p') \
   && [ -n "$simulator" ]; then
  echo "Simulator found: $simulator"
else
  # Half the stand-in's default speed: the demo flight takes about three and a half minutes,
  # time enough to click "On" while the aircraft is still on its way.
  echo "No simulator answers: starting the simulator stand-in with its demo flight."
  echo "Click \"On\" in the ACARS panel to track it; type the aircraft and route, then \"Log Flight\" at the gate."
  "$build/bin/quillon-sim" --speed 30 >/dev/null &
  sim_pid=$!
  trap '[ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null' EXIT
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: running the window under Xvfb."
  xvfb-run -a -s "-screen 0 1280x800x24" "$build/bin/quillon"
else
  "$build/bin/quillon"
fi
