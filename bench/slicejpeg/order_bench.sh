#!/usr/bin/env bash
# Reading every header before naming: slicejpeg against an earlier build on a
# 512 x 512 x 640 uncompressed series with positions, side by side, runs
# alternating. Two series: named from the feet up (the names stay) and head
# first (ranked by position and named by rank).
# Usage: bench/slicejpeg/order_bench.sh EARLIER_SLICEJPEG [BUILD_DIR]
#   RUNS (default 5) timed runs per command; WINDOW (default none) a --window value.
set -euo pipefail
cd "$(dirname "$0")/../.."
earlier=$(realpath "$1")
build=$(realpath "${2:-build}")
runs=${RUNS:-5}
cmake --build "$build" -j2 --target slicejpeg phantom_series >/dev/null
work="$build/order-bench"
mkdir -p "$work" && cd "$work"
for layout in feet head; do
  if [ ! -d "$layout" ]; then
    extra=()
    [ "$layout" = head ] && extra=(--head-first)
    "$build/bin/phantom_series" --width 512 --height 512 --slices 640 --geometry "${extra[@]}" \
      "$layout" >/dev/null
  fi
  for i in $(seq 1 640); do echo "$layout\\IM.$i"; done >"${layout}_list.txt"
done
window=()
[ -n "${WINDOW:-}" ] && window=(--window "$WINDOW")

# seconds COMMAND...: wall time of one run, its output dropped.
seconds() {
  local start end
  start=$(date +%s.%N)
  "$@" >/dev/null 2>&1 || true
  end=$(date +%s.%N)
  awk -v a="$start" -v b="$end" 'BEGIN { print b - a }' 
}
median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

for layout in feet head; do
  rm -f "${layout}_max.txt"
  "$build/bin/slicejpeg" "${window[@]}" "${layout}_list.txt" >/dev/null 2>&1  # warm the cache
  : >"now.$layout" && : >"earlier.$layout"
  for _ in $(seq 1 "$runs"); do
    rm -f "${layout}_max.txt"
    seconds "$earlier" "${window[@]}" "${layout}_list.txt" >>"earlier.$layout"
    rm -f "${layout}_max.txt"
    seconds "$build/bin/slicejpeg" "${window[@]}" "${layout}_list.txt" >>"now.$layout"
  done
  now=$(median <"now.$layout")
  before=$(median <"earlier.$layout")
  printf '%s first: earlier %.2f s, now %.2f s, ratio %.3f (goal <= 1.05)\n' "$layout" "$before" \
    "$now" "$(awk -v a="$now" -v b="$before" 'BEGIN { print a / b }')"
done
