#!/usr/bin/env bash
# Builds everything in build/ and lays out the application directory app/.
# Extra CMake settings may come in TESSALY_CMAKE_ARGS (CI turns warnings into errors that way).
# ccache, when installed (scripts/deps.sh installs it), keeps what was compiled for the next
# build from scratch.
set -euo pipefail
cd "$(dirname "$0")/.."
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
# shellcheck disable=SC2086
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo "${launcher[@]}" ${TESSALY_CMAKE_ARGS:-} \
  >/dev/null
cmake --build build -j2
cmake --install build --component portable --prefix "$PWD/app" >/dev/null
