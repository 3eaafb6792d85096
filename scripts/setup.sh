#!/usr/bin/env bash
# Installs the Debian packages of one set that are missing, then configures
# and builds.
#   scripts/setup.sh [run|deb|test] [CMAKE ARGUMENTS...]
#     run   building and running the main job (packages-run.txt)
#     deb   that and building the Debian package (+ packages-deb.txt)
#     test  everything: also the tests, fuzzer and benchmarks (+ packages-test.txt);
#           the default
#   BUILD_DIR=build-asan scripts/setup.sh test -DCTVIEW_SANITIZE=ON
set -euo pipefail
cd "$(dirname "$0")/.."

set_name=test
case ${1:-} in
  run | deb | test) set_name=$1; shift ;;
esac
case $set_name in
  run) lists=(scripts/packages-run.txt) ;;
  deb) lists=(scripts/packages-run.txt scripts/packages-deb.txt) ;;
  test) lists=(scripts/packages-run.txt scripts/packages-deb.txt scripts/packages-test.txt) ;;
esac

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

mapfile -t wanted < <(cat "${lists[@]}" | grep -v -e '^#' -e '^$')
bash scripts/install-packages.sh "${wanted[@]}"
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
if [ "$set_name" = test ]; then
  # dirsort tests its console text under a Shift_JIS locale.
  locale -a 2>/dev/null | grep -ix "ja_JP.sjis" >/dev/null ||
    as_root localedef --no-warnings=ascii -f SHIFT_JIS -i ja_JP ja_JP.SJIS
fi
