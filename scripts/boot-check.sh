#!/usr/bin/env bash
# The installed service under a real service manager: boots Debian 12's systemd in a container
# (systemd-nspawn) on a minimal tree with the .deb installed, the simulated board on a
# pseudo-terminal as its serial line, and checks through systemctl and journalctl that
#   - tessalyd.service starts and reaches READY (active (running), Type=notify),
#   - the journal shows its status lines,
#   - a main process stopped with SIGSTOP is restarted by the watchdog,
#   - lines that could not be written at a stop are kept in /var/cache/tessaly and written once
#     after the next start,
#   - systemctl stop with the whole folder hung (a FUSE folder whose daemon is stopped) ends
#     within TimeoutStopSec, by the program's own exit rather than systemd's kill.
# For the test only, a drop-in lowers WatchdogSec to 5 s (the unit's 30 s would make the
# watchdog check wait half a minute); everything else is the unit as shipped.
#
#   scripts/boot-check.sh DEB [TREE]
#
# DEB is the built tessaly package. TREE is a Debian 12 tree made with mmdebstrap
# --variant=minbase, which this script changes (it installs systemd, dbus, bindfs and the package
# in it); without one, a tree is made from this machine's apt sources and removed at the end,
# whatever happened. The simulated board is build/tools/simboard, or $SIMBOARD. Needs root.
# Prints a PASS or FAIL line for each check and "N passed, M failed" last; exits non-zero on
# any failure.
set -eEuo pipefail
start=$SECONDS

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "usage: scripts/boot-check.sh DEB [TREE]" >&2
  exit 2
fi
# The paths given are taken from where it was called; the board is the checkout's own.
deb=$(realpath -m "$1")
given_tree=${2:+$(realpath -m "$2")}
simboard=${SIMBOARD:+$(realpath -m "$SIMBOARD")}
cd "$(dirname "$0")/.."
. scripts/debian-tree.sh
simboard=${simboard:-$PWD/build/tools/simboard}
if [ "$(id -u)" -ne 0 ]; then
  echo "boot-check.sh needs root: it installs into a Debian tree and boots it in a container" >&2
  exit 2
fi
[ -f "$deb" ] || { echo "boot-check.sh: no package at $deb" >&2; exit 2; }
[ -x "$simboard" ] || { echo "boot-check.sh: no simulated board at $simboard" >&2; exit 2; }
for tool in systemd-nspawn nsenter unshare findmnt; do
  command -v "$tool" >/dev/null || { echo "boot-check.sh: $tool is missing" >&2; exit 2; }
done

passed=0
failed=0
pass() {
  echo "PASS: $*"
  passed=$((passed + 1))
}
fail() {
  echo "FAIL: $*"
  failed=$((failed + 1))
}
finished=
finish() {
  finished=yes
  echo "boot-check.sh took $((SECONDS - start)) s"
  echo "$passed passed, $failed failed"
  [ "$failed" -eq 0 ]
}
# A command that fails outside a check ends the run, as one more failure.
stopped_at=
trap 'stopped_at=${stopped_at:-"$LINENO (from line ${BASH_LINENO[0]}): $BASH_COMMAND"}' ERR

# Runs a command until it succeeds, at most the given number of seconds.
wait_for() {
  local limit=$1
  shift
  local end=$((SECONDS + limit))
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}

work=$(mktemp -d /tmp/tessaly-boot-check.XXXXXX)
tree=$given_tree
made_tree=
nspawn=
pid1=

# Inside the booted container: all of PID 1's namespaces, its root and a plain environment.
in_box() {
  nsenter --target "$pid1" --mount --uts --ipc --net --pid --cgroup --root --wd \
    /usr/bin/env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    LANG=C.UTF-8 SYSTEMD_PAGER= SYSTEMD_COLORS=0 "$@"
}

