#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds Quillon (with its Windows targets)
# and runs every test through ctest. Extra arguments go to ctest (e.g. -L e2e).
#   QUILLON_BUILD_DIR  build folder (default: build)
#   QUILLON_SANITIZE=1 build and test under AddressSanitizer + UndefinedBehaviorSanitizer
set -euo pipefail
cd "$(dirname "$0")/.."

# FlightGear only where its tests run: the plain build, where they must not be skipped.
if [ "${QUILLON_SANITIZE:-0}" = 1 ]; then
  ./scripts/setup.sh
else
  ./scripts/setup.sh --with-flightgear
  export QUILLON_REQUIRE_FLIGHTGEAR=1
fi

build=${QUILLON_BUILD_DIR:-build}
options=(-DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUILLON_WINDOWS_TESTS=ON)
if [ "${QUILLON_SANITIZE:-0}" = 1 ]; then
  # The Windows targets are tested in the plain build; here only our own code runs sanitized.
  options=(-DCMAKE_BUILD_TYPE=Debug -DQUILLON_SANITIZE=ON -DQUILLON_WINDOWS_TESTS=OFF -DQUILLON_BENCH=OFF
    -DQUILLON_E2E_TESTS=OFF)
  export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
  export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
  export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$PWD/tests/support/lsan.supp}
fi
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

# Test programs name their runtime folders under /tmp after this run; those a
# crash, a sanitizer abort or a timeout left are removed at the end.
export QUILLON_TEST_RUN=$$
trap 'rm -rf /tmp/quillon-test-"$QUILLON_TEST_RUN"-*' EXIT

# The window for Windows needs a static Qt for Windows: built from Debian's
# sources into a cache outside the checkout the first time (about 35 minutes),
# found there afterwards.
if [ "${QUILLON_SANITIZE:-0}" != 1 ]; then
  ./scripts/windows-qt.sh >/dev/null
fi
cmake -S . -B "$build" -G Ninja "${options[@]}" "${launcher[@]}"
cmake --build "$build" -j "$(nproc)"
# Tests run one at a time: the end-to-end ones start simulator stand-ins and windows.
ctest --test-dir "$build" --output-on-failure --no-tests=error "$@"
