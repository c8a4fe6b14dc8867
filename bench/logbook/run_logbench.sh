#!/bin/sh
# Runs every log book measurement in a fresh process with its log in the page cache.
# usage: run_logbench.sh BUILD_DIR [RUNS]
set -eu
bin="$1/bin/bench_logbook"
runs="${2:-3}"
export QUILLON_BENCH_DATA="${QUILLON_BENCH_DATA:-$1/bench-data}"
export XDG_DATA_HOME="$QUILLON_BENCH_DATA/data" XDG_CONFIG_HOME="$QUILLON_BENCH_DATA/config"
mkdir -p "$QUILLON_BENCH_DATA"
for flights in 32767 1000000; do
  log="$QUILLON_BENCH_DATA/log-$flights.txt"
  [ -f "$log" ] || "$bin" generate "$flights" "$log"
  cat "$log" > /dev/null
done
for name in LoadSortTotal ChartData ReadFloor SortByType Report Save WriteFloor; do
  for flights in 32767 1000000; do
    i=0
    while [ "$i" -lt "$runs" ]; do
      "$bin" --benchmark_filter="^BM_$name/$flights/" --benchmark_format=console 2>/dev/null | grep "^BM_"
      i=$((i + 1))
    done
  done
done
