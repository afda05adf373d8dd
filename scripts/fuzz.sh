#!/usr/bin/env bash
# Runs every libFuzzer target of a build made with -DTESSALY_FUZZERS=ON (scripts/sanitize.sh
# makes one in build-asan/) for a few seconds each, starting from its seed corpus in
# fuzz/corpus/<target>/. The inputs it finds go to a temporary folder, not among the seeds; an
# input that fails a target is kept in fuzz-failures/ and named. The seed is fixed, so a run
# tries the same inputs in the same order on every machine, as far as its seconds reach.
#   scripts/fuzz.sh [BUILD [SECONDS]]   (build-asan and 10 when not given)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-asan}
seconds=${2:-10}
fail() { echo "FAIL: $*" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1
export LSAN_OPTIONS=suppressions=$PWD/scripts/lsan.supp:print_suppressions=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
# Stacks with files and lines: the symbolizer of clang's own version (Debian: llvm-16).
[ ! -x /usr/lib/llvm-16/bin/llvm-symbolizer ] ||
  export ASAN_SYMBOLIZER_PATH=/usr/lib/llvm-16/bin/llvm-symbolizer

# Every target in fuzz/ is built and has seeds; each runs, and the failures are told at the end.
count=0
failed=()
for source in fuzz/fuzz_*.cpp; do
  name=$(basename "$source" .cpp)
  target=$build/fuzz/$name
  [ -x "$target" ] || fail "$target was not built (configure with -DTESSALY_FUZZERS=ON)"
  [ -n "$(ls -A "fuzz/corpus/$name" 2>/dev/null)" ] || fail "no seeds in fuzz/corpus/$name"
  mkdir -p "$work/$name" fuzz-failures
  count=$((count + 1))
  if ! "$target" -seed=1 -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
    -artifact_prefix="fuzz-failures/$name-" "$work/$name" "fuzz/corpus/$name" \
    >"$work/$name.log" 2>&1; then
    echo "== $name failed:" >&2
    grep -E 'runtime error|ERROR|SUMMARY|^ +#[0-9]+ ' "$work/$name.log" | head -n 40 >&2
    failed+=("$name: $(ls -t fuzz-failures/"$name"-* 2>/dev/null | head -1)")
    continue
  fi
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/$name.log")
  echo "$name: $runs inputs in $seconds s, $(ls "$work/$name" | wc -l) new ones worth keeping"
done
[ "$count" -gt 0 ] || fail "no fuzz targets in fuzz/"
if [ ${#failed[@]} -gt 0 ]; then
  echo "FAIL: the input that fails each is kept:" >&2
  printf '  %s\n' "${failed[@]}" >&2
  exit 1
fi
rmdir fuzz-failures 2>/dev/null || true
echo "Fuzzing: $count targets ran $seconds s each from their seeds"
