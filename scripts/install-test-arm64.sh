#!/usr/bin/env bash
# The arm64 .deb as a Raspberry Pi owner meets it, on this amd64 machine: lintian's check, then in
# a minimal arm64 Debian 12 tree run under qemu-aarch64-static (binfmt_misc)
#   - apt-get installs it with its dependencies,
#   - tessalyd --version names the package's version,
#   - tessalyd --dir logs the simulated board's frames from a pseudo-terminal: the positive sign
#     is a record line in the day file; it then ends on SIGTERM with status 0,
#   - apt-get purge takes every file of it away,
# and the tree is removed, whatever happened.
#   scripts/install-test-arm64.sh DEB [SIMBOARD [TREE]]
# SIMBOARD is the arm64 simulated board of the same build (scripts/build-arm64.sh puts it beside
# the .deb, where it is looked for by default); it runs in the tree too. TREE is an arm64
# Debian 12 tree made with mmdebstrap --variant=minbase, which this script changes and keeps;
# without one, a tree is made from this machine's apt sources and removed at the end. Needs root. Programs run
# here by a shell only: under qemu-user, a program cannot start another one through QProcess.
set -euo pipefail
start=$SECONDS
if [ $# -lt 1 ] || [ $# -gt 3 ]; then
  echo "usage: scripts/install-test-arm64.sh DEB [SIMBOARD [TREE]]" >&2
  exit 2
fi
deb=$(realpath -m "$1")
simboard=$(realpath -m "${2:-$(dirname "$deb")/simboard}")
given_tree=${3:+$(realpath -m "$3")}
cd "$(dirname "$0")/.."
. scripts/debian-tree.sh
[ "$(id -u)" -eq 0 ] || { echo "install-test-arm64.sh needs root (it makes a Debian tree)" >&2; exit 1; }
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$deb" ] || fail "no such .deb: $deb"
[ -x "$simboard" ] || fail "no simulated board at $simboard"
[ "$(dpkg-deb -f "$deb" Architecture)" = arm64 ] || fail "$deb is not an arm64 package"
file -b "$simboard" | grep -q 'ARM aarch64' || fail "$simboard is not an arm64 program"

# Debian's checks, as for the amd64 package (tests/install_layout.sh).
report=$(lintian --fail-on error,warning "$deb" 2>/dev/null) || fail "lintian: $report"
[ -z "$report" ] || fail "lintian: $report"
echo "PASS: lintian finds nothing in $(basename "$deb")"

enable_arm64_emulation
tree=$given_tree
cleanup() {
  [ -z "$given_tree" ] && [ -n "$tree" ] || return 0
  # The runs' mounts live in namespaces of their own and go with them; should one still show
  # here, the tree is left as it is rather than removed through it.
  if findmnt -rn -o TARGET | grep -q "^$tree"; then
    echo "install-test-arm64.sh: $tree still has mounts; not removed" >&2
    return
  fi
  rm -rf --one-file-system "$tree"
}
trap cleanup EXIT
# Stopped from outside, it still removes the tree.
trap 'exit 130' INT
trap 'exit 143' TERM
if [ -z "$tree" ]; then
  # mmdebstrap checks with arch-test that this machine can run the tree's programs.
  command -v arch-test >/dev/null || fail "arch-test is missing (Debian package arch-test)"
  tree=$(mktemp -d /var/tmp/tessaly-arm64-install.XXXXXX)
  began=$SECONDS
  echo "Making a minimal arm64 Debian 12 tree in $tree"
  debian_tree "$tree" --architectures=arm64
  echo "The arm64 tree took $((SECONDS - began)) s"
fi
[ -x "$tree/usr/bin/apt-get" ] || fail "$tree is not a Debian tree"

cp "$deb" "$tree/tmp/tessaly.deb"
chmod 644 "$tree/tmp/tessaly.deb" # apt's download user reads it
install -m 755 "$simboard" "$tree/usr/local/bin/simboard"
version=$(dpkg-deb -f "$deb" Version)
# The checks inside the tree, each saying PASS or FAIL as it goes.
cat >"$tree/tmp/smoke.sh" <<'EOF'
set -euo pipefail
version=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
wait_for() { # seconds, command...: until the command succeeds
  local end=$((SECONDS + $1))
  shift
  until "$@"; do
    [ $SECONDS -lt $end ] || return 1
    sleep 0.5
  done
}

apt-get update -qq
apt-get install -y -qq --no-install-recommends /tmp/tessaly.deb >/tmp/apt.log 2>&1 ||
  fail "apt-get cannot install the package: $(cat /tmp/apt.log)"
[ "$(dpkg-query -W -f='${Architecture} ${Version}' tessaly)" = "arm64 $version" ] ||
  fail "dpkg does not have tessaly arm64 $version installed"
files=$(dpkg -L tessaly | while read -r f; do [ -f "$f" ] && echo "$f"; done)
echo "PASS: apt-get installs the package and its dependencies"

said=$(tessalyd --version)
[ "$said" = "tessalyd ${version%-*}" ] || fail "tessalyd --version says \"$said\""
echo "PASS: tessalyd --version says \"$said\""

# A folder with a record every 10 s, its port 1 linked to the simulated board's line.
dir=$(mktemp -d)
sed 's|<LogDelay>[0-9]*</LogDelay>|<LogDelay>10</LogDelay>|' /usr/share/tessaly/prog.cfg \
  >"$dir/prog.cfg"
simboard --link "$dir/com1" --seed 7 --quiet &
board=$!
tessalyd_pid=
stop() {
  [ -z "$tessalyd_pid" ] || kill "$tessalyd_pid" 2>/dev/null || true
  kill "$board" 2>/dev/null || true
}
trap stop EXIT
wait_for 30 test -c "$dir/com1" || fail "the simulated board made no line at $dir/com1"
tessalyd --dir "$dir" >"$dir/out.txt" 2>&1 &
tessalyd_pid=$!
recorded() {
  kill -0 "$tessalyd_pid" 2>/dev/null || fail "tessalyd ended by itself: $(cat "$dir/out.txt")"
  cat "$dir"/logs/[0-9]*_*_*.txt 2>/dev/null | grep -qaE '^<V>[^<]*</V>.*<T>[0-9:]+</T>'
}
wait_for 120 recorded || fail "no record in the day file after 120 s: $(cat "$dir/out.txt")"
line=$(cat "$dir"/logs/[0-9]*_*_*.txt | grep -aE '^<V>' | head -1 | tr -d '\r')
kill -TERM "$tessalyd_pid"
status=0
wait "$tessalyd_pid" || status=$?
tessalyd_pid=
[ "$status" -eq 0 ] || fail "tessalyd ended with status $status on SIGTERM: $(cat "$dir/out.txt")"
echo "PASS: tessalyd --dir logs the board's frames from a pseudo-terminal: $line"

apt-get purge -y -qq tessaly >/dev/null
for f in $files; do [ ! -e "$f" ] || fail "purging the package left $f behind"; done
status=$(dpkg-query -W -f='${db:Status-Status}' tessaly 2>/dev/null || true)
[ -z "$status" ] || [ "$status" = not-installed ] || fail "tessaly is $status after the purge"
echo "PASS: apt-get purge takes every file of the package away"
EOF
debian_tree_run "$tree" bash /tmp/smoke.sh "$version"
echo "install-test-arm64.sh took $((SECONDS - start)) s"
