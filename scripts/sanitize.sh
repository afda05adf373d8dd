#!/usr/bin/env bash
# Builds the programs, the tests and the libFuzzer targets once with clang 16 (Debian 12's newest;
# clang 14 lacks C++20's capture of structured bindings), AddressSanitizer and
# UndefinedBehaviorSanitizer in build-asan/, and runs the suite there (no display needed). The
# same build serves scripts/fuzz.sh. The packaging tests (they check files, not code) and the
# screen reruns (the same code on other screens) are left to the ordinary run.
#   scripts/sanitize.sh [build|test]   only the build, or only the suite of a build made before
# Extra CMake settings may come in TESSALY_CMAKE_ARGS (CI turns warnings into errors that way);
# ccache, when installed, keeps what was compiled for the next build.
set -euo pipefail
cd "$(dirname "$0")/.."
what=${1:-all}
case $what in
build | test | all) ;;
*) echo "usage: scripts/sanitize.sh [build|test]" >&2; exit 2 ;;
esac

if [ "$what" != test ]; then
  launcher=()
  command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
  # shellcheck disable=SC2086
  cmake -S . -B build-asan -DCMAKE_CXX_COMPILER=clang++-16 -DCMAKE_BUILD_TYPE=Debug \
    -DTESSALY_SANITIZE=ON -DTESSALY_FUZZERS=ON -DTESSALY_BUILD_BENCH=OFF "${launcher[@]}" \
    ${TESSALY_CMAKE_ARGS:-} >/dev/null
  cmake --build build-asan -j2
fi

if [ "$what" != build ]; then
  export QT_QPA_PLATFORM=offscreen
  export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
  export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
  # Stacks with files and lines: the symbolizer of clang's own version (Debian: llvm-16).
  [ ! -x /usr/lib/llvm-16/bin/llvm-symbolizer ] ||
    export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-16/bin/llvm-symbolizer
  ctest --test-dir build-asan --output-on-failure -j2 --timeout 300 -LE '^(packaging|screen)$'
fi
