#!/usr/bin/env bash
# Sets up and builds, then makes the Debian package build/ctview_VERSION_amd64.deb
# (the three programs, their modules and man pages; Depends from the binaries).
# Install it with: apt-get install --no-install-recommends ./build/ctview_*_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh deb
build_dir=${BUILD_DIR:-build}
cpack -G DEB --config "$build_dir/CPackConfig.cmake" -B "$build_dir" >"$build_dir/cpack.log" 2>&1 || {
  cat "$build_dir/cpack.log" >&2
  exit 1
}
rm -rf "$build_dir/_CPack_Packages"
for deb in "$build_dir"/ctview_*_amd64.deb; do
  echo "build-deb: $deb"
  dpkg-deb -f "$deb" Package Version Depends
done
