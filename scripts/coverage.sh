#!/usr/bin/env bash
# Line and branch coverage of src/ by the whole test suite, per folder. Builds a build folder
# of its own (Debug, --coverage, no sanitizers), runs CTest in it, and sums gcovr's figures
# by folder of src/ (src/link, src/operation, ...). Installs what is missing first (gcovr with
# apt-get). The whole suite runs, so it takes about as long as the test command.
#   COVERAGE_BUILD  build folder (default build/coverage)
#   JOBS            parallel jobs (default: the number of cores)
# The report is also left in $COVERAGE_BUILD/coverage.json (gcovr's summary per file).
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
if ! command -v gcovr >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  echo "Installing: gcovr"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends gcovr >/dev/null
fi

build=${COVERAGE_BUILD:-build/coverage}
jobs=${JOBS:-$(nproc 2>/dev/null || echo 2)}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVNK_SANITIZE=OFF \
  -DCMAKE_CXX_FLAGS="--coverage" -DCMAKE_EXE_LINKER_FLAGS="--coverage" >/dev/null
cmake --build "$build" -j "$jobs"

# Counts of an earlier run would add to this one's.
find "$build" -name '*.gcda' -delete
set +e
QT_QPA_PLATFORM=offscreen ctest --test-dir "$build" -j "$jobs" --timeout 900 \
  > "$build/ctest.log" 2>&1
rc=$?
set -e
grep -E "tests passed|tests failed" "$build/ctest.log" | tail -n 1
[ "$rc" -eq 0 ] || echo "(some tests failed: the figures are those of the run as it went)"

# CMake's compiler check leaves a counter file of its own, with no source to go with it.
rm -f "$build"/CMakeFiles/*/CompilerIdCXX/*.gcno
# Branches the compiler adds for exceptions and for code it proved unreachable are no
# decisions of the program: they are left out of the branch figures.
gcovr --root . --object-directory "$build" --filter 'src/' \
  --exclude-throw-branches --exclude-unreachable-branches \
  --json-summary "$build/coverage.json" >/dev/null

python3 - "$build/coverage.json" <<'EOF'
import json, os, sys
folders = {}
for f in json.load(open(sys.argv[1]))["files"]:
    folder = os.path.dirname(f["filename"])
    s = folders.setdefault(folder, [0, 0, 0, 0])
    s[0] += f["line_covered"]; s[1] += f["line_total"]
    s[2] += f["branch_covered"]; s[3] += f["branch_total"]
def pct(a, b):
    return f"{100.0 * a / b:5.1f}" if b else "    -"
print(f"{'folder':<22} {'lines %':>8} {'branches %':>11}   (lines, branches)")
total = [0, 0, 0, 0]
for folder in sorted(folders):
    s = folders[folder]
    total = [t + v for t, v in zip(total, s)]
    print(f"{folder:<22} {pct(s[0], s[1]):>8} {pct(s[2], s[3]):>11}   "
          f"({s[0]}/{s[1]}, {s[2]}/{s[3]})")
print(f"{'all of src/':<22} {pct(total[0], total[1]):>8} {pct(total[2], total[3]):>11}   "
      f"({total[0]}/{total[1]}, {total[2]}/{total[3]})")
EOF
