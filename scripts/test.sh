#!/usr/bin/env bash
# Sets everything up, then runs every test: the formatting check, the release
# build with warnings as errors (unit, command line, GUI under Xvfb, the whole
# road, man pages and the Debian package), the Windows build and its tests
# under wine, a bounded fuzz run, and the same tests again under
# AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

# One line per phase with the seconds it took, so a slow or failing phase is plain.
phase_start=$SECONDS
phase() {
  echo "test.sh: $1: $((SECONDS - phase_start)) s" >&2
  phase_start=$SECONDS
}

bash scripts/setup.sh test -DCTVIEW_WERROR=ON -DCTVIEW_BENCH=ON
phase "set-up and release build"
bash scripts/check-format.sh
ctest --test-dir build --output-on-failure --no-tests=error
phase "format check and release tests"

# The first run on a machine builds the Windows libraries (about 15 minutes).
bash scripts/windows-test.sh build
phase "Windows build and tests under wine"

if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi
phase "fuzzing"

BUILD_DIR=build-asan bash scripts/setup.sh test -DCTVIEW_SANITIZE=ON -DCTVIEW_BENCH=OFF \
  -DCTVIEW_WERROR=ON
phase "ASan and UBSan build"
ctest --test-dir build-asan --output-on-failure --no-tests=error
phase "ASan and UBSan tests"
