#!/usr/bin/env bash
# The systemd units as systemd itself reads them: both pass systemd-analyze verify without a
# word, and the system unit's exposure (systemd-analyze security) is 2.0 or lower, "OK".
# Arguments: the source tree and the build tree (whose man/man8 holds the configured tessalyd.8).
set -euo pipefail
source=$(cd "$1" && pwd)
build=$(cd "$2" && pwd)
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! command -v systemd-analyze >/dev/null; then
  # CI must run every check; elsewhere a machine without systemd may skip this one.
  [ "${CI:-}" = "true" ] && fail "systemd-analyze is missing (Debian package systemd)"
  echo "SKIP: systemd-analyze is missing (Debian package systemd)"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/runtime" "$work/system" "$work/user"

# verify also checks that ExecStart= can be run, and /usr/bin/tessalyd is there only once the
# package is installed. The copies run /bin/true instead (always there, coreutils being
# essential): what is checked is the unit, not the program, which its own tests run.
for unit in tessalyd.service tessalyd-user.service; do
  grep -qx 'ExecStart=/usr/bin/tessalyd' "$source/packaging/$unit" ||
    fail "$unit does not start /usr/bin/tessalyd"
done
sed 's|^ExecStart=/usr/bin/tessalyd$|ExecStart=/bin/true|' "$source/packaging/tessalyd.service" \
  >"$work/system/tessalyd.service"
sed 's|^ExecStart=/usr/bin/tessalyd$|ExecStart=/bin/true|' \
  "$source/packaging/tessalyd-user.service" >"$work/user/tessalyd.service"

# Documentation=man:tessalyd(8) is looked up with man, in the page this build made.
manual=(--man=no)
if command -v man >/dev/null; then
  [ -f "$build/packaging/man/man8/tessalyd.8" ] || fail "no tessalyd.8 in $build/packaging/man"
  manual=(--man=yes)
  export MANPATH="$build/packaging/man"
elif [ "${CI:-}" = "true" ]; then
  fail "man is missing (Debian package man-db)"
fi

# verify's status stays 0 after warnings such as an unknown key: any word it says fails the test.
check() {
  local what=$1
  shift
  local said
  said=$("$@" 2>&1) || fail "$what: $said"
  [ -z "$said" ] || fail "$what: $said"
}
check "the system unit" systemd-analyze verify "${manual[@]}" "$work/system/tessalyd.service"
# The user manager wants a runtime folder of its own even to only read a unit.
check "the user unit" env XDG_RUNTIME_DIR="$work/runtime" \
  systemd-analyze --user verify "${manual[@]}" "$work/user/tessalyd.service"

report=$(systemd-analyze security --offline=true "$source/packaging/tessalyd.service" 2>&1) ||
  fail "systemd-analyze security: $report"
exposure=$(echo "$report" | sed -n 's/^.*Overall exposure level for tessalyd\.service: \([0-9.]*\) .*$/\1/p')
[ -n "$exposure" ] || fail "no exposure level in: $report"
awk -v e="$exposure" 'BEGIN { exit !(e <= 2.0) }' ||
  fail "the system unit's exposure is $exposure, above 2.0:"$'\n'"$report"
echo "PASS: both units verify cleanly; the system unit's exposure is $exposure"
