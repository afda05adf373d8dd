#!/usr/bin/env bash
# Installs what is needed, builds, and runs Tessaly against the simulated logger board.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display to open the window on (DISPLAY is not set)." >&2
  echo "Run it on a desktop, or under a virtual display: xvfb-run -a ./run.sh" >&2
  exit 1
fi
build/tools/simboard --link "$PWD/app/com1" --quiet &
board=$!
# The board removes its link when it stops; remove it here too in case it was killed outright,
# so no stale link can point at some other terminal later.
trap 'kill $board 2>/dev/null; wait $board 2>/dev/null; rm -f app/com1' EXIT
sleep 0.5
app/Tessaly
