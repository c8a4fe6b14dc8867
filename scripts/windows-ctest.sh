#!/usr/bin/env bash
# Runs the Windows build's tests; meant to run inside scripts/wine-env.sh.
# Unit tests run four at a time (those that share the Windows user's settings
# one after another); the end-to-end tests one at a time, because their
# module windows share one Wine desktop. No tests at all is a failure.
# Under Wine a test program now and then dies while starting, before any test
# code runs (no output at all), so a failing test is run once more; a test
# that fails twice fails the run. The native suite has no such second chance.
set -uo pipefail

if (($# != 1)); then
  echo "usage: $0 <windows-build-dir>" >&2
  exit 2
fi
build=$1
status=0
retry=(--repeat until-pass:2)
ctest --test-dir "$build" -LE e2e -j4 "${retry[@]}" --output-on-failure --no-tests=error --timeout 120 || status=1
ctest --test-dir "$build" -L e2e "${retry[@]}" --output-on-failure --no-tests=error --timeout 180 || status=1
exit $status
