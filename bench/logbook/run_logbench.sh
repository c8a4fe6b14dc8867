#!/bin/sh
# Runs every log book measurement in a fresh process with its log in the page cache:
# the log's own operations and the charts' figures (bench_logbook), then the charts
# panel read and drawn beside the load it starts with (bench_logpanel).
# usage: run_logbench.sh BUILD_DIR [RUNS]
set -eu
# Absolute, because the panel bench follows a link to the log from another folder.
build=$(cd "$1" && pwd)
bin="$build/bin"
runs="${2:-3}"
export QUILLON_BENCH_DATA="${QUILLON_BENCH_DATA:-$build/bench-data}"
export XDG_DATA_HOME="$QUILLON_BENCH_DATA/data" XDG_CONFIG_HOME="$QUILLON_BENCH_DATA/config"
mkdir -p "$QUILLON_BENCH_DATA"
for flights in 32767 1000000; do
  log="$QUILLON_BENCH_DATA/log-$flights.txt"
  [ -f "$log" ] || "$bin/bench_logbook" generate "$flights" "$log"
  cat "$log" > /dev/null
done
measure() {
  for flights in 32767 1000000; do
    i=0
    while [ "$i" -lt "$runs" ]; do
      "$bin/$1" --benchmark_filter="^BM_$2/$flights/" --benchmark_format=console 2>/dev/null | grep "^BM_"
      i=$((i + 1))
    done
  done
}
for name in LoadSortTotal ChartData ReadFloor SortByType Report Save WriteFloor; do
  measure bench_logbook "$name"
done
for name in LoadTotalFloor ChartsPanel; do
  measure bench_logpanel "$name"
done
