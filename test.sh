#!/usr/bin/env bash
# Builds both presets and runs every test: portable code natively (ASan + UBSan),
# everything for Windows under Wine, then short fuzz smoke runs.
set -euo pipefail
cd "$(dirname "$0")"

tools/install-deps.sh

jobs=${JOBS:-$(nproc)}

echo "== native: build and test"
cmake --preset native >/dev/null
cmake --build --preset native -j "$jobs"
ctest --preset native -j "$jobs"

echo "== windows: build and test under Wine"
cmake --preset windows >/dev/null
cmake --build --preset windows -j "$jobs"
export WINEPREFIX="$PWD/build/windows/wineprefix"
# Each test runs once: a test that needs a second try is a broken test.
tools/with-display ctest --preset windows -j "$jobs"

if [ -x fuzz/smoke.sh ]; then
    echo "== fuzz: smoke runs"
    fuzz/smoke.sh
fi

echo "== all tests passed"
