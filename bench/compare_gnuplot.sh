#!/usr/bin/env bash
# The comparison a user would make: a whole day's chart as a PNG from history_png, against a short
# shell pipeline that takes the five series out of the same day file with sed and draws them with
# gnuplot into a PNG of the chart's size (each series on its own scale, in its own colour). Both
# run as whole processes, in turn, the same number of times; the medians and their ratio are
# printed. A developer's measurement, not a test: run it on a quiet machine after a Release
# build. Installs gnuplot-nox when gnuplot is missing and it can (as root with apt-get); otherwise
# says so and skips.
#
# usage: bench/compare_gnuplot.sh [BUILD_DIR] [RUNS]    (default: build 15)
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
runs=${2:-15}
history_png=$build/tools/history_png
simboard=$build/tools/simboard
for tool in "$history_png" "$simboard"; do
  if [ ! -x "$tool" ]; then
    echo "No $tool: build first (cmake --build $build)" >&2
    exit 1
  fi
done

if ! command -v gnuplot >/dev/null 2>&1; then
  if [ "$(id -u)" -eq 0 ] && command -v apt-get >/dev/null 2>&1; then
    echo "gnuplot is missing; installing gnuplot-nox" >&2
    apt-get install -y gnuplot-nox >/dev/null 2>&1 || true
  fi
fi
if ! command -v gnuplot >/dev/null 2>&1; then
  echo "SKIPPED: gnuplot is not installed and could not be installed here" \
    "(apt-get install gnuplot-nox as root)"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
day=$work/2024_3_7.txt
"$simboard" --write-day "$day" --seed 1 >/dev/null
export QT_QPA_PLATFORM=offscreen

# The standard window's chart: 757 x 349 pixels, dark green, the series colours.
width=757
height=349
# The chart's look: no axes, margins or key; each series on its own scale, in its own colour.
look="set terminal png size $width,$height background '#004000';"
look+=" unset key; unset border; unset tics; set margins 0,0,0,0;"
colours=('#ff0000' '#00ff00' '#0000ff' '#ffff00' '#ffffff')
plots() { # the data as gnuplot names it: a file, or the table read from the pipe
  local c
  printf ' set multiplot;'
  for c in 1 2 3 4 5; do
    printf " plot %s using 0:%d with lines lc rgb '%s';" "$1" "$c" "${colours[c - 1]}"
  done
  printf ' unset multiplot'
}
# Two ways a user would write it: sed into a file that gnuplot reads, or one pipe, with the
# series read once from '-' into a table that each plot reads.
through_file="$look set output '$work/gnuplot.png'; $(plots "'$work/series.dat'")"
through_pipe="set table \$d; plot '-' using 1:2:3:4:5 with table; unset table;"
# shellcheck disable=SC2016 # $d is gnuplot's name for the table, not the shell's
through_pipe+=" $look set output '$work/gnuplot_pipe.png'; $(plots '$d')"

run_history_png() { "$history_png" "$day" "$work/history_png.png" >/dev/null; }
run_file() { sed 's/<[^>]*>/ /g' "$day" >"$work/series.dat" && gnuplot -e "$through_file"; }
run_pipe() { sed 's/<[^>]*>/ /g' "$day" | gnuplot -e "$through_pipe"; }

now_us() { echo $(($(date +%s%N) / 1000)); }
median_ms() { sort -n | awk '{ a[NR] = $1 } END { m = a[int((NR + 1) / 2)]; printf "%.1f", m / 1000 }'; }
timed() { # appends the time of one run of $2 to $1
  local start
  start=$(now_us)
  "$2"
  echo $(($(now_us) - start)) >>"$1"
}

# Once each first, so all three find the file and their libraries in the page cache.
run_history_png
run_file
run_pipe
for _ in $(seq "$runs"); do
  timed "$work/qt.times" run_history_png
  timed "$work/file.times" run_file
  timed "$work/pipe.times" run_pipe
done
qt=$(median_ms <"$work/qt.times")
file=$(median_ms <"$work/file.times")
pipe=$(median_ms <"$work/pipe.times")
gp=$(awk -v a="$file" -v b="$pipe" 'BEGIN { print (a < b ? a : b) }')
records=$(grep -c '<T>' "$day")
echo "Day file: $records records, $(wc -c <"$day") bytes; PNG ${width}x${height}; $runs runs each, medians"
echo "history_png, whole process:            $qt ms"
echo "sed > file; gnuplot (png terminal):    $file ms"
echo "sed | gnuplot (png terminal):          $pipe ms"
awk -v qt="$qt" -v gp="$gp" 'BEGIN { printf "ratio: history_png is %.1fx faster than the faster gnuplot run\n", gp / qt }'
