#!/usr/bin/env python3
"""docs/mqtt.md against broker/: the access-list and bridge examples it shows are the files'
own lines (comments aside), and its topic examples and the bridge's notification topic name
the site and station the access list grants. Prints what disagrees."""
import re
import sys

root = sys.argv[1]
docs = open(f"{root}/docs/mqtt.md").read()
blocks = [b.strip() for b in re.findall(r"^```[a-z]*\n(.*?)^```", docs, re.S | re.M)]
failures = []


def lines(path):
    text = open(f"{root}/{path}").read()
    return [l for l in text.splitlines() if l.strip() and not l.startswith("#")]


for example in ("broker/acl.example", "broker/bridge.conf.example"):
    want = lines(example)
    if not any([l for l in b.splitlines() if l.strip()] == want for b in blocks):
        failures.append(f"docs/mqtt.md shows no block with the lines of {example}")

granted = [m for l in lines("broker/acl.example")
           if (m := re.fullmatch(r"topic write vnk/([^/+#]+)/([^/+#]+)/#", l))]
if len(granted) != 1:
    failures.append("broker/acl.example grants no single station's subtree")
else:
    site, station = granted[0].groups()
    shown = re.findall(r"^`vnk/([^/`]+)/([^/`]+)/", docs, re.M)
    if not shown:
        failures.append("docs/mqtt.md has no topic examples")
    for s, t in shown:
        if (s, t) != (site, station):
            failures.append(f"topic example vnk/{s}/{t}/ against the access list's vnk/{site}/{station}/")
    notify = [l.split()[1] for l in lines("broker/bridge.conf.example")
              if l.startswith("notification_topic ")]
    if notify != [f"vnk-bridge/{site}/state"]:
        failures.append(f"the bridge's notification topic {notify}, not vnk-bridge/{site}/state")

print(f"{len(blocks)} blocks in docs/mqtt.md; {len(failures)} disagreements")
for f in failures:
    print(f)
sys.exit(1 if failures else 0)
