#!/usr/bin/env bash
# Builds a static Qt for Windows (MinGW-w64) from Debian's own source package
# of the Qt installed here (qt6-base: Core, Gui, Widgets, PrintSupport, Test,
# OpenGL and their plugins; the parts turned off below left out)
# and installs it into a cache folder outside the checkout:
#   ${XDG_CACHE_HOME:-~/.cache}/quillon/qt-<version>-<hash>/
# named after the Qt version and a hash of everything that shapes the build
# (the Debian source version, the options, the toolchain file), so that a
# second run reuses it and a changed option builds a new one. The folder is
# complete only once it holds its stamp, .complete.
#   windows-qt.sh           build it when missing; print the folder
#   windows-qt.sh --prefix  print the folder only
# The system's package sources are left alone: apt-get reads Debian's source
# index through a folder of this script's own.
set -euo pipefail
cd "$(dirname "$0")/.."

toolchain=$PWD/cmake/mingw-w64-x86_64.cmake
mirror=${QUILLON_DEBIAN_MIRROR:-http://deb.debian.org/debian}

# Static, with the bundled image, text and font libraries (Debian's MinGW has none).
# The host's moc, rcc and uic build it, hence the host's version. No tablet events:
# Debian's source leaves out wintab.h. OpenGL stays on: the Windows platform plugin
# does not build without it, and it loads nothing until asked. Direct2D stays on
# too: without it Qt leaves out the DirectWrite font engine, which the Windows
# platform plugin still calls, and the program does not link. (Its own Direct2D
# platform plugin is not linked into the program.) Left out because the program
# does not use them: the JPEG and GIF readers.
options=(
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
  -DBUILD_SHARED_LIBS=OFF -DCMAKE_BUILD_TYPE=Release
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF -DFEATURE_tabletevent=OFF
  -DFEATURE_jpeg=OFF -DFEATURE_gif=OFF
  -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF
  -DFEATURE_system_harfbuzz=OFF -DFEATURE_system_png=OFF
)

version=$(dpkg-query -W -f='${source:Version}' qt6-base-dev 2>/dev/null) || {
  echo "error: qt6-base-dev is not installed (scripts/setup.sh installs it)" >&2
  exit 1
}
hash=$( { echo "$version"; echo "${options[@]}"; cat "$toolchain"; } | sha256sum | cut -c1-12)
cache_root=${XDG_CACHE_HOME:-$HOME/.cache}/quillon
prefix=$cache_root/qt-${version%%[+-]*}-$hash

if [ "${1:-}" = --prefix ]; then
  echo "$prefix"
  exit 0
fi

mkdir -p "$cache_root"
# One build at a time; a second caller waits, then finds the first one's Qt.
exec 9>"$cache_root/.lock"
flock 9
if [ -f "$prefix/.complete" ]; then
  echo "$prefix"
  exit 0
fi

for tool in x86_64-w64-mingw32-g++-posix dpkg-source cmake ninja; do
  command -v "$tool" >/dev/null || { echo "error: $tool not found (scripts/setup.sh installs it)" >&2; exit 1; }
done

started=$SECONDS
work=$cache_root/work-$(basename "$prefix")
rm -rf "$prefix" "$work"
mkdir -p "$prefix" "$work/etc/sources.list.d" "$work/lists/partial" "$work/cache/archives/partial"
trap 'rm -rf "$work"' EXIT
log=$work/build.log

# Runs a step with its output in the log; shows the log's end when it fails.
step() {
  echo "  $*" >>"$log"
  if ! "$@" >>"$log" 2>&1; then
    echo "error: building Qt for Windows failed at: $*" >&2
    tail -n 40 "$log" >&2
    exit 1
  fi
}

keyring=/usr/share/keyrings/debian-archive-keyring.gpg
cat >"$work/etc/sources.list" <<LIST
deb-src [signed-by=$keyring] $mirror bookworm main
deb-src [signed-by=$keyring] $mirror bookworm-updates main
deb-src [signed-by=$keyring] http://deb.debian.org/debian-security bookworm-security main
LIST
apt_options=(
  -o Dir::Etc::SourceList="$work/etc/sources.list" -o Dir::Etc::SourceParts="$work/etc/sources.list.d"
  -o Dir::State::Lists="$work/lists" -o Dir::Cache="$work/cache"
  -o Dir::Cache::pkgcache= -o Dir::Cache::srcpkgcache=
  -o APT::Sandbox::User="$(id -un)"
)

echo "Building Qt $version for Windows into $prefix (once; about 35 minutes on two cores)" >&2
cd "$work"
step apt-get "${apt_options[@]}" -qq update
step apt-get "${apt_options[@]}" -qq source "qt6-base=$version"
# The installed Qt refers to the toolchain file it was built with: a copy goes with it.
cp "$toolchain" "$prefix/"
step cmake -S qt6-base-*/ -B build -G Ninja -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DCMAKE_TOOLCHAIN_FILE="$prefix/$(basename "$toolchain")" "${options[@]}"
step cmake --build build -j "$(nproc)"
step cmake --install build
touch "$prefix/.complete"

echo "Qt for Windows built in $(((SECONDS - started) / 60)) min $(((SECONDS - started) % 60)) s," \
  "$(du -sh "$prefix" | cut -f1) installed" >&2
echo "$prefix"
