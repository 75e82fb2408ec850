#!/usr/bin/env bash
# Builds the receive-path fuzzer with clang (AddressSanitizer, UndefinedBehaviorSanitizer)
# in its own build folder and runs it for a bounded number of inputs.
#   FUZZ_RUNS   inputs to try (default 200000)
#   FUZZ_BUILD  build folder (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build/fuzz}
runs=${FUZZ_RUNS:-200000}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVNK_FUZZ=ON -DVNK_SANITIZE=ON >/dev/null
cmake --build "$build" -j 2 --target receive_fuzz

corpus="$build/corpus/receive"
mkdir -p "$corpus"
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# Fixed seed: a run is repeatable; the corpus carries what earlier runs found.
"$build/bin/receive_fuzz" -runs="$runs" -seed=1 -max_len=2048 \
  -dict=fuzz/receive.dict "$corpus" fuzz/seeds/receive
