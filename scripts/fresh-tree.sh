#!/usr/bin/env bash
# A fresh Debian 12 to prove the install steps on, kept as a folder:
#   scripts/fresh-tree.sh make DIR      a minimal tree (mmdebstrap, variant minbase, from this
#                                       machine's own apt sources) with this checkout's HEAD
#                                       cloned into /root/tessaly
#   scripts/fresh-tree.sh run DIR LINE  runs the shell line LINE in that clone as root
#   scripts/fresh-tree.sh remove DIR    removes the tree
# Needs root. Uncommitted changes are not in the tree: it holds what the commit holds.
# run gives the tree /proc, /dev and /sys in a mount namespace of its own (so they, and the tmpfs
# the full-disk tests mount, never show outside and end with the run), sets CI=true (a test
# whose tool scripts/deps.sh did not install fails instead of skipping), and hands on
# TESSALY_CMAKE_ARGS, TESSALY_CTEST_ARGS and TESSALY_INSTALL_TEST when set. With CCACHE_DIR set,
# that folder is the tree's compiler cache too: a build in the tree reuses what this machine's
# builds at the same path compiled, and leaves its own for the next tree.
set -euo pipefail
cd "$(dirname "$0")/.."
usage() {
  echo "usage: scripts/fresh-tree.sh make|remove DIR, or scripts/fresh-tree.sh run DIR LINE" >&2
  exit 2
}
[ $# -ge 2 ] || usage
what=$1
tree=$2
if [ "$(id -u)" -ne 0 ]; then
  echo "fresh-tree.sh needs root: it builds a Debian tree and runs commands in it by chroot" >&2
  exit 1
fi

make_tree() {
  [ ! -e "$tree" ] || [ -z "$(ls -A "$tree")" ] || { echo "$tree is not empty" >&2; exit 1; }
  if ! command -v mmdebstrap >/dev/null; then
    echo "Installing mmdebstrap"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap \
      >/dev/null
  fi
  # The apt sources this machine uses, as it has them now: the one-line list and the deb822 files.
  local mirrors=() f
  [ -s /etc/apt/sources.list ] && mirrors+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && mirrors+=("$f")
  done
  if [ ${#mirrors[@]} -eq 0 ]; then
    echo "No apt sources in /etc/apt/sources.list or /etc/apt/sources.list.d/*.sources" >&2
    exit 1
  fi
  echo "Making a minimal Debian 12 tree in $tree"
  # dpkg need not sync each file of a tree that is thrown away: unpacking is what takes the time.
  mmdebstrap --quiet --variant=minbase --dpkgopt=force-unsafe-io bookworm "$tree" "${mirrors[@]}"
  # No service of a package starts inside the tree: the tests start their own broker and bus.
  printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
  chmod 755 "$tree/usr/sbin/policy-rc.d"
  cp -L /etc/resolv.conf "$tree/etc/resolv.conf"
  local commit
  commit=$(git rev-parse HEAD)
  echo "Cloning $commit"
  git clone --quiet --no-checkout "$PWD" "$tree/root/tessaly"
  git -C "$tree/root/tessaly" checkout --quiet --detach "$commit"
}

run_in_tree() {
  [ -d "$tree/root/tessaly" ] || { echo "$tree holds no checkout: make it first" >&2; exit 1; }
  local pass=(CI=true) name
  for name in TESSALY_CMAKE_ARGS TESSALY_CTEST_ARGS TESSALY_INSTALL_TEST CCACHE_DIR; do
    [ -z "${!name:-}" ] || pass+=("$name=${!name}")
  done
  if [ -n "${CCACHE_DIR:-}" ]; then
    mkdir -p "$CCACHE_DIR" "$tree$CCACHE_DIR"
  fi
  unshare --mount --propagation private env TREE="$tree" CACHE="${CCACHE_DIR:-}" \
    bash -euo pipefail -c '
    mount -t proc proc "$TREE/proc"
    mount --rbind /dev "$TREE/dev"
    mount --rbind /sys "$TREE/sys"
    [ -z "$CACHE" ] || mount --bind "$CACHE" "$TREE$CACHE"
    exec chroot "$TREE" /usr/bin/env -i HOME=/root LANG=C.UTF-8 \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@" \
      /bin/bash -c "cd /root/tessaly && $0"
  ' "$1" "${pass[@]}"
}

remove_tree() {
  # Every mount of a run lives in a mount namespace of its own and goes with it; should one still
  # show here, the tree is left as it is rather than removed through it.
  if findmnt -rn -o TARGET | grep -q "^$tree"; then
    echo "fresh-tree.sh: $tree still has mounts; not removed" >&2
    exit 1
  fi
  rm -rf --one-file-system "$tree"
}

case $what in
make) [ $# -eq 2 ] || usage; make_tree ;;
run) [ $# -eq 3 ] || usage; run_in_tree "$3" ;;
remove) [ $# -eq 2 ] || usage; remove_tree ;;
*) usage ;;
esac
