#!/usr/bin/env bash
# Installs the Debian packages that are missing, then configures and builds.
#   BUILD_DIR=build-asan scripts/setup.sh -DCTVIEW_SANITIZE=ON
# Extra arguments go to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; else sudo "$@"; fi
}

install_missing_packages() {
  local wanted missing=()
  mapfile -t wanted < <(grep -v -e '^#' -e '^$' scripts/packages.txt)
  for package in "${wanted[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed' ||
      missing+=("$package")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  echo "setup: installing ${missing[*]}"
  as_root apt-get update -qq
  as_root env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends \
    "${missing[@]}" </dev/null >/dev/null
}

install_missing_packages
build_dir=${BUILD_DIR:-build}
cmake -S . -B "$build_dir" -DCMAKE_BUILD_TYPE=Release "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)"
# dirsort tests its console text under a Shift_JIS locale.
locale -a 2>/dev/null | grep -ix "ja_JP.sjis" >/dev/null || as_root localedef --no-warnings=ascii -f SHIFT_JIS -i ja_JP ja_JP.SJIS
