#!/usr/bin/env bash
# A clean install as a new user meets it: the .deb (the one given, or one made from build/ after
# ./test.sh built everything), installed with apt-get, Tessaly started offscreen by an
# unprivileged user with a fresh home, ended by SIGTERM, the package removed leaving no file of
# it behind, and purged. CI installs the .deb here only: its InstallLayout test stops before the
# real install (TESSALY_INSTALL_TEST=later).
# Needs root; changes the machine only for as long as it runs.
#   scripts/install-test.sh [DEB]
set -euo pipefail
given=${1:+$(realpath "$1")}
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

if [ -n "$given" ]; then
  [ -f "$given" ] || fail "no such .deb: $given"
  cp "$given" "$work/"
else
  config="$PWD/build/CPackConfig.cmake"
  [ -f "$config" ] || fail "no build/CPackConfig.cmake: run ./test.sh first"
  (cd "$work" && cpack --config "$config" -B "$work" >/dev/null 2>&1)
fi
deb=$(ls "$work"/tessaly_*.deb)
chmod 755 "$work" && chmod 644 "$deb" # apt's sandbox user reads it
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$deb" >/dev/null
files=$(dpkg -L tessaly | while read -r f; do [ -f "$f" ] && echo "$f"; done)
[ -x /usr/bin/Tessaly ] || fail "no /usr/bin/Tessaly after installing"

# A new user with a fresh home; the program is ended by SIGTERM once it has taken its folder.
useradd --create-home --home-dir "$work/home" --shell /bin/sh "$user"
# setpriv execs the program itself, so the signal goes to it and its status comes back here.
setpriv --reuid="$user" --regid="$user" --init-groups env -i HOME="$work/home" PATH=/usr/bin:/bin QT_QPA_PLATFORM=offscreen \
  /usr/bin/Tessaly >"$work/out.txt" 2>&1 &
pid=$!
# The lock file comes after the folder is seeded: the program has taken its folder. It ends on
# SIGTERM through its close steps, whenever during start-up the signal comes.
folder="$work/home/.local/share/tessaly"
for _ in $(seq 600); do
  [ -f "$folder/tessaly.lock" ] && break
  kill -0 "$pid" 2>/dev/null || fail "Tessaly ended by itself: $(cat "$work/out.txt")"
  sleep 0.1
done
for f in prog.cfg settings.cfg html/template.asp tessaly.lock; do
  [ -f "$folder/$f" ] || fail "the per-user folder lacks $f: $(cat "$work/out.txt")"
done
for d in logs html Excel; do [ -d "$folder/$d" ] || fail "the per-user folder lacks $d/"; done
[ "$(stat -c %U "$folder/prog.cfg")" = "$user" ] || fail "prog.cfg is not the user's own"
kill -TERM "$pid" 2>/dev/null || fail "Tessaly ended by itself: $(cat "$work/out.txt")"
status=0
wait "$pid" || status=$?
pid=
[ "$status" -eq 0 ] || fail "Tessaly ended with status $status on SIGTERM: $(cat "$work/out.txt")"

# Removed (not yet purged), as README promises: every installed file goes, the user's own stay.
DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq tessaly >/dev/null
for f in $files; do [ ! -e "$f" ] || fail "removing the package left $f behind"; done
[ -d "$folder" ] || fail "removing the package took the user's own folder"
# Purged: what a removal keeps (configuration files) goes too, and dpkg forgets the package.
status=$(dpkg-query -W -f='${db:Status-Status}' tessaly 2>/dev/null || true)
[ "$status" != config-files ] || DEBIAN_FRONTEND=noninteractive dpkg --purge tessaly >/dev/null
status=$(dpkg-query -W -f='${db:Status-Status}' tessaly 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "tessaly is $status after the purge"
echo "PASS: installed, started as $user, seeded $folder, ended on SIGTERM, removed and purged cleanly"
