#!/usr/bin/env bash
# Whole-process cost of --window on a 512 x 512 x 120 phantom series, side by
# side in one hyperfine run, on both cores and on one: the default conversion,
# a fixed window (soft), the series window (a first pass over every slice,
# then the conversion) and that same window given as C,W, which writes the
# same JPEGs without the first pass. --window file costs what a fixed window
# does; the phantom has no window of its own.
# Usage: bench/slicejpeg/window_run_bench.sh [BUILD_DIR]   (default build)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
cmake --build "$build" -j2 --target slicejpeg phantom_series >/dev/null

work="$build/slicejpeg-window-bench"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$build/bin/phantom_series" --width 512 --height 512 --slices 120 sample
for i in $(seq 1 120); do printf 'sample\\IM.%d\r\n' "$i"; done >sample_list.txt

sj="$build/bin/slicejpeg"
# The phantom has no rescale: the series window spans the stored extremes.
"$sj" sample_list.txt >/dev/null
same=$(awk '/^max :/ {max = $2} /^min :/ {min = $2}
            END {printf "%g,%g", (min + max) / 2 + 0.5, max - min + 1}' FS='[: ]+' sample_max.txt)
"$sj" --window series sample_list.txt >/dev/null && cp sample/sample061.jpg series061.jpg
"$sj" --window "$same" sample_list.txt >/dev/null
cmp series061.jpg sample/sample061.jpg && echo "--window series writes what --window $same does"
# Every run writes into an empty output directory, as in run_bench.sh.
hyperfine --warmup 2 --runs "${RUNS:-15}" --export-markdown "$work/results.md" \
  --prepare 'rm -f sample/*.jpg sample_max.txt; sync' \
  -n 'default, 2 cores' "$sj sample_list.txt >/dev/null" \
  -n 'window soft, 2 cores' "$sj --window soft sample_list.txt >/dev/null" \
  -n 'window series, 2 cores' "$sj --window series sample_list.txt >/dev/null" \
  -n "window $same, 2 cores" "$sj --window $same sample_list.txt >/dev/null" \
  -n 'default, 1 core' "taskset -c 0 $sj sample_list.txt >/dev/null" \
  -n 'window soft, 1 core' "taskset -c 0 $sj --window soft sample_list.txt >/dev/null" \
  -n 'window series, 1 core' "taskset -c 0 $sj --window series sample_list.txt >/dev/null"
# The console lines do not depend on the window.
"$sj" sample_list.txt >default.txt
"$sj" --window series sample_list.txt >series.txt
cmp default.txt series.txt && echo "console lines identical with and without a window"

# hyperfine times one command after the other, so a change in the machine's
# load lands on one of them; the same commands again, interleaved run by run,
# medians of wall time.
variants=("" "--window soft" "--window series" "--window $same")
declare -A times
for run in $(seq 1 "${RUNS:-15}"); do
  for cores in 2 1; do
    for v in "${variants[@]}"; do
      rm -f sample/*.jpg sample_max.txt && sync
      pin=""; [ "$cores" = 1 ] && pin="taskset -c 0"
      start=$(date +%s%N)
      $pin "$sj" $v sample_list.txt >/dev/null
      times["$cores:$v"]+="$((($(date +%s%N) - start) / 1000)) "
    done
  done
done
median() { tr ' ' '\n' | grep . | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
for cores in 2 1; do
  base=$(echo "${times["$cores:"]}" | median)
  for v in "${variants[@]}"; do
    m=$(echo "${times["$cores:$v"]}" | median)
    awk -v c="$cores" -v v="${v:-default}" -v m="$m" -v b="$base" \
      'BEGIN {printf "interleaved, %s core(s), %-20s median %6.1f ms  ratio %.3f\n", c, v, m / 1000, m / b}'
  done
done
