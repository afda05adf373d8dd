#!/usr/bin/env bash
# Measures the main window's CPU use while it shows the simulated board's frames (about one a
# second) and does nothing else, in a scratch application directory (never app/ and its links).
# With --publish, publishing is on, to a Mosquitto broker this script starts on a free port.
# Run from the repository after scripts/build.sh; needs xvfb-run. Prints the share of one core
# used over the measuring time.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
publish=no
if [ "${1:-}" = "--publish" ]; then publish=yes; shift; fi
seconds=${1:-30}
dir=$(mktemp -d)
broker=
cleanup() { [ -z "$broker" ] || kill "$broker" 2>/dev/null || true; rm -rf "$dir"; }
trap cleanup EXIT
cmake --install "$root/build" --component portable --prefix "$dir" >/dev/null
if [ "$publish" = yes ]; then
  port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
  printf 'listener %s 127.0.0.1\nallow_anonymous true\nuser root\n' "$port" >"$dir/mosquitto.conf"
  mosquitto -c "$dir/mosquitto.conf" >/dev/null 2>&1 & broker=$!
  printf 'Publish Config File\r\n\r\n<Enabled>1</Enabled>\r\n<Host>127.0.0.1</Host>\r\n<Port>%s</Port>\r\n<User></User>\r\n<Password></Password>\r\n<TLS>0</TLS>\r\n<BaseTopic>tessaly</BaseTopic>\r\n<Name>bench</Name>\r\n<Discovery>1</Discovery>\r\n\r\n' "$port" >"$dir/publish.cfg"
fi
cd "$dir"
xvfb-run -a bash -c '
  "'"$root"'/build/tools/simboard" --link ./com1 --quiet & board=$!
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
