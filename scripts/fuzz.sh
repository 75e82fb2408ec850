#!/usr/bin/env bash
# Builds the fuzz harnesses with clang and libFuzzer (AddressSanitizer and
# UndefinedBehaviorSanitizer) in a build folder of their own and runs each, coverage-guided,
# on its seeds and the corpus earlier runs left. The test suite runs the same harnesses on a
# fixed set of inputs (CTest's *_fuzz tests); this is the longer search.
#   bash scripts/fuzz.sh [target...]   targets: receive registry config blender (default: all)
#   FUZZ_SECONDS  time per target (default 60); FUZZ_RUNS instead bounds the inputs
#   FUZZ_BUILD    build folder (default build/fuzz)
# A failing input is written to $FUZZ_BUILD/crashes/<target>/ (never into the repository).
set -euo pipefail
cd "$(dirname "$0")/.."

build=${FUZZ_BUILD:-build/fuzz}
seconds=${FUZZ_SECONDS:-60}
targets=("$@")
[ ${#targets[@]} -eq 0 ] && targets=(receive registry config blender)

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DVNK_FUZZ=ON -DVNK_SANITIZE=ON >/dev/null
cmake --build "$build" -j 2 --target "${targets[@]/%/_fuzz}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
status=0
for t in "${targets[@]}"; do
  corpus="$build/corpus/$t"
  crashes="$build/crashes/$t"
  mkdir -p "$corpus" "$crashes"
  limit=(-max_total_time="$seconds")
  [ -n "${FUZZ_RUNS:-}" ] && limit=(-runs="$FUZZ_RUNS")
  dict=()
  [ -f "fuzz/$t.dict" ] && dict=(-dict="fuzz/$t.dict")
  echo "== $t"
  # Fixed seed: a run is repeatable; the corpus carries what earlier runs found.
  if ! "$build/bin/${t}_fuzz" "${limit[@]}" -seed=1 -max_len=4096 -print_final_stats=1 \
      -artifact_prefix="$crashes/" "${dict[@]}" "$corpus" "fuzz/seeds/$t"; then
    echo "$t: a failing input is in $crashes" >&2
    status=1
  fi
done
exit "$status"
