#!/usr/bin/env bash
# Installs what is needed, builds, and runs Tessaly against the simulated logger board, in a demo
# application directory of its own inside the build folder (build/demo): your app/ folder, its
# com links, settings and logs are never touched.
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "There is no display to open the window on (DISPLAY is not set)." >&2
  echo "Run it on a desktop, or under a virtual display: xvfb-run -a ./run.sh" >&2
  exit 1
fi
demo="$PWD/build/demo"
cmake --install build --component portable --prefix "$demo" >/dev/null
build/tools/simboard --link "$demo/com1" --quiet &
board=$!
# The board removes its link when it stops; the link is in the demo folder, so removing it here
# too (the board may have been killed outright) can never take a link of yours.
trap 'kill $board 2>/dev/null; wait $board 2>/dev/null; rm -f "$demo/com1"' EXIT
sleep 0.5
"$demo/Tessaly"
