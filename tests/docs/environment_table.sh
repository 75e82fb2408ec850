#!/usr/bin/env bash
# The README's environment tables name exactly the VNK_* variables the station's code reads:
# every name quoted in src/ (the station and the demo station read their variables by name,
# std::getenv("VNK_...")) against the first column of the tables under "## Environment".
# Prints the names missing from the README and those it lists that the code no longer reads.
set -u
root=${1:?usage: $0 SOURCE_DIR}
readme="$root/README.md"
[ -f "$readme" ] || { echo "no README at $readme"; exit 1; }

code=$(grep -rhoE --include='*.cpp' --include='*.h' '"VNK_[A-Z0-9_]+"' "$root/src" |
       tr -d '"' | sort -u)
# Rows of the tables in the section, from its heading to the next one: "| `VNK_NAME..."
documented=$(awk '/^## Environment/ {inside = 1; next} /^## / {inside = 0} inside' "$readme" |
             grep -oE '^\| `VNK_[A-Z0-9_]+' | sed 's/^| `//' | sort -u)

if [ -z "$code" ] || [ -z "$documented" ]; then
  echo "found no names: $(echo "$code" | wc -w) in src/, $(echo "$documented" | wc -w) in the README"
  exit 1
fi
missing=$(comm -23 <(echo "$code") <(echo "$documented"))
extra=$(comm -13 <(echo "$code") <(echo "$documented"))
echo "$(echo "$code" | wc -l) variables read in src/, $(echo "$documented" | wc -l) in the README's tables"
fail=0
if [ -n "$missing" ]; then
  echo "read by the code but missing from the README's environment tables:" $missing
  fail=1
fi
if [ -n "$extra" ]; then
  echo "in the README's environment tables but read nowhere in src/:" $extra
  fail=1
fi
exit "$fail"
