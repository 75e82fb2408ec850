#!/usr/bin/env bash
# Mutation check of the whole suite: applies, one at a time, the single-line faults listed in
# scripts/mutate.faults to the source, and runs against each the programs it names and then
# every other test program built from the mutated file (Debug, without sanitizers, in
# build/mutate). Prints per fault the tests that killed it, keeps the verdicts so that a run
# can be resumed (only faults whose file or tests changed run again), and ends with the
# summary line. scripts/mutate.py says how.
#
#   bash scripts/mutate.sh            every fault
#   bash scripts/mutate.sh ID...      only these faults
#   MUTATE_EVERY=1                    every candidate program is run, naming every killing test
#   MUTATE_SHARD=i/n                  only the i-th of n shares of the faults (0-based), for two
#                                     trees side by side sharing one MUTATE_VERDICTS file
#   MUTATE_BUILD=dir MUTATE_FAULTS=file MUTATE_VERDICTS=file bash scripts/mutate.sh
#
# Exit status 0 only when every fault chosen applied, built and was killed (or is marked
# equivalent in the file).
set -euo pipefail
cd "$(dirname "$0")/.."
build=${MUTATE_BUILD:-build/mutate}

bash scripts/deps.sh >/dev/null
# Assertions kept, no debug information and a quick linker: each fault is built and linked
# into several programs, and that is most of a run's time.
linker=gold
command -v ld.lld >/dev/null && linker=lld
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVNK_SANITIZE=OFF -DVNK_WERROR=OFF \
  -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g0" -DCMAKE_EXE_LINKER_FLAGS="-fuse-ld=$linker" >/dev/null
exec python3 scripts/mutate.py "$@"
