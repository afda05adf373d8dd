#!/usr/bin/env bash
# Installs the Debian packages the build, the programs and the tests need (once; quick after).
set -euo pipefail
packages=(cmake g++ clang-format qt6-base-dev qt6-serialport-dev libgtest-dev
          libbenchmark-dev fonts-liberation xvfb xauth libmosquitto-dev mosquitto
          mosquitto-clients pkg-config)
# Installing and packaging: the icon's PNG sizes, the desktop entries' check, the .deb's
# dependencies.
packages+=(qt6-svg-dev desktop-file-utils dpkg-dev)
# The package's checks: Debian policy, the software centres' metainfo, the manual pages.
packages+=(lintian appstream man-db)
# Alarms: desktop notifications over the session D-Bus, and the tests' bus and notification server.
packages+=(dbus dbus-daemon dbus-x11 dunst)
# Running as a systemd service: the notify protocol (sd_notify), and systemd-analyze for the
# units' checks.
packages+=(libsystemd-dev systemd)
# The Season window and the power curve view: their charts.
packages+=(qt6-charts-dev)
packages+=(qt6-httpserver-dev qt6-websockets-dev libqrencode-dev libjs-chart.js chromium chromium-driver python3-selenium prometheus) # the web view and its tests
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${missing[@]}" >/dev/null
