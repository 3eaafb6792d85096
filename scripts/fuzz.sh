#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang under AddressSanitizer
# and UBSan (-DCTVIEW_FUZZ=ON, own build directory) and runs each from its
# committed seeds for a bounded time (FUZZ_SECONDS per target, default 25),
# under memory limits, so an allocation no input of that size can justify is
# a finding. Fails on any crash, sanitizer report, leak, time-out or memory
# excess; the input that caused it is kept in build-fuzz/findings/<target>/.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=${FUZZ_BUILD_DIR:-build-fuzz}
seconds=${FUZZ_SECONDS:-25}
rss_limit_mb=${FUZZ_RSS_LIMIT_MB:-1536}
malloc_limit_mb=${FUZZ_MALLOC_LIMIT_MB:-512}

cmake -S . -B "$build_dir" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCTVIEW_FUZZ=ON -DBUILD_TESTING=OFF -DCTVIEW_BENCH=OFF >/dev/null
cmake --build "$build_dir" -j2 --target fuzz_targets >"$build_dir/build.log" 2>&1 || {
  tail -n 40 "$build_dir/build.log" >&2
  echo "fuzz: the fuzz targets do not build (log: $build_dir/build.log)" >&2
  exit 1
}

failed=0
while read -r target; do
  [ -n "$target" ] || continue
  seeds=tests/fuzz/corpus/$target
  [ -d "$seeds" ] || { echo "fuzz: $target: no seeds in $seeds" >&2; failed=1; continue; }
  mkdir -p "$build_dir/corpus/$target" "$build_dir/findings/$target"
  options=(-max_total_time="$seconds" -max_len=65536 -timeout=10
           -rss_limit_mb="$rss_limit_mb" -malloc_limit_mb="$malloc_limit_mb"
           -artifact_prefix="$build_dir/findings/$target/" -print_final_stats=1)
  [ -f "tests/fuzz/$target.dict" ] && options+=(-dict="tests/fuzz/$target.dict")
  log=$build_dir/$target.log
  # New inputs go to the build directory; the committed seeds stay as they are.
  if "$build_dir/bin/$target" "${options[@]}" "$build_dir/corpus/$target" "$seeds" 2>"$log"; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log")
    echo "fuzz: $target ran ${seconds}s, ${runs:-?} inputs, without a report"
  else
    tail -n 60 "$log" >&2
    echo "fuzz: $target found a problem (log: $log, input: $build_dir/findings/$target/)" >&2
    failed=1
  fi
done <"$build_dir/fuzzers.txt"
exit "$failed"
