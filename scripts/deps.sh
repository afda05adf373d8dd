#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need (once; quick after).
# Every one is named and recommendations are left out, so a machine where apt installs no
# recommended package (a minimal image, a container) gets the same as one where it does;
# scripts/fresh-check.sh proves the list on a fresh Debian 12.
# With --ci, also the tools of CI's own checks (.ci/run): clang for the sanitizer and fuzzer
# build, the Debian tree of the fresh-machine proof and its boot, qemu for the arm64 programs.
set -euo pipefail
ci=
case ${1:-} in
--ci) ci=1 ;;
"") ;;
*) echo "usage: scripts/deps.sh [--ci]" >&2; exit 2 ;;
esac
# Building: the compiler, CMake and its make, the Qt modules (Qt Charts needs Qt's OpenGL
# files; Qt6Gui's CMake files look for GL, GLX, OpenGL and Vulkan headers), the test and
# benchmark libraries, MQTT, the notify protocol (sd_notify), libcurl for the alarms' push,
# webhook and e-mail (HTTPS and SMTP with TLS in one library), OpenSSL's own (a worker thread
# frees its TLS state before it ends), and the format check.
packages=(g++ make cmake pkg-config git clang-format ccache
          qt6-base-dev libqt6opengl6-dev qt6-serialport-dev qt6-svg-dev qt6-charts-dev
          libgl-dev libglx-dev libopengl-dev libvulkan-dev
          libgtest-dev libbenchmark-dev libmosquitto-dev libsystemd-dev libcurl4-openssl-dev
          libssl-dev)
# Running the programs and their tests without a screen: the offscreen platform, the fonts the
# layout is measured in, the time zones (the ledger's change of clocks), chattr (a folder whose
# files cannot be removed), mkfs.ext4 (a disk whose syncs fail) and a virtual display for the
# windows' own tests.
packages+=(qt6-qpa-plugins fonts-liberation tzdata e2fsprogs xvfb xauth)
# MQTT: the broker and its clients the publishing tests talk to.
packages+=(mosquitto mosquitto-clients)
# Alarms: desktop notifications over the session D-Bus, and the tests' bus and notification server.
packages+=(dbus dbus-daemon dbus-x11 dunst)
# Alarms by push, webhook and e-mail: the tests' own HTTPS receiver and test authority
# (openssl), a real SMTP server with STARTTLS and a login, and ip for the network namespace in
# which plain http is tried against a public address and through a proxy.
packages+=(openssl python3-aiosmtpd iproute2)
# Installing and packaging: the desktop entries' check, the .deb and its dependencies, and the
# package's checks (Debian policy, the software centres' metainfo, the manual pages).
packages+=(desktop-file-utils dpkg-dev file lintian appstream man-db)
# Running as a systemd service: systemd-analyze for the units' checks.
packages+=(systemd)
# A folder that hangs as a whole (the service's stop with its disk gone): a FUSE file system of
# the tests' own, in Python.
packages+=(fuse3 python3-fusepy)
# The web view: its HTTP server, the QR code of its address, the charts its pages draw with, and
# its tests' real browser and Prometheus.
packages+=(qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libjs-chart.js
           python3 chromium chromium-driver python3-selenium prometheus)
# CI's own: clang with its sanitizer and libFuzzer runtimes and its symbolizer, a Debian tree
# made and booted in a container, the arm64 programs run under qemu (and an arm64 tree made,
# which mmdebstrap checks with arch-test), and load beside the suite.
if [ -n "$ci" ]; then
  packages+=(clang-16 libclang-rt-16-dev llvm-16 mmdebstrap systemd-container qemu-user-static
             arch-test stress-ng)
fi
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  "${missing[@]}" >/dev/null
