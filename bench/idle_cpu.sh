#!/usr/bin/env bash
# Measures the main window's CPU use while it shows the simulated board's frames (about one a
# second) and does nothing else. Run from the repository after ./scripts/build.sh; needs xvfb-run.
# Prints the share of one core used over the measuring time.
set -euo pipefail
cd "$(dirname "$0")/../app"
seconds=${1:-30}
xvfb-run -a bash -c '
  ../build/tools/simboard --link ./com1 --quiet & board=$!
  sleep 1
  ./Tessaly & app=$!
  sleep 3
  ticks() { awk "{print \$14 + \$15}" /proc/$app/stat; }
  start=$(ticks)
  sleep '"$seconds"'
  used=$(( $(ticks) - start ))
  hz=$(getconf CLK_TCK)
  awk -v u="$used" -v hz="$hz" -v s='"$seconds"' "BEGIN { printf \"Tessaly: %.2f%% of a core over %d s\\n\", 100 * u / hz / s, s }"
  kill $app $board
'
