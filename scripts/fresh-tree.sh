#!/usr/bin/env bash
# A fresh Debian 12 to prove the install steps on, kept as a folder:
#   scripts/fresh-tree.sh make DIR [MMDEBSTRAP-OPTION...]
#                                       a minimal tree (scripts/debian-tree.sh: mmdebstrap,
#                                       variant minbase, from this machine's own apt sources,
#                                       given the options) with this checkout's HEAD cloned
#                                       into /root/tessaly
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
. scripts/debian-tree.sh
usage() {
  echo "usage: scripts/fresh-tree.sh make DIR [MMDEBSTRAP-OPTION...], remove DIR, or run DIR LINE" >&2
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
  echo "Making a minimal Debian 12 tree in $tree"
  # No service of a package starts inside the tree (debian_tree sees to it): the tests start
  # their own broker and bus.
  debian_tree "$tree" "$@"
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
make) shift 2; make_tree "$@" ;;
run) [ $# -eq 3 ] || usage; run_in_tree "$3" ;;
remove) [ $# -eq 2 ] || usage; remove_tree ;;
*) usage ;;
esac
