#!/usr/bin/env bash
# Measures tessalyd's CPU use with the web view on (loopback) while it logs the simulated board's
# frames (about one a second): first with no client, then with 20 clients following /events.
# Prints both and the difference as shares of one core. Runs the build's tessalyd in a scratch
# folder (never app/). Run from the repository after scripts/build.sh; needs python3.
# Usage: bench/web_events_cpu.sh [SECONDS_EACH (60)] [CLIENTS (20)]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
clients=${2:-20}
dir=$(mktemp -d)
board=
app=
followers=
cleanup() {
  for pid in $followers $app $board; do kill "$pid" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$dir"
}
trap cleanup EXIT

cp "$root/programs/appdir/prog.cfg" "$root/programs/appdir/settings.cfg" "$dir/"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf 'Web Settings\r\n\r\n<WebOn>1</WebOn>\r\n<Address>127.0.0.1</Address>\r\n<Port>%s</Port>\r\n<Token></Token>\r\n\r\n' "$port" >"$dir/web.cfg"
chmod 600 "$dir/web.cfg"

"$root/build/tools/simboard" --link "$dir/com1" --quiet & board=$!
for _ in $(seq 50); do [ -e "$dir/com1" ] && break; sleep 0.1; done
XDG_CACHE_HOME="$dir/cache" "$root/build/programs/tessalyd" --dir "$dir" 2>"$dir/tessalyd.log" & app=$!
answers() {
  python3 -c 'import sys, urllib.request; urllib.request.urlopen(sys.argv[1], timeout=2).read()' \
    "http://127.0.0.1:$port/api/now" 2>/dev/null
}
for _ in $(seq 100); do answers && break; sleep 0.1; done
answers || { echo "tessalyd does not answer on port $port:" >&2; cat "$dir/tessalyd.log" >&2; exit 1; }
sleep 3 # past the start's own work

ticks() { awk '{print $14 + $15}' "/proc/$app/stat"; }
measure() {
  local start
  start=$(ticks)
  sleep "$seconds"
  echo $(($(ticks) - start))
}
idle=$(measure)

# The followers, in one process: each a connection reading /events; it says how many events each
# has had when it ends, and marks when every one has had its first.
python3 - "$port" "$clients" "$dir/following" >"$dir/followers.txt" <<'EOF' &
import selectors, signal, socket, sys
port, count, ready = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
events = [0] * count
def report(*_):
    print(f"events per follower: fewest {min(events)}, most {max(events)}", flush=True)
    sys.exit(0)
signal.signal(signal.SIGTERM, report)
chooser = selectors.DefaultSelector()
tails = [b""] * count
for i in range(count):
    # The server takes 8 connections from one address: 8 followers from each loopback address.
    s = socket.create_connection(("127.0.0.1", port), source_address=(f"127.0.0.{1 + i // 8}", 0))
    s.sendall(b"GET /events HTTP/1.1\r\nHost: 127.0.0.1:%d\r\nAccept: text/event-stream\r\n\r\n" % port)
    chooser.register(s, selectors.EVENT_READ, i)
marked = False
while True:
    for key, _ in chooser.select():
        data = key.fileobj.recv(65536)
        if not data:
            sys.exit(f"the server closed follower {key.data}")
        text = tails[key.data] + data
        events[key.data] += text.count(b"data:")
        tails[key.data] = text[-4:]  # shorter than "data:": never counted twice
    if not marked and min(events) > 0:
        open(ready, "w").close()
        marked = True
EOF
followers=$!
for _ in $(seq 100); do [ -e "$dir/following" ] && break; sleep 0.1; done
[ -e "$dir/following" ] || { echo "the $clients followers of /events got no event" >&2; exit 1; }
busy=$(measure)
kill "$followers"
wait "$followers" || true
followers=

hz=$(getconf CLK_TCK)
awk -v i="$idle" -v b="$busy" -v hz="$hz" -v s="$seconds" -v n="$clients" 'BEGIN {
  printf "%-40s %6.2f%% of a core over %d s\n", "tessalyd, web view on, no client:", 100 * i / hz / s, s
  printf "%-40s %6.2f%% of a core over %d s\n", "tessalyd, " n " clients following /events:", 100 * b / hz / s, s
  printf "%-40s %6.2f%% of a core\n", "difference:", 100 * (b - i) / hz / s }'
cat "$dir/followers.txt"
