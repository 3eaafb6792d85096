#!/usr/bin/env bash
# Sets everything up, then runs every test: the release build (unit, command
# line, GUI under Xvfb and the whole road), a bounded fuzz run, and the same
# tests again under AddressSanitizer and UBSan.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh
ctest --test-dir build --output-on-failure

if [ -f scripts/fuzz.sh ]; then bash scripts/fuzz.sh; fi

BUILD_DIR=build-asan bash scripts/setup.sh -DCTVIEW_SANITIZE=ON -DCTVIEW_BENCH=OFF
ctest --test-dir build-asan --output-on-failure
