#!/usr/bin/env bash
# Installs what is needed, builds from scratch and runs the whole test suite (no display needed).
set -euo pipefail
cd "$(dirname "$0")"
scripts/deps.sh
rm -rf build
scripts/build.sh
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j2 --timeout 300
