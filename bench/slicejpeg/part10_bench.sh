#!/usr/bin/env bash
# Whole-process benchmark of slicejpeg on Part-10 files against flat ones:
# a 512 x 512 x 120 phantom series as flat slice files and as Part-10
# explicit-VR little-endian copies of the same files (DCMTK's dcmconv),
# converted side by side in one hyperfine run. Then the start-up of a run
# over one small uncompressed slice, for the binary given as BASELINE (a
# build from before the Part-10 reader) against this build's.
# Usage: bench/slicejpeg/part10_bench.sh [BUILD_DIR] [BASELINE]   (default build-sj)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build-sj}")
baseline=${2:-}
cmake --build "$build" -j2 --target slicejpeg phantom_series slicejpeg_bench >/dev/null
"$build/bin/slicejpeg_bench" --benchmark_filter='read_' --benchmark_min_time=0.5

work="$build/slicejpeg-part10-bench"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$build/bin/phantom_series" --width 512 --height 512 --slices 120 flat >/dev/null
mkdir -p part10
for i in $(seq 1 120); do
  dcmconv -f +ti +te +F "flat/IM.$i" "part10/IM.$i"
  printf 'flat\\IM.%d\r\n' "$i" >>flat_list.txt
  printf 'part10\\IM.%d\r\n' "$i" >>part10_list.txt
done

hyperfine --warmup 1 --runs "${RUNS:-10}" --export-markdown "$work/results.md" \
  --prepare 'rm -f flat/*.jpg part10/*.jpg; sync' \
  -n 'flat implicit VR' "$build/bin/slicejpeg flat_list.txt >/dev/null" \
  -n 'Part-10 explicit VR' "$build/bin/slicejpeg part10_list.txt >/dev/null"
# Same samples, same JPEGs.
"$build/bin/slicejpeg" flat_list.txt >/dev/null
"$build/bin/slicejpeg" part10_list.txt >/dev/null
cmp flat/flat061.jpg part10/part10061.jpg && echo "Part-10 and flat outputs identical"

mkdir -p tiny && "$build/bin/phantom_series" --width 8 --height 8 --slices 1 tiny >/dev/null
printf 'tiny\\IM.1\n' >tiny_list.txt
commands=(-n 'start-up, this build' "$build/bin/slicejpeg tiny_list.txt")
[ -n "$baseline" ] && commands+=(-n 'start-up, baseline' "$baseline tiny_list.txt")
hyperfine -N --warmup 5 --runs "${STARTUP_RUNS:-200}" "${commands[@]}"
