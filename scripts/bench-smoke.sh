#!/usr/bin/env bash
# Runs each benchmark once, briefly, so none can rot unnoticed. The figures of a smoke run mean
# nothing; measure with a longer --benchmark_min_time on a quiet machine.
set -euo pipefail
cd "$(dirname "$0")/.."
export QT_QPA_PLATFORM=offscreen
for bench in build/bench/bench_*; do
  [ -x "$bench" ] || continue
  echo "== ${bench##*/}"
  "$bench" --benchmark_min_time=0.01 >/dev/null
done
echo "Benchmarks: all ran"
