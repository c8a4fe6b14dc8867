#!/usr/bin/env bash
# Installs the Debian 12 packages that building and testing Quillon needs.
# Only packages that are missing are installed, so a second run costs nothing.
#   --with-flightgear  also FlightGear (about 1.3 GB), for the end-to-end tests
#                      against the real simulator; only the test command asks for it
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ ccache pkg-config
  # Qt 6 (Core, Widgets, PrintSupport, Test, Charts; Svg draws the icons at any size)
  qt6-base-dev qt6-charts-dev libqt6opengl6-dev libgl-dev qt6-svg-dev libqt6svg6
  # tests and benchmarks
  libgtest-dev libgmock-dev googletest libbenchmark-dev tzdata
  # fuzzing and sanitizers with clang
  clang libclang-rt-14-dev
  # the Debian package (cpack -G DEB finds library dependencies with dpkg-shlibdeps)
  dpkg-dev
  # headless display, screenshots and PDF checks
  xvfb xauth x11-utils imagemagick xdotool poppler-utils
  # Windows targets, tested under Wine
  mingw-w64 wine wine64
  # the fonts Windows programs expect (Tahoma for menus), from Wine itself
  fonts-wine
  # Arial's metric-compatible stand-in where Arial is missing
  fonts-liberation
)
if [ "${1:-}" = --with-flightgear ]; then
  # The simulator itself (/usr/games/fgfs), started by the tests under Xvfb.
  packages+=(flightgear)
fi

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get update -qq
  "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
