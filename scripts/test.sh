#!/usr/bin/env bash
# Builds everything in the Debug build (AddressSanitizer and UndefinedBehaviorSanitizer on)
# and runs every test. Installs what is missing first. The CTest summary is printed last.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

build=${VNK_BUILD_DIR:-build/debug}
werror=OFF
if [ "${CI:-}" = "true" ]; then
  werror=ON
  # Every test program also runs whole (see tests/CMakeLists.txt), in a new random order
  # each time: a test that depends on what an earlier one left behind fails there.
  export GTEST_SHUFFLE=1
fi
jobs=$(nproc 2>/dev/null || echo 2)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
  -DVNK_SANITIZE=ON -DVNK_WERROR="$werror" >/dev/null
cmake --build "$build" -j "$jobs"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
log="$build/ctest.log"
set +e
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
set -e
# The runner's summary line, last.
grep -E "tests passed|tests failed" "$log" | tail -n 1
exit "$rc"