ended() { ! kill -0 "$nspawn" 2>/dev/null; }
stop_container() {
  [ -n "$nspawn" ] || return 0
  if kill -0 "$nspawn" 2>/dev/null; then
    if [ -n "$pid1" ]; then
      # A stopped FUSE daemon would hold the shutdown up at the unmount.
      in_box systemctl kill --signal=SIGCONT boot-check-stuckfs.service >/dev/null 2>&1 || true
      in_box systemctl poweroff --no-block >/dev/null 2>&1 || true
      wait_for 60 ended || true
    fi
    # systemd-nspawn turns SIGTERM into a clean shutdown request; SIGKILL ends it outright,
    # and the container's processes with its PID namespace.
    if kill -0 "$nspawn" 2>/dev/null; then
      kill -TERM "$nspawn" 2>/dev/null || true
      wait_for 30 ended || kill -KILL "$nspawn" 2>/dev/null || true
    fi
  fi
  wait "$nspawn" 2>/dev/null || true
  nspawn=
}

cleanup() {
  local status=$?
  if [ -z "$finished" ]; then
    if [ -n "$stopped_at" ]; then
      fail "boot-check.sh stopped at line $stopped_at"
    else
      fail "boot-check.sh ended (status $status) before its checks were done"
    fi
    finish || true
    [ "$status" -ne 0 ] || status=1
  fi
  stop_container
  rm -rf "$work"
  [ -n "$made_tree" ] || return 0
  # The container's and the chroot's mounts live in namespaces of their own and go with them;
  # should one still show here, the tree is left as it is rather than removed through it.
  local mounts
  mounts=$(findmnt -rn -o TARGET)
  if grep -q "^$made_tree" <<<"$mounts"; then
    echo "boot-check.sh: $made_tree still has mounts; not removed" >&2
    return "$status"
  fi
  rm -rf --one-file-system "$made_tree"
  return "$status"
}
trap cleanup EXIT
# Stopped from outside, it still shuts the container down and removes what it made.
trap 'exit 130' INT
trap 'exit 143' TERM

if [ -z "$tree" ]; then
  made_tree=$(mktemp -d /var/tmp/tessaly-boot.XXXXXX)
  tree=$made_tree
  echo "Making a minimal Debian 12 tree in $tree"
  debian_tree "$tree"
fi
[ -x "$tree/usr/bin/apt-get" ] || { echo "boot-check.sh: $tree is not a Debian tree" >&2; exit 2; }

# A command in the tree by chroot, with /proc and /dev in a private mount namespace that ends
# with it.
in_tree() { debian_tree_run "$tree" "$@"; }

echo "Installing systemd, dbus, bindfs and $(basename "$deb") in the tree"
# No service of a package starts at its installation: they start when the tree boots.
printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
chmod 755 "$tree/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$tree/etc/resolv.conf"
cp "$deb" "$tree/tmp/tessaly.deb"
chmod 644 "$tree/tmp/tessaly.deb" # apt's download user reads it
if ! in_tree sh -c 'apt-get update -qq && apt-get install -y -qq --no-install-recommends \
    /tmp/tessaly.deb systemd dbus bindfs' >"$work/apt.log" 2>&1; then
  cat "$work/apt.log"
  fail "the package, systemd, dbus and bindfs install in a Debian 12 tree"
  finish
  exit 1
fi
rm -f "$tree/tmp/tessaly.deb" "$tree/usr/sbin/policy-rc.d"
install -m 755 "$simboard" "$tree/usr/local/bin/simboard"

# The test's own settings for the unit, said above: a watchdog that bites after 5 s.
mkdir -p "$tree/etc/systemd/system/tessalyd.service.d"
printf '[Service]\nWatchdogSec=5\n' >"$tree/etc/systemd/system/tessalyd.service.d/boot-check.conf"

# The service's folder as its first start makes it (systemd hands it to the service's user),
# with a record every 10 s and port 1 linked to where the simulated board puts its line.
state=$tree/var/lib/private/tessaly
cache=$tree/var/cache/private/tessaly
rm -rf "$state" "$cache" "$tree/var/lib/tessaly" "$tree/var/cache/tessaly"
mkdir -p "$tree/var/lib/private" "$tree/var/cache/private"
chmod 700 "$tree/var/lib/private" "$tree/var/cache/private"
mkdir -m 700 "$state"
ln -s private/tessaly "$tree/var/lib/tessaly"
sed 's|<LogDelay>[0-9]*</LogDelay>|<LogDelay>10</LogDelay>|' "$tree/usr/share/tessaly/prog.cfg" \
  >"$state/prog.cfg"
