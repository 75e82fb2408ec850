#!/usr/bin/env bash
# Mutation check of the stop paths: applies, one at a time, the single-line faults listed in
# scripts/mutate.faults to the source, rebuilds the test programs that fault names (Debug,
# without sanitizers, in build/mutate), runs them and reports the fault killed (a test
# failed) or surviving. The source is put back after each fault, and on any exit.
#
#   bash scripts/mutate.sh            every fault
#   bash scripts/mutate.sh ID...      only these faults
#   MUTATE_BUILD=dir MUTATE_FAULTS=file bash scripts/mutate.sh
#
# A line of the faults file (blank lines and # comments aside):
#   ID @@ area @@ path @@ text @@ replacement @@ program[:gtest filter] ...
# The text must occur exactly once in the file. Exit status 0 only when every fault chosen
# applied, built and was killed; the summary line comes last.
set -euo pipefail
cd "$(dirname "$0")/.."

faults=${MUTATE_FAULTS:-scripts/mutate.faults}
build=${MUTATE_BUILD:-build/mutate}
backup="$build/mutate-original"
jobs=$(nproc 2>/dev/null || echo 2)
# The station's 1024 x 768 touch screen, as CTest gives the programs that draw it.
export QT_QPA_PLATFORM="offscreen:configfile=$PWD/tests/touch_screen.json"

bash scripts/deps.sh >/dev/null
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVNK_SANITIZE=OFF -DVNK_WERROR=OFF \
  >/dev/null

mkdir -p "$backup"
current=""
restore() {
  if [ -n "$current" ] && [ -f "$backup/file" ]; then
    cp "$backup/file" "$current"
    current=""
  fi
}
trap restore EXIT INT TERM

# Fields of a fault line, trimmed, one per output line.
fields() {
  python3 - "$1" <<'PY'
import sys
for f in sys.argv[1].split("@@"):
    print(f.strip())
PY
}

# Replaces the one occurrence of TEXT in FILE by REPLACEMENT; fails when it is not there
# exactly once.
apply_fault() {
  python3 - "$1" "$2" "$3" <<'PY'
import sys
path, text, replacement = sys.argv[1:4]
source = open(path).read()
n = source.count(text)
if n != 1:
    sys.exit(f"the text occurs {n} times in {path}")
open(path, "w").write(source.replace(text, replacement))
PY
}

programs_of() {  # "prog:filter prog2" -> "prog prog2"
  local t out=""
  for t in $1; do out+=" ${t%%:*}"; done
  echo "$out"
}

# The programs CTest runs on the 1024 x 768 touch screen (tests/unit/ui/CMakeLists.txt's
# touch_screen_test) run on it here too.
touch_screen_programs=" $(sed -n 's/^touch_screen_test(\([a-z_]*\).*/\1/p' tests/unit/ui/CMakeLists.txt | tr '\n' ' ')"

run_tests() {  # returns 0 when every named program passes
  local t prog filter platform
  for t in $1; do
    prog=${t%%:*}
    filter="*"
    [ "$prog" != "$t" ] && filter=${t#*:}
    platform=offscreen
    [[ "$touch_screen_programs " == *" $prog "* ]] &&
      platform="offscreen:configfile=$PWD/tests/touch_screen.json"
    if ! QT_QPA_PLATFORM=$platform timeout 900 "$build/bin/$prog" --gtest_filter="$filter" \
        --gtest_brief=1 > "$build/mutate-last.log" 2>&1; then
      echo "$prog"
      return 1
    fi
  done
  return 0
}

mapfile -t lines < <(grep -v '^[[:space:]]*#' "$faults" | grep -v '^[[:space:]]*$')
chosen=("$@")
all_programs=""
for line in "${lines[@]}"; do
  mapfile -t f < <(fields "$line")
  all_programs+=" $(programs_of "${f[5]}")"
done
all_programs=$(echo "$all_programs" | tr ' ' '\n' | sort -u | tr '\n' ' ')

echo "building the test programs unmutated:$all_programs"
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $all_programs >/dev/null
# A fault is only killed by a test that passes without it.
for prog in $all_programs; do
  if ! run_tests "$prog" >/dev/null; then
    echo "$prog fails without any fault (see $build/mutate-last.log): mend that first"
    exit 1
  fi
done

total=0 killed=0 survived=0 broken=0
for line in "${lines[@]}"; do
  mapfile -t f < <(fields "$line")
  id=${f[0]} path=${f[2]} text=${f[3]} replacement=${f[4]} tests=${f[5]}
  if [ ${#chosen[@]} -gt 0 ] && [[ ! " ${chosen[*]} " == *" $id "* ]]; then continue; fi
  total=$((total + 1))
  cp "$path" "$backup/file"
  current=$path
  if ! why=$(apply_fault "$path" "$text" "$replacement" 2>&1); then
    restore
    broken=$((broken + 1))
    printf '%-9s %-34s %s\n' "BROKEN" "$id" "$why"
    continue
  fi
  # shellcheck disable=SC2046
  if ! cmake --build "$build" -j "$jobs" --target $(programs_of "$tests") \
      > "$build/mutate-build.log" 2>&1; then
    restore
    broken=$((broken + 1))
    printf '%-9s %-34s %s\n' "BROKEN" "$id" "does not build (see $build/mutate-build.log)"
    continue
  fi
  if failed=$(run_tests "$tests"); then
    survived=$((survived + 1))
    printf '%-9s %-34s %s\n' "SURVIVED" "$id" "$path"
  else
    killed=$((killed + 1))
    printf '%-9s %-34s %s\n' "killed" "$id" "by $failed"
  fi
  restore
done

# The programs back to the source as it stands.
# shellcheck disable=SC2086
cmake --build "$build" -j "$jobs" --target $all_programs >/dev/null
echo "mutation check: $total faults, $killed killed, $survived survived, $broken broken"
[ "$killed" -eq "$total" ]
