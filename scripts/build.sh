#!/usr/bin/env bash
# Builds everything in build/ and lays out the application directory app/.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j2
cmake --install build --prefix "$PWD/app" >/dev/null
