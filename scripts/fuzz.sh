#!/usr/bin/env bash
# Fuzzes slicejpeg's element walk, conversion and text parsers with libFuzzer
# under AddressSanitizer and UBSan for a bounded time (FUZZ_SECONDS, default 60).
# Fails on any crash or sanitizer report.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-fuzz
seconds=${FUZZ_SECONDS:-60}
mkdir -p "$build_dir/corpus"

clang++ -std=c++20 -g -O1 -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=undefined \
  -fno-omit-frame-pointer -I. \
  slicejpeg/element_walk.cpp slicejpeg/conversion.cpp slicejpeg/max_file.cpp \
  slicejpeg/slice_reader.cpp slicejpeg/compressed_pixels.cpp slicejpeg/messages.cpp \
  common/path_list.cpp slicejpeg/slice_naming.cpp slicejpeg/text_format.cpp \
  common/path_text.cpp tests/slicejpeg/fuzz/walk_fuzzer.cpp \
  -lz -o "$build_dir/walk_fuzzer"

# New inputs go to the build directory; the committed seeds stay as they are.
"$build_dir/walk_fuzzer" "$build_dir/corpus" tests/slicejpeg/fuzz_corpus \
  -max_total_time="$seconds" -max_len=65536 -timeout=10 -rss_limit_mb=2048 \
  -print_final_stats=1 2>"$build_dir/fuzz.log" || {
  tail -n 60 "$build_dir/fuzz.log" >&2
  echo "fuzz: walk_fuzzer found a problem (log: $build_dir/fuzz.log)" >&2
  exit 1
}
grep -E '^stat::number_of_executed_units' "$build_dir/fuzz.log" || true
echo "fuzz: walk_fuzzer ran ${seconds}s without a report"
