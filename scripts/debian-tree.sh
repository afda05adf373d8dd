# shellcheck shell=bash
# The one way the scripts make a throwaway Debian 12 tree (sourced, not run):
#   debian_tree DIR [MMDEBSTRAP-OPTION...]
# makes a minimal tree (mmdebstrap, variant minbase) in DIR from this machine's own apt sources,
# as it has them now: the one-line list and the deb822 files. The options go to mmdebstrap as
# they are (--architectures=, --include=). No service of a package starts in the tree, and it
# resolves names as this machine does. Needs root.
debian_tree() {
  local tree=$1 mirrors=() f
  shift
  if ! command -v mmdebstrap >/dev/null; then
    echo "Installing mmdebstrap"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends mmdebstrap \
      >/dev/null
  fi
  [ -s /etc/apt/sources.list ] && mirrors+=(/etc/apt/sources.list)
  for f in /etc/apt/sources.list.d/*.sources; do
    [ -f "$f" ] && mirrors+=("$f")
  done
  if [ ${#mirrors[@]} -eq 0 ]; then
    echo "No apt sources in /etc/apt/sources.list or /etc/apt/sources.list.d/*.sources" >&2
    return 1
  fi
  # dpkg need not sync each file of a tree that is thrown away: unpacking is what takes the time.
  mmdebstrap --quiet --variant=minbase --dpkgopt=force-unsafe-io "$@" bookworm "$tree" \
    "${mirrors[@]}" || return
  printf '#!/bin/sh\nexit 101\n' >"$tree/usr/sbin/policy-rc.d"
  chmod 755 "$tree/usr/sbin/policy-rc.d"
  cp -L /etc/resolv.conf "$tree/etc/resolv.conf"
}

# Lets this machine run arm64 programs, in a tree too, through qemu-aarch64-static: the kernel's
# binfmt_misc mounted where it is not, and qemu's aarch64 entry enabled (by update-binfmts when
# binfmt-support is here, else from the entry qemu-user-static gives systemd-binfmt; its F flag
# opens the emulator now, so a chroot needs no copy of it).
enable_arm64_emulation() {
  local entry=/usr/lib/binfmt.d/qemu-aarch64.conf
  command -v qemu-aarch64-static >/dev/null ||
    { echo "qemu-aarch64-static is missing (Debian package qemu-user-static)" >&2; return 1; }
  [ -e /proc/sys/fs/binfmt_misc/register ] ||
    mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc || return
  if command -v update-binfmts >/dev/null; then
    update-binfmts --enable qemu-aarch64 || return
  elif [ ! -e /proc/sys/fs/binfmt_misc/qemu-aarch64 ]; then
    [ -f "$entry" ] || { echo "No $entry to enable qemu-aarch64 from" >&2; return 1; }
    grep -v '^#' "$entry" >/proc/sys/fs/binfmt_misc/register || return
  fi
  grep -qx enabled /proc/sys/fs/binfmt_misc/qemu-aarch64 ||
    { echo "binfmt_misc's qemu-aarch64 entry is not enabled" >&2; return 1; }
}

# debian_tree_run DIR COMMAND...: runs a command in the tree by chroot, as root with a plain
# environment, with /proc and /dev in a mount namespace of its own that ends with it.
debian_tree_run() {
  local tree=$1
  shift
  unshare --mount --propagation private env TREE="$tree" bash -euo pipefail -c '
    mount -t proc proc "$TREE/proc"
    mount --rbind /dev "$TREE/dev"
    exec chroot "$TREE" /usr/bin/env -i HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
      PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"' bash "$@"
}
