#!/usr/bin/env bash
# Whole-process benchmark of slicejpeg on a 512 x 512 x 120 phantom series,
# side by side in one hyperfine run:
#   slicejpeg on one core (taskset -c 0) and on both cores,
#   the bare reference loop (one core),
#   DCMTK's dcmj2pnm +oj run once per file on Part-10 copies of the series.
# Usage: bench/slicejpeg/run_bench.sh [BUILD_DIR]   (default build-sj)
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build-sj}")
cmake --build "$build" -j2 --target slicejpeg slicejpeg_bare_loop slicejpeg_bench phantom_series >/dev/null

work="$build/slicejpeg-bench"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$build/bin/phantom_series" --width 512 --height 512 --slices 120 sample
for i in $(seq 1 120); do printf 'sample\\IM.%d\r\n' "$i"; done >sample_list.txt

# Part-10 copies for DCMTK, with the attributes its renderer insists on.
mkdir -p part10 dcmtk_out bare_out
for i in $(seq 1 120); do
  dcmconv -f -ti +F "sample/IM.$i" "part10/IM$i.dcm"
done
dcmodify -nb -i "(0028,0004)=MONOCHROME2" -i "(0028,0102)=11" \
  -i "(0008,0016)=1.2.840.10008.5.1.4.1.1.2" -i "(0008,0018)=1.2.3.4.1" part10/*.dcm >/dev/null

"$build/bin/slicejpeg_bench" --benchmark_min_time=0.5
# Every run writes into an empty output directory: overwriting frees the old
# files' blocks, which on a discard-mounted disk costs more than the conversion.
hyperfine --warmup 1 --runs "${RUNS:-10}" --export-markdown "$work/results.md" \
  --prepare 'rm -f sample/*.jpg bare_out/*.jpg dcmtk_out/*.jpg; sync' \
  -n 'slicejpeg, 1 core' "taskset -c 0 $build/bin/slicejpeg sample_list.txt >/dev/null" \
  -n 'slicejpeg, 2 cores' "$build/bin/slicejpeg sample_list.txt >/dev/null" \
  -n 'bare loop, 1 core' "taskset -c 0 $build/bin/slicejpeg_bare_loop sample_list.txt bare_out" \
  -n 'dcmj2pnm +oj per file' \
  'for f in part10/*.dcm; do dcmj2pnm +oj "$f" "dcmtk_out/$(basename "$f" .dcm).jpg"; done'
# The converter's JPEGs are the reference loop's, byte for byte.
"$build/bin/slicejpeg" sample_list.txt >/dev/null
"$build/bin/slicejpeg_bare_loop" sample_list.txt bare_out
cmp sample/sample061.jpg bare_out/bare0061.jpg && echo "outputs identical to the bare loop"
