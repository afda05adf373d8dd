#!/usr/bin/env bash
# The arm64 .deb (a Raspberry Pi on its 64-bit Debian 12, or any arm64 Debian 12), made on this
# amd64 machine in one command:
#   scripts/build-arm64.sh [--test] [OUTDIR]
# A throwaway Debian 12 tree with both architectures (scripts/fresh-tree.sh, this checkout's HEAD
# cloned in it; this machine's own packages stay as they are) gets the cross compilers and the
# arm64 development packages; there CMake cross-builds the programs
# (cmake/aarch64-linux-gnu.cmake), without the tests and benchmarks, and CPack packs them as
# arm64 with the arm64 libraries' packages as dependencies. The .deb, and the arm64 simulated
# board for scripts/install-test-arm64.sh, are copied to OUTDIR (build-arm64/ by default) and the
# tree removed. The few programs the build runs (the icons, the screenshot) are arm64 and run
# under qemu-aarch64-static, which this enables in binfmt_misc. With --test the .deb made is then
# checked by scripts/install-test-arm64.sh (lintian, and the install, a record logged and the
# purge in an arm64 tree under qemu), once the build's tree is gone.
# Needs root. TESSALY_CMAKE_ARGS goes to CMake, and CCACHE_DIR (/var/cache/tessaly-ccache by
# default) is the compiler cache, as for scripts/fresh-tree.sh. Uncommitted changes are not built.
set -euo pipefail
start=$SECONDS
test=0
if [ "${1:-}" = --test ]; then
  test=1
  shift
fi
if [ $# -gt 1 ] || [[ ${1:-} == -* ]]; then
  echo "usage: scripts/build-arm64.sh [--test] [OUTDIR]" >&2
  exit 2
fi
out=$(realpath -m "${1:-build-arm64}")
cd "$(dirname "$0")/.."
. scripts/debian-tree.sh
if [ "$(id -u)" -ne 0 ]; then
  echo "build-arm64.sh needs root: it builds a Debian tree and runs the build in it by chroot" >&2
  exit 1
fi
enable_arm64_emulation

# This machine's side: the cross compilers, CMake and its make, ccache, git (the checkout),
# dpkg-shlibdeps and file (CPack's dependencies), the host's Qt for its moc and rcc and their
# CMake packages, and qemu for the arm64 programs the build runs.
packages=(crossbuild-essential-arm64 cmake make git ccache dpkg-dev file qt6-base-dev
  qemu-user-static)
# The arm64 side: what scripts/deps.sh installs for building, for arm64 (Qt Charts needs Qt's
# OpenGL files, Qt HTTP Server the WebSockets ones), pkgconf's arm64 wrapper, and for the
# programs the build runs, the offscreen platform and the fonts.
for p in qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev qt6-charts-dev \
  libgl-dev libglx-dev libopengl-dev libvulkan-dev libmosquitto-dev libsystemd-dev \
  libcurl4-openssl-dev libssl-dev qt6-httpserver-dev qt6-websockets-dev libqrencode-dev pkgconf \
  qt6-qpa-plugins; do
  packages+=("$p:arm64")
done
packages+=(fonts-liberation libjs-chart.js)

export CCACHE_DIR=${CCACHE_DIR:-/var/cache/tessaly-ccache}
tree=$(mktemp -d /var/tmp/tessaly-arm64.XXXXXX)
trap 'scripts/fresh-tree.sh remove "$tree"' EXIT
# Stopped from outside, it still removes the tree.
trap 'exit 130' INT
trap 'exit 143' TERM
began=$SECONDS
scripts/fresh-tree.sh make "$tree" --architectures=amd64,arm64 \
  --include="$(IFS=,; echo "${packages[*]}")"
echo "The tree took $((SECONDS - began)) s"

began=$SECONDS
scripts/fresh-tree.sh run "$tree" '
  cmake -S . -B build-arm64 --toolchain cmake/aarch64-linux-gnu.cmake \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTESSALY_BUILD_TESTS=OFF -DTESSALY_BUILD_BENCH=OFF \
    -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache \
    ${TESSALY_CMAKE_ARGS:-} >/dev/null &&
  cmake --build build-arm64 -j"$(nproc)" &&
  cd build-arm64 && cpack -B packages >/dev/null'
echo "The cross build took $((SECONDS - began)) s"

debs=("$tree"/root/tessaly/build-arm64/packages/tessaly_*_arm64.deb)
[ -f "${debs[0]}" ] || { echo "build-arm64.sh: CPack made no arm64 .deb" >&2; exit 1; }
mkdir -p "$out"
cp "${debs[@]}" "$out/"
# The smoke test's simulated board (scripts/install-test-arm64.sh), of the same build.
cp "$tree/root/tessaly/build-arm64/tools/simboard" "$out/simboard"
dpkg-deb -f "${debs[0]}" Package Version Architecture Depends
deb=$out/$(basename "${debs[0]}")
echo "$deb made in $((SECONDS - start)) s"
if [ $test -eq 1 ]; then
  trap - EXIT
  scripts/fresh-tree.sh remove "$tree"
  scripts/install-test-arm64.sh "$deb"
fi
