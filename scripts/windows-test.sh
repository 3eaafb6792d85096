#!/usr/bin/env bash
# The Windows build's tests, under wine: makes the package
# (scripts/build-windows.sh), cross-builds the unit tests into the same
# folder and runs them through ctest, then the whole road with the packaged
# .exe files against the Linux build in LINUX_BUILD_DIR (tests/windows/road_test.sh).
#   scripts/windows-test.sh [LINUX_BUILD_DIR]     (default build)
set -euo pipefail
cd "$(dirname "$0")/.."
linux_build=$(realpath "${1:-build}")

bash scripts/install-packages.sh wine wine64 locales libc-bin xvfb xdotool x11-utils python3-pydicom
# wine reads file names in the Unix locale's encoding: a Japanese run needs a
# Japanese UTF-8 locale to exist.
locale -a 2>/dev/null | grep -ix "ja_JP.utf8" >/dev/null || localedef -f UTF-8 -i ja_JP ja_JP.UTF-8

package=$(bash scripts/build-windows.sh | tail -n 1)
build=build-windows
cmake -S . -B "$build" -DBUILD_TESTING=ON >/dev/null
cmake --build "$build" -j"$(nproc)"
ctest --test-dir "$build" -j"$(nproc)" --output-on-failure --no-tests=error
WINEPREFIX=$PWD/$build/wine-prefix wineserver -k 2>/dev/null || true

unpacked=$(mktemp -d /tmp/ctview-win-package.XXXXXX)
trap 'rm -rf "$unpacked"' EXIT
zip=$PWD/$package
(cd "$unpacked" && cmake -E tar xf "$zip")
bash tests/windows/road_test.sh "$linux_build" "$unpacked/$(basename "$package" .zip)"
