#!/usr/bin/env bash
# Whole-process cost of --window on a 512 x 512 x 120 phantom series, side by
# side in one hyperfine run, on both cores and on one: the default conversion,
# a fixed window (soft) and the series window (a first pass over every slice,
# then the conversion). --window file costs what a fixed window does; the
# phantom has no window of its own.
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
# Every run writes into an empty output directory, as in run_bench.sh.
hyperfine --warmup 2 --runs "${RUNS:-15}" --export-markdown "$work/results.md" \
  --prepare 'rm -f sample/*.jpg sample_max.txt; sync' \
  -n 'default, 2 cores' "$sj sample_list.txt >/dev/null" \
  -n 'window soft, 2 cores' "$sj --window soft sample_list.txt >/dev/null" \
  -n 'window series, 2 cores' "$sj --window series sample_list.txt >/dev/null" \
  -n 'default, 1 core' "taskset -c 0 $sj sample_list.txt >/dev/null" \
  -n 'window soft, 1 core' "taskset -c 0 $sj --window soft sample_list.txt >/dev/null" \
  -n 'window series, 1 core' "taskset -c 0 $sj --window series sample_list.txt >/dev/null"
# The console lines do not depend on the window.
"$sj" sample_list.txt >default.txt
"$sj" --window series sample_list.txt >series.txt
cmp default.txt series.txt && echo "console lines identical with and without a window"
