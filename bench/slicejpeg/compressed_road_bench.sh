#!/usr/bin/env bash
# Whole runs of slicejpeg over compressed series against the floor: GDCM's
# decode and the JPEG encode in one process on every core, no isolation
# (slicejpeg_compressed_floor). Series: a 256 x 256 x 108 phantom as RLE,
# JPEG-LS and JPEG 2000 (gdcmconv), and 512 x 512 x 640 as JPEG 2000; each
# also with --window series, and the uncompressed 108 slices against an
# earlier slicejpeg when one is given.
# Usage: bench/slicejpeg/compressed_road_bench.sh [BUILD_DIR [EARLIER_SLICEJPEG]]
#   RUNS (default 5) timed runs per command; BIG=0 leaves out the 640 slices.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
earlier=${2:+$(realpath "$2")}
cmake --build "$build" -j2 --target slicejpeg slicejpeg_compressed_floor phantom_series >/dev/null
slicejpeg="$build/bin/slicejpeg"
floor="$build/bin/slicejpeg_compressed_floor"
work="$build/compressed-road-bench"
mkdir -p "$work" && cd "$work"

# make_series NAME WIDTH SLICES SYNTAX...: NAME_raw/ (explicit VR Part-10) and
# one compressed copy per gdcmconv syntax option, made once and kept.
make_series() {
  local name=$1 size=$2 slices=$3
  shift 3
  if [ ! -d "${name}_raw" ]; then
    rm -rf "${name}_flat" && mkdir -p "${name}_flat" "${name}_raw"
    "$build/bin/phantom_series" --width "$size" --height "$size" --slices "$slices" \
      "${name}_flat" >/dev/null
    for i in $(seq 1 "$slices"); do
      dcmconv -f -ti +F +te "${name}_flat/IM.$i" "${name}_raw/IM$i.dcm"
    done
    dcmodify -nb -i "(0028,0004)=MONOCHROME2" -i "(0028,0102)=15" -i "(0028,0101)=16" \
      -i "(0028,0002)=1" -i "(0028,0103)=1" -i "(0008,0016)=1.2.840.10008.5.1.4.1.1.2" \
      -i "(0008,0018)=1.2.3.4.1" "${name}_raw"/*.dcm >/dev/null
  fi
  for syntax in "$@"; do
    [ -d "${name}_${syntax}" ] && continue
    mkdir -p "${name}_${syntax}.part"
    for f in "${name}_raw"/*.dcm; do
      gdcmconv "--$syntax" "$f" "${name}_${syntax}.part/$(basename "$f")"
    done
    mv "${name}_${syntax}.part" "${name}_${syntax}"
  done
}

make_series head 256 108 rle jpegls j2k
[ "${BIG:-1}" = 0 ] || make_series big 512 640 j2k

# A list per series directory, and a command line per measured run; every
# run starts from an empty output (the JPEGs and max file of the last run go).
commands=()
add_runs() {
  local dir=$1
  ls "$dir"/*.dcm | sed 's|/|\\|' >"${dir}_list.txt"
  local clean="rm -f $dir/*.jpg ${dir}_max.txt"
  commands+=(-n "floor, $dir" "rm -rf floor.out && mkdir floor.out && $floor floor.out $dir/*.dcm")
  commands+=(-n "slicejpeg, $dir" "$clean; $slicejpeg ${dir}_list.txt >/dev/null")
  commands+=(-n "slicejpeg --window series, $dir" \
    "$clean; $slicejpeg --window series ${dir}_list.txt >/dev/null")
}
for syntax in rle jpegls j2k; do add_runs "head_$syntax"; done
[ "${BIG:-1}" = 0 ] || add_runs big_j2k
ls head_raw/*.dcm | sed 's|/|\\|' >head_raw_list.txt
commands+=(-n "slicejpeg, head_raw (uncompressed)" \
  "rm -f head_raw/*.jpg head_raw_max.txt; $slicejpeg head_raw_list.txt >/dev/null")
[ -n "$earlier" ] && commands+=(-n "earlier slicejpeg, head_raw (uncompressed)" \
  "rm -f head_raw/*.jpg head_raw_max.txt; $earlier head_raw_list.txt >/dev/null")

hyperfine --warmup 1 --runs "${RUNS:-5}" --export-markdown "$work/road.md" "${commands[@]}"

# What the isolation costs per file: the same decodes on one core in this
# process and through one helper process.
cmake --build "$build" -j2 --target slicejpeg_compressed_decode >/dev/null
for syntax in rle jpegls j2k; do
  hyperfine --warmup 1 --runs "${RUNS:-5}" --export-markdown "$work/isolation_$syntax.md" \
    -n "GDCM in process, head_$syntax" "$floor --decode-only --threads 1 floor.out head_$syntax/*.dcm" \
    -n "one helper process, head_$syntax" \
    "$build/bin/slicejpeg_compressed_decode head_$syntax/*.dcm >/dev/null"
done
