#!/usr/bin/env bash
# The field station carries no demo scripting: no VNK_DEMO_ variable name is anywhere in
# vnk-station's file, while vnk-station-demo has them (which also shows that the search
# reads these files and would find them).
set -u
field=$1
demo=$2
fail=0
for f in "$field" "$demo"; do
  if [ ! -s "$f" ]; then
    echo "missing or empty: $f"
    exit 1
  fi
done
in_field=$(grep -ac 'VNK_DEMO_' "$field")
in_demo=$(grep -ac 'VNK_DEMO_' "$demo")
echo "VNK_DEMO_ found on $in_field lines of $field, $in_demo lines of $demo"
if [ "$in_field" -ne 0 ]; then
  echo "the field station holds demo driver names"
  fail=1
fi
if [ "$in_demo" -eq 0 ]; then
  echo "the demo station holds no demo driver names: the drivers are not linked into it"
  fail=1
fi
# The screenshots are diagnostics and stay in both.
for f in "$field" "$demo"; do
  if ! grep -aq 'VNK_SCREENSHOT_DIR' "$f"; then
    echo "no VNK_SCREENSHOT_DIR in $f"
    fail=1
  fi
done
exit "$fail"
