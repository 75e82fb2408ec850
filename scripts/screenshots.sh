#!/usr/bin/env bash
# Writes the README's screenshots of the station's windows and dialogs again: builds
# vnk_screenshots (tools/screenshots/, on the tests' fixtures) in the test build and runs it,
# offscreen on the 1024 x 768 touch screen. The folder is the first argument (default
# docs/screenshots); further arguments go to the program (--gtest_filter=Shots.TouchDialogs
# makes one group). The remote page's two shots are made by its test
# (VNK_SCREENSHOT_DIR=docs/screenshots build/debug/bin/remote_page_tests), the bank windows,
# detail view and the demo's others by scripts/demo.sh, the trend window by trend_bench.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
build=${VNK_BUILD_DIR:-build/debug}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVNK_SANITIZE=ON >/dev/null
cmake --build "$build" -j "$(nproc 2>/dev/null || echo 2)" --target vnk_screenshots

out=${1:-docs/screenshots}
shift || true
mkdir -p "$out"
"$build/bin/vnk_screenshots" "$out" "$@"
echo "Screenshots: $out"
