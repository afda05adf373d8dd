#!/usr/bin/env bash
# A clean install as a new user meets it: the .deb made from build/ (run after ./test.sh built
# everything), installed with apt-get, Tessaly started offscreen by an unprivileged user with a
# fresh home, ended by SIGTERM, and the package purged again leaving no file of it behind.
# Needs root; changes the machine only for as long as it runs.
set -euo pipefail
cd "$(dirname "$0")/.."
[ "$(id -u)" -eq 0 ] || { echo "install-test.sh needs root (it installs a package)" >&2; exit 1; }
if dpkg-query -W -f='${Status}' tessaly 2>/dev/null | grep -q "install ok installed"; then
  echo "A tessaly package is already installed here; not replacing it" >&2
  exit 1
fi
work=$(mktemp -d)
user=tessaly-install-test
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null || true
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tessaly >/dev/null 2>&1 || true
  userdel -r "$user" >/dev/null 2>&1 || true
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

config="$PWD/build/CPackConfig.cmake"
[ -f "$config" ] || fail "no build/CPackConfig.cmake: run ./test.sh first"
(cd "$work" && cpack --config "$config" -B "$work" >/dev/null 2>&1)
deb=$(ls "$work"/tessaly_*.deb)
chmod 755 "$work" && chmod 644 "$deb" # apt's sandbox user reads it
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
files=$(dpkg -L tessaly | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ -x /usr/bin/Tessaly ] || fail "no /usr/bin/Tessaly after installing"

# A new user with a fresh home; the program ends on SIGTERM after a few seconds.
useradd --create-home --home-dir "$work/home" --shell /bin/sh "$user"
# setpriv execs the program itself, so the signal goes to it and its status comes back here.
setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$work/home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
  /usr/bin/Tessaly >"$work/out.txt" 2>&1 &
pid=$!
folder="$work/home/.local/share/tessaly"
for _ in $(seq 100); do
  [ -f "$folder/settings.cfg" ] && [ -f "$folder/html/template.asp" ] && break
  sleep 0.1
done
for f in prog.cfg settings.cfg html/template.asp; do
  [ -f "$folder/$f" ] || fail "the per-user folder lacks $f: $(cat "$work/out.txt")"
done
for d in logs html Excel; do [ -d "$folder/$d" ] || fail "the per-user folder lacks $d/"; done
[ "$(stat -c %U "$folder/prog.cfg")" = "$user" ] || fail "prog.cfg is not the user's own"
sleep 2
kill -0 "$pid" 2>/dev/null || fail "Tessaly ended by itself: $(cat "$work/out.txt")"
kill -TERM "$pid"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "Tessaly ended with status $status on SIGTERM: $(cat "$work/out.txt")"

DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq tessaly >/dev/null
for f in $files; do [ ! -e "$f" ] || fail "removing the package left $f behind"; done
[ -d "$folder" ] || fail "removing the package took the user's own folder"
echo "PASS: installed, started as $user, seeded $folder, ended on SIGTERM, purged cleanly"
