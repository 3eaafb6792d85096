#!/usr/bin/env bash
# Sets everything up, then runs every test: the formatting check, the release
# build with warnings as errors (unit, command line, GUI under Xvfb, the whole
# road, man pages and the Debian package), a bounded fuzz run, and the same
# tests again under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh test -DCTVIEW_WERROR=ON -DCTVIEW_BENCH=ON
bash scripts/check-format.sh
ctest --test-dir build --output-on-failure --no-tests=error

if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi

BUILD_DIR=build-asan bash scripts/setup.sh test -DCTVIEW_SANITIZE=ON -DCTVIEW_BENCH=OFF \
  -DCTVIEW_WERROR=ON
ctest --test-dir build-asan --output-on-failure --no-tests=error
