#!/usr/bin/env bash
# Builds every libFuzzer target with clang in a build tree of its own and runs
# each one; QUILLON_FUZZ_SECONDS (default 180) is shared equally among all the
# fuzz targets the build produces. A crash, leak or hang that a target finds
# fails the run; the input that caused it is kept in <build>/fuzz-artifacts.
#   QUILLON_FUZZ_BUILD_DIR  build folder (default: build-fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

./scripts/setup.sh

build=${QUILLON_FUZZ_BUILD_DIR:-build-fuzz}
total=${QUILLON_FUZZ_SECONDS:-180}
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DQUILLON_FUZZ=ON -DQUILLON_TESTS=OFF -DQUILLON_BENCH=OFF "${launcher[@]}"
rm -f "$build"/bin/fuzz_* # only what this build makes is run
cmake --build "$build" -j "$(nproc)" --target quillon_fuzzers

mapfile -t targets < <(find "$build/bin" -maxdepth 1 -type f -name 'fuzz_*' -perm -u+x | sort)
if ((${#targets[@]} == 0)); then
  echo "fuzz: the build made no fuzz targets" >&2
  exit 1
fi
each=$((total / ${#targets[@]}))
((each > 0)) || each=1
artifacts=$build/fuzz-artifacts
mkdir -p "$artifacts"
for target in "${targets[@]}"; do
  name=$(basename "$target")
  corpus=$build/fuzz-corpus/$name
  mkdir -p "$corpus"
  echo "fuzz: $name for $each s"
  if ! "$target" -max_total_time="$each" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$artifacts/$name-" "$corpus"; then
    echo "fuzz: $name failed; its input is in $artifacts" >&2
    exit 1
  fi
done
echo "fuzz: ${#targets[@]} targets ran clean for $each s each"