ln -s /run/simboard/com1 "$state/com1"

echo "Booting the tree with systemd-nspawn"
# The hung folder of the last check is a FUSE folder: the container needs /dev/fuse for it.
fuse=()
[ -c /dev/fuse ] && fuse=(--bind=/dev/fuse)
systemd-nspawn --quiet -D "$tree" --machine=tessaly-boot-check -b --register=no --keep-unit \
  --private-network "${fuse[@]}" --console=read-only </dev/null >"$work/console.log" 2>&1 &
nspawn=$!
# The container's PID 1 is the child of systemd-nspawn that runs systemd.
find_pid1() {
  local child
  for child in $(ps -o pid= --ppid "$nspawn"); do
    if [ "$(readlink "/proc/$child/exe" 2>/dev/null)" = "/usr/lib/systemd/systemd" ] ||
      [ "$(readlink "/proc/$child/exe" 2>/dev/null)" = "/lib/systemd/systemd" ]; then
      pid1=$child
      return 0
    fi
  done
  return 1
}
booted() {
  local state
  state=$(in_box systemctl is-system-running 2>/dev/null) || true
  [ "$state" = running ] || [ "$state" = degraded ]
}
if ! wait_for 60 find_pid1 || ! wait_for 90 booted; then
  echo "The container did not boot; systemd-nspawn said:"
  cat "$work/console.log"
  fail "Debian 12's systemd boots in a container"
  finish
  exit 1
fi
pass "Debian 12's systemd boots in a container ($(in_box systemctl is-system-running))"
if [ "$(in_box systemctl is-system-running)" = degraded ]; then
  in_box systemctl --failed --no-legend || true
fi

unit() { in_box systemctl show -P "$1" tessalyd.service; }
running() { [ "$(unit ActiveState)/$(unit SubState)" = active/running ]; }
inactive() { [ "$(unit ActiveState)" = inactive ] || [ "$(unit ActiveState)" = failed ]; }
journal() { in_box journalctl -q -b -u tessalyd.service -o cat "$@"; }
# Where the journal is now, so later waits read only what came after.
cursor() { in_box journalctl -q -b -n 1 -o cat --show-cursor | sed -n 's/^-- cursor: //p'; }
# Output is read whole before grep looks at it: grep -q ending early would fail the pipe.
said_since() { # cursor, extended regular expression
  local text
  text=$(journal --after-cursor="$1") || return 1
  grep -qE "$2" <<<"$text"
}
said() { # a whole line, exactly
  local text
  text=$(journal) || return 1
  grep -qxF "$1" <<<"$text"
}
day_files() { find "$state/logs" -maxdepth 1 -name '[0-9]*_*_*.txt' 2>/dev/null || true; }
day_bytes() {
  local f total=0
  for f in $(day_files); do total=$((total + $(stat -c %s "$f"))); done
  echo "$total"
}
grown_past() { [ "$(day_bytes)" -gt "$1" ]; }

# The simulated board, its line a pseudo-terminal of the container's own, given to the group
# dialout as a serial device is. Started again, it makes a new line and sends other values.
seed=7
board() {
  seed=$((seed + 1))
  in_box systemctl stop boot-check-simboard.service >/dev/null 2>&1 || true
  in_box systemctl reset-failed boot-check-simboard.service >/dev/null 2>&1 || true
  in_box mkdir -p /run/simboard
  in_box systemd-run --quiet --unit=boot-check-simboard /usr/local/bin/simboard \
    --link /run/simboard/com1 --seed "$seed" --quiet
  if wait_for 20 in_box test -c /run/simboard/com1; then
    in_box sh -c 'chgrp dialout "$(readlink /run/simboard/com1)" &&
      chmod 660 "$(readlink /run/simboard/com1)"'
  else
    echo "The simulated board did not start:"
    in_box journalctl -q -b -u boot-check-simboard.service -o cat || true
  fi
}
board

# 1. The unit starts and tells systemd it is ready.
in_box systemctl start --no-block tessalyd.service
if wait_for 30 running && [ "$(unit Type)" = notify ]; then
  pass "tessalyd.service starts and reaches READY: active (running), Type=notify"
