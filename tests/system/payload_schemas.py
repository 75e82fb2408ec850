#!/usr/bin/python3
"""What remote monitoring published in a run, against docs/schema.

usage: payload_schemas.py SCHEMA_DIR PAYLOADS

PAYLOADS holds one message a line: the topic, a tab, the payload as it arrived. Every payload
must be strict UTF-8 JSON that keeps to its topic's schema; every topic, the state's online
and offline, the stage's running and ended, and each alarm state (active or cleared,
acknowledged or not) must have been seen. Each schema must also reject the first payload of
its topic with an unknown field added, and with any one of its required fields taken away.
Exit status 1 and one line per failure.
"""
import json
import sys

from jsonschema import Draft202012Validator

NAMES = ["state", "meta", "heartbeat", "fleet", "pump", "stage", "alarm", "event"]


def schema_name(topic):
    parts = topic.split("/")  # vnk/<site>/<station>/<leaf>, vnk/<site>/<station>/pump/<n>
    if len(parts) == 5 and parts[3] == "pump" and parts[4].isdigit():
        return "pump"
    return parts[3] if len(parts) == 4 else None


def main(schema_dir, payloads):
    validators = {}
    for name in NAMES:
        with open(f"{schema_dir}/{name}.schema.json", encoding="utf-8") as f:
            schema = json.load(f)
        Draft202012Validator.check_schema(schema)
        validators[name] = Draft202012Validator(schema)

    failures, first, states, alarm_states = [], {}, set(), set()
    with open(payloads, "rb") as f:
        for n, line in enumerate(f, 1):
            topic, _, payload = line.rstrip(b"\n").partition(b"\t")
            topic = topic.decode("utf-8", "replace")
            name = schema_name(topic)
            if name not in validators:
                failures.append(f"line {n}: a topic no schema covers: {topic}")
                continue
            try:
                body = json.loads(payload.decode("utf-8"))  # strict: no byte that is not UTF-8
            except ValueError as e:  # UnicodeDecodeError is one
                failures.append(f"{topic}: not UTF-8 JSON ({e}): {payload[:200]!r}")
                continue
            error = next(iter(validators[name].iter_errors(body)), None)
            if error is not None:
                failures.append(f"{topic}: {error.message} at {list(error.absolute_path)}: "
                                f"{payload[:300].decode('utf-8', 'replace')}")
                continue
            first.setdefault(name, body)
            if name in ("state", "stage"):
                states.add(body["state"])
            if name == "alarm" and body["state"] is not None:
                alarm_states.add((body["state"], body["acknowledged"]))

    for name in NAMES:
        if name not in first:
            failures.append(f"no payload on {name} was seen")
    for state in sorted({"online", "offline", "running", "ended"} - states):
        failures.append(f"no {state} state was seen")
    for state, acknowledged in sorted({(s, a) for s in ("active", "cleared")
                                       for a in (False, True)} - alarm_states):
        failures.append(f"no alarm {state} with acknowledged {str(acknowledged).lower()} was seen")

    for name, sample in first.items():
        validator = validators[name]
        if validator.is_valid(dict(sample, unknown_field=1)):
            failures.append(f"{name}: the schema takes an unknown field")
        for field in validator.schema["required"]:
            if validator.is_valid({k: v for k, v in sample.items() if k != field}):
                failures.append(f"{name}: the schema takes a payload without {field}")

    seen = sum(1 for _ in open(payloads, "rb"))
    for failure in failures:
        print(failure)
    print(f"{seen} payloads, {len(failures)} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    sys.exit(main(sys.argv[1], sys.argv[2]))
