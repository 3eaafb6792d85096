#!/usr/bin/env bash
# Decoding compressed slices: a 512 x 512 x 120 phantom series as JPEG
# lossless (DCMTK's dcmcjpeg +e1) and JPEG 2000 lossless (gdcmconv --j2k)
# Part-10 copies, decoded through one decoder helper process against dcmj2pnm
# and gdcmconv --raw run once per file, side by side in one hyperfine run;
# then the start-up cost of the helper.
# Usage: bench/slicejpeg/compressed_bench.sh [BUILD_DIR [EARLIER_SLICEJPEG]]
#   BUILD_DIR defaults to build; EARLIER_SLICEJPEG, an earlier slicejpeg,
#   joins the start-up comparison.
set -euo pipefail
cd "$(dirname "$0")/../.."
build=$(realpath "${1:-build}")
earlier=()
[ -n "${2:-}" ] && earlier=(-n 'earlier slicejpeg --help' "$(realpath "$2") --help")
cmake --build "$build" -j2 --target slicejpeg slicejpeg_compressed_decode phantom_series >/dev/null
decode="$build/bin/slicejpeg_compressed_decode"

work="$build/compressed-bench"
rm -rf "$work" && mkdir -p "$work" && cd "$work"
"$build/bin/phantom_series" --width 512 --height 512 --slices 120 sample >/dev/null
mkdir -p part10 jpegll j2k out
for i in $(seq 1 120); do
  dcmconv -f -ti +F "sample/IM.$i" "part10/IM$i.dcm"
done
dcmodify -nb -i "(0028,0004)=MONOCHROME2" -i "(0028,0102)=15" -i "(0028,0101)=16" \
  -i "(0028,0002)=1" -i "(0028,0103)=1" \
  -i "(0008,0016)=1.2.840.10008.5.1.4.1.1.2" -i "(0008,0018)=1.2.3.4.1" part10/*.dcm >/dev/null
for i in $(seq 1 120); do
  dcmcjpeg +e1 "part10/IM$i.dcm" "jpegll/IM$i.dcm"
  gdcmconv --j2k "part10/IM$i.dcm" "j2k/IM$i.dcm"
done
echo "sizes: uncompressed $(du -sk part10 | cut -f1) KiB, JPEG lossless $(du -sk jpegll | cut -f1) KiB," \
  "JPEG 2000 $(du -sk j2k | cut -f1) KiB"
# Both decoders give the samples of the uncompressed copy.
"$decode" jpegll/IM61.dcm | cut -d' ' -f2- >jpegll.sum
"$decode" j2k/IM61.dcm | cut -d' ' -f2- >j2k.sum
"$decode" part10/IM61.dcm | cut -d' ' -f2- | cmp - jpegll.sum && cmp jpegll.sum j2k.sum &&
  echo "decoded samples identical to the uncompressed slice"

runs="${RUNS:-5}"
hyperfine --warmup 1 --runs "$runs" --export-markdown "$work/decode.md" \
  -n 'helper, JPEG lossless, 1 process per file' \
  'for f in jpegll/*.dcm; do '"$decode"' "$f"; done >/dev/null' \
  -n 'helper, JPEG lossless, 1 helper for the series' \
  "$decode jpegll/*.dcm >/dev/null" \
  -n 'dcmj2pnm per file, JPEG lossless' \
  'for f in jpegll/*.dcm; do dcmj2pnm "$f" out/slice.pgm; done' \
  -n 'gdcmconv --raw per file, JPEG lossless' \
  'for f in jpegll/*.dcm; do gdcmconv --raw "$f" out/slice.dcm; done' \
  -n 'helper, JPEG 2000, 1 process per file' \
  'for f in j2k/*.dcm; do '"$decode"' "$f"; done >/dev/null' \
  -n 'helper, JPEG 2000, 1 helper for the series' \
  "$decode j2k/*.dcm >/dev/null" \
  -n 'gdcmconv --raw per file, JPEG 2000' \
  'for f in j2k/*.dcm; do gdcmconv --raw "$f" out/slice.dcm; done'

# Start-up: the transfer syntax check alone (what an uncompressed run pays)
# against starting the helper and decoding one slice; slicejpeg --help for scale.
hyperfine -N --warmup 5 --runs "${STARTUP_RUNS:-200}" --export-markdown "$work/startup.md" \
  -n 'is_encapsulated_syntax only' "$decode --syntax-only" \
  -n 'helper started, one JPEG lossless slice' "$decode jpegll/IM61.dcm" \
  -n 'slicejpeg --help' "$build/bin/slicejpeg --help" \
  "${earlier[@]}"
echo "GDCM libraries in slicejpeg: $(ldd "$build/bin/slicejpeg" | grep -c gdcm)"