else
  fail "tessalyd.service starts and reaches READY (it is $(unit ActiveState)/$(unit SubState))"
  journal | tail -20
fi

# 2. Its status line is the port, open on the board's line, and the journal says it.
port_open() { [[ "$(unit StatusText)" =~ ^Port\ 1\ \(.*\)\ open\ at ]]; }
if wait_for 20 port_open && said "$(unit StatusText)" && said 'Logging every 10 s.' &&
  said 'Files are kept in /var/lib/tessaly'; then
  pass "the journal shows the status lines: $(unit StatusText)"
else
  fail "the journal shows the status lines (the status is \"$(unit StatusText)\")"
  journal | tail -20
fi
if wait_for 30 grown_past 0; then
  pass "records are written to the day file in /var/lib/tessaly/logs"
else
  fail "records are written to the day file in /var/lib/tessaly/logs"
fi

# 3. A main process that stops answering is killed by the watchdog and started again.
before=$(unit NRestarts)
main=$(unit MainPID)
mark=$(cursor)
in_box sh -c 'kill -STOP "$1"' sh "$main"
restarted() { [ "$(unit NRestarts)" -gt "$before" ] && [ "$(unit MainPID)" != "$main" ] && running; }
if wait_for 60 restarted && said_since "$mark" 'Watchdog timeout'; then
  pass "SIGSTOP of the main process: the watchdog restarts it (NRestarts $before -> $(unit NRestarts))"
else
  fail "SIGSTOP of the main process: the watchdog restarts it"
  journal --after-cursor="$mark" | tail -20
fi

# 4. Lines that could not be written at a stop are kept in /var/cache/tessaly and written once
# at the next start. The logs folder and its files become root's, readable but not writable by
# the service's user, as on a disk that refuses writes; the next record then waits.
# A program killed outright leaves its line in exclusive use while the board still holds the
# other end open (a real serial device is closed with the program); a new line for the board
# and a restart give the service a line it can open.
board
in_box systemctl restart tessalyd.service
if ! wait_for 30 running || ! wait_for 20 port_open; then
  echo "After a restart the port is not open: $(unit StatusText)"
fi
owner=$(stat -c %u:%g "$state/logs")
modes=$(cd "$state/logs" && stat -c '%a %n' -- * .)
mark=$(cursor)
chown -R root:root "$state/logs"
chmod go+rX -R "$state/logs"
refused() { said_since "$mark" '^Cannot write /var/lib/tessaly/logs/[0-9_]+\.txt .*waiting'; }
day=
if wait_for 40 refused; then
  waiting=$(journal --after-cursor="$mark" | grep -E '^Cannot write /var/lib/tessaly/logs/[0-9_]+\.txt ' || true)
  waiting=${waiting%%$'\n'*}
  day=$(sed -E 's|^Cannot write /var/lib/tessaly/(logs/[0-9_]+\.txt) .*|\1|' <<<"$waiting")
  pass "a record the folder refuses waits: $waiting"
else
  fail "a record the folder refuses waits (no \"Cannot write\" for the day file in the journal)"
fi
mark=$(cursor)
in_box timeout 60 systemctl stop tessalyd.service || true
kept=$(journal --after-cursor="$mark" |
  sed -n 's/^Lines that could not be written are kept in \(.*\) and written to their files at the next start\.$/\1/p')
