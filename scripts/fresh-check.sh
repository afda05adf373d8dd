#!/usr/bin/env bash
# Proves that a fresh Debian 12 builds and passes: makes a minimal tree (mmdebstrap, variant
# minbase) from this machine's own apt sources, clones this checkout's HEAD into it and runs the
# README's test command, ./test.sh, inside as root, which installs what it needs through
# scripts/deps.sh. The tree is removed afterwards, whatever happened. Needs root.
# Uncommitted changes are not part of the check: it is of what the commit holds.
# Extra CMake settings reach the build as in test.sh (TESSALY_CMAKE_ARGS); inside, CI=true, so a
# test whose tool deps.sh did not install fails instead of skipping.
set -euo pipefail
cd "$(dirname "$0")/.."
source=$PWD
start=$SECONDS
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-check.sh needs root: it builds a Debian tree and runs the tests in it by chroot" >&2
  exit 1
fi
if ! command -v mmdebstrap >/dev/null; then
  echo "Installing mmdebstrap"
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap \
    >/dev/null
fi

# The apt sources this machine uses, as it has them now: the one-line list and the deb822 files.
mirrors=()
[ -s /etc/apt/sources.list ] && mirrors+=(/etc/apt/sources.list)
for f in /etc/apt/sources.list.d/*.sources; do
  [ -f "$f" ] && mirrors+=("$f")
done
if [ ${#mirrors[@]} -eq 0 ]; then
  echo "No apt sources in /etc/apt/sources.list or /etc/apt/sources.list.d/*.sources" >&2
  exit 1
fi

# On the same disk as /var/tmp, not in memory: the build needs a few gigabytes.
tree=$(mktemp -d /var/tmp/tessaly-fresh.XXXXXX)
cleanup() {
  # Every mount below lives in a mount namespace of its own and goes with it; should one still
  # show here, the tree is left as it is rather than removed through it.
  local mounts
  mounts=$(findmnt -rn -o TARGET)
  if grep -q "^$tree" <<<"$mounts"; then
    echo "fresh-check.sh: $tree still has mounts; not removed" >&2
    return
  fi
  rm -rf --one-file-system "$tree"
}
trap cleanup EXIT

echo "Making a minimal Debian 12 tree in $tree"
mmdebstrap --quiet --variant=minbase bookworm "$tree" "${mirrors[@]}"
# No service of a package starts inside the tree: the tests start their own broker and bus.
printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
chmod 755 "$tree/usr/sbin/policy-rc.d"
cp -L /etc/resolv.conf "$tree/etc/resolv.conf"

commit=$(git rev-parse HEAD)
echo "Cloning $commit"
git clone --quiet --no-checkout "$source" "$tree/root/tessaly"
git -C "$tree/root/tessaly" checkout --quiet --detach "$commit"

# The chroot gets /proc, /dev, /dev/pts and /sys in a private mount namespace, so the mounts
# (and the tmpfs the full-disk tests mount) never show outside and end with the run.
echo "Running ./test.sh in the tree"
status=0
unshare --mount --propagation private env TREE="$tree" \
  TESSALY_CMAKE_ARGS="${TESSALY_CMAKE_ARGS:-}" bash -euo pipefail -c '
  mount -t proc proc "$TREE/proc"
  mount --rbind /dev "$TREE/dev"
  mount --rbind /sys "$TREE/sys"
  exec chroot "$TREE" /usr/bin/env -i HOME=/root LANG=C.UTF-8 CI=true \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    TESSALY_CMAKE_ARGS="$TESSALY_CMAKE_ARGS" /bin/bash -c "cd /root/tessaly && ./test.sh"
' || status=$?
result="failed ($status)"
[ $status -ne 0 ] || result=passed
echo "fresh-check.sh took $((SECONDS - start)) s: ./test.sh on a fresh Debian 12 $result"
exit $status
