#!/usr/bin/env python3
"""Reads every pump file of a recording folder with Python's csv module: the four header
lines, then record lines that all have the header's field count. Prints one line per file
(name, record lines) and exits 1 at the first file that does not read."""
import csv
import pathlib
import re
import sys


def check(path):
    with open(path, newline="", encoding="ascii") as f:
        rows = list(csv.reader(f))
    if len(rows) < 4 or not rows[0][0].startswith("Pump #") or rows[2] != []:
        raise ValueError("header lines")
    width = len(rows[3])
    if width != 24 or rows[3][-1] != "":
        raise ValueError(f"column header has {width} fields")
    for n, row in enumerate(rows[4:], start=5):
        if len(row) != width:
            raise ValueError(f"line {n} has {len(row)} fields, not {width}")
    return len(rows) - 4


def main(folder):
    files = sorted(p for p in pathlib.Path(folder).iterdir() if re.search(r"_\d+\.csv$", p.name))
    if not files:
        print("no pump files", file=sys.stderr)
        return 1
    for p in files:
        try:
            print(f"{p.name}: {check(p)} record lines")
        except (ValueError, csv.Error, UnicodeDecodeError) as e:
            print(f"{p.name}: {e}", file=sys.stderr)
            return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
