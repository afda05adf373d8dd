#!/usr/bin/env bash
# Runs each benchmark once, briefly, so none can rot unnoticed. The figures of a smoke run mean
# nothing; measure with a longer --benchmark_min_time on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
# A few days stand in for the season benchmark's year.
export TESSALY_SEASON_DAYS=3
log=$(mktemp)
trap 'rm -f "$log"' EXIT
count=0
for bench in build/bench/bench_*; do
  [ -f "$bench" ] && [ -x "$bench" ] || continue
  if ! "$bench" --benchmark_min_time=0.01 >"$log" 2>&1; then
    cat "$log" >&2
    echo "Benchmark ${bench##*/} failed" >&2
    exit 1
  fi
  count=$((count + 1))
done
[ "$count" -gt 0 ] || { echo "No benchmarks were built" >&2; exit 1; }
# The web view's CPU script for two seconds a phase and two followers, not its minute: only so it
# cannot rot. Run it by hand for the figure.
if ! bench/web_events_cpu.sh 2 2 >"$log" 2>&1; then
  cat "$log" >&2
  echo "bench/web_events_cpu.sh failed" >&2
  exit 1
fi
echo "Benchmarks: $count ran, and bench/web_events_cpu.sh briefly"
