#!/usr/bin/env bash
# Proves that a fresh Debian 12 builds and passes: makes a minimal tree (scripts/fresh-tree.sh:
# mmdebstrap, variant minbase, from this machine's own apt sources), clones this checkout's HEAD
# into it and runs the README's test command, ./test.sh, inside as root, which installs what it
# needs through scripts/deps.sh. The tree is removed afterwards, whatever happened. Needs root.
# Uncommitted changes are not part of the check: it is of what the commit holds.
# Extra CMake settings reach the build as in test.sh (TESSALY_CMAKE_ARGS); inside, CI=true, so a
# test whose tool deps.sh did not install fails instead of skipping. .ci/run makes the same
# proof with the steps of scripts/fresh-tree.sh, keeping the tree for the later checks.
set -euo pipefail
cd "$(dirname "$0")/.."
start=$SECONDS
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-check.sh needs root: it builds a Debian tree and runs the tests in it by chroot" >&2
  exit 1
fi
# On the same disk as /var/tmp, not in memory: the build needs a few gigabytes.
tree=$(mktemp -d /var/tmp/tessaly-fresh.XXXXXX)
trap 'scripts/fresh-tree.sh remove "$tree"' EXIT
scripts/fresh-tree.sh make "$tree"
echo "Running ./test.sh in the tree"
status=0
scripts/fresh-tree.sh run "$tree" ./test.sh || status=$?
result="failed ($status)"
[ $status -ne 0 ] || result=passed
echo "fresh-check.sh took $((SECONDS - start)) s: ./test.sh on a fresh Debian 12 $result"
exit $status