spool=$cache/${kept#/var/cache/tessaly/}
# The day file as the stop left it, and the day's records the spool holds, each a line of its own.
: >"$work/before.txt"
: >"$work/kept.txt"
if [ -n "$day" ] && [ -f "$state/$day" ]; then
  cp "$state/$day" "$work/before.txt"
fi
if [[ "$kept" == /var/cache/tessaly/* ]] && [ -s "$spool" ]; then
  { grep -a -o '<V>[^[:cntrl:]]*</T>' "$spool" || true; } | sed 's/$/\r/' >"$work/kept.txt"
  pass "at the stop the waiting lines are kept in $kept ($(wc -l <"$work/kept.txt") records of the day)"
else
  fail "at the stop the waiting lines are kept in /var/cache/tessaly (kept in: \"$kept\")"
  journal --after-cursor="$mark" | tail -20
fi
chown -R "$owner" "$state/logs"
while read -r mode name; do chmod "$mode" "$state/logs/$name"; done <<<"$modes"
cat "$work/before.txt" "$work/kept.txt" >"$work/expected.txt"
# Started with logging off, the service writes nothing to the day file but what was kept; once it
# has said so and stopped again, the day file must be what it was at the stop, then the kept
# records in their order, each once, and the spool gone.
sed -i 's|<LogOn>1</LogOn>|<LogOn>0</LogOn>|' "$state/prog.cfg"
mark=$(cursor)
in_box systemctl start --no-block tessalyd.service
replayed() { said_since "$mark" '^([0-9]+) of \1 lines kept from the last run in /var/cache/tessaly/.* were written\.$'; }
if wait_for 30 running && wait_for 20 replayed; then
  replay=$(journal --after-cursor="$mark" | grep -E 'lines kept from the last run' || true)
else
  replay=
fi
in_box timeout 60 systemctl stop tessalyd.service || true
if [ -z "$replay" ]; then
  why="the journal does not say that the lines kept from the last run were written"
elif ! [ -s "$work/kept.txt" ] || [ -z "$day" ]; then
  why="no record of the day was kept"
elif ! cmp -s "$state/$day" "$work/expected.txt"; then
  why="the day file is not what it was at the stop followed by the kept records"
elif [ -e "$spool" ]; then
  why="the spool $kept is still there"
else
  why=
fi
if [ -z "$why" ]; then
  pass "after systemctl start the kept records are written once: $replay"
else
  fail "after systemctl start the kept records are written once: $why"
  journal --after-cursor="$mark" | tail -20
fi
sed -i 's|<LogOn>0</LogOn>|<LogOn>1</LogOn>|' "$state/prog.cfg"

# 5. systemctl stop with the whole folder hung ends within TimeoutStopSec by the program's own
# exit. The folder is a FUSE mirror of itself (bindfs) whose daemon is stopped with SIGSTOP: each
# call into it then waits, as on a dead network or USB disk.
in_box systemctl stop tessalyd.service
in_box systemd-run --quiet --unit=boot-check-stuckfs /usr/bin/bindfs -f -o allow_other \
  /var/lib/private/tessaly /var/lib/private/tessaly
mounted() { [[ "$(in_box findmnt -n -o FSTYPE /var/lib/private/tessaly)" == fuse* ]]; }
if [ ${#fuse[@]} -eq 0 ] || ! wait_for 20 mounted; then
  fail "a FUSE folder in the container (bindfs on /dev/fuse; this machine has$([ ${#fuse[@]} -gt 0 ] || echo " no") /dev/fuse)"
  in_box journalctl -q -b -u boot-check-stuckfs.service -o cat | tail -20 || true
else
  in_box systemctl start --no-block tessalyd.service
  bytes=$(day_bytes)
  if wait_for 30 running && wait_for 40 grown_past "$bytes"; then
    mark=$(cursor)
    in_box systemctl kill --signal=SIGSTOP boot-check-stuckfs.service
    if wait_for 40 said_since "$mark" '^The folder /var/lib/tessaly has not answered since'; then
      limit=$(unit TimeoutStopUSec)
      began=$SECONDS
      in_box timeout 90 systemctl stop tessalyd.service || true
      took=$((SECONDS - began))
      result=$(unit Result)
      if [ "$result" = success ] && ! said_since "$mark" 'timed out'; then
        pass "systemctl stop with the folder hung ends in $took s, within TimeoutStopSec=$limit"
      else
        fail "systemctl stop with the folder hung ends within TimeoutStopSec=$limit (it took $took s, Result=$result)"
        journal --after-cursor="$mark" | tail -20
      fi
    else
      fail "the service notices the hung folder (no \"has not answered\" in the journal)"
    fi
  else
    fail "tessalyd.service runs and writes on the FUSE folder"
  fi
  in_box systemctl kill --signal=SIGCONT boot-check-stuckfs.service || true
  in_box systemctl stop tessalyd.service boot-check-stuckfs.service || true
fi

stop_container
finish
