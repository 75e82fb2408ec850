#!/usr/bin/env python3
"""Mutation check of the whole suite; scripts/mutate.sh configures the build and runs this.

Each fault of the faults file is applied alone to the source. The programs it names are built
and run first (they are the quickest to kill it); when none of them fails, every other test
program built from the mutated file is built and run whole. The fault is killed when a test
fails (or a program crashes or hangs); the names of the tests that failed are printed.
MUTATE_EVERY=1 runs every candidate program even after a kill, to name every test that kills
the fault.

Verdicts are kept in the build folder (MUTATE_VERDICTS overrides): a fault whose line, mutated
file and the tests of the programs that decided it are unchanged is not run again, so a run
that was stopped goes on where it was. The source is put back after each fault, and on any
exit.
"""
import fcntl
import hashlib
import json
import os
import re
import signal
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
os.chdir(ROOT)
FAULTS = os.environ.get("MUTATE_FAULTS", "scripts/mutate.faults")
BUILD = os.environ.get("MUTATE_BUILD", "build/mutate")
VERDICTS = os.environ.get("MUTATE_VERDICTS", os.path.join(BUILD, "mutate-verdicts.json"))
EVERY = os.environ.get("MUTATE_EVERY") == "1"
JOBS = str(os.cpu_count() or 2)
AREAS = {"stop-paths", "formats", "journal", "recorder", "client", "settings-windows",
         "hardware-dialogs", "placement", "platform", "remote", "operation", "link", "ui",
         "startup", "autocontrol", "simulator"}
TEST_FOLDERS = ("tests/", "fuzz/")


class Fault:
    def __init__(self, number, line):
        fields = [f.strip() for f in line.split("@@")]
        if len(fields) != 6:
            sys.exit(f"{FAULTS}:{number}: {len(fields)} fields, not 6")
        self.id, self.area, self.path, self.text, self.replacement, last = fields
        if self.area not in AREAS:
            sys.exit(f"{FAULTS}:{number}: unknown area '{self.area}'")
        self.equivalent = last[len("EQUIVALENT:"):].strip() if last.startswith("EQUIVALENT:") \
            else None
        self.tries = [] if self.equivalent is not None else [
            (t.split(":", 1)[0], t.split(":", 1)[1] if ":" in t else "*") for t in last.split()]
        self.line = "@@".join(fields)


def read_faults():
    faults, seen = [], set()
    with open(FAULTS) as f:
        for number, line in enumerate(f, 1):
            if line.strip() and not line.lstrip().startswith("#"):
                fault = Fault(number, line)
                if fault.id in seen:
                    sys.exit(f"{FAULTS}:{number}: fault {fault.id} is listed twice")
                seen.add(fault.id)
                faults.append(fault)
    return faults


def sha(*parts):
    h = hashlib.sha256()
    for p in parts:
        h.update(p if isinstance(p, bytes) else p.encode())
        h.update(b"\0")
    return h.hexdigest()


def file_sha(path):
    try:
        with open(path, "rb") as f:
            return sha(f.read())
    except OSError:
        return "missing"


def ninja(*args):
    return subprocess.run(["ninja", "-C", BUILD, *args], check=True, capture_output=True,
                          text=True).stdout


def build(programs, log):
    if not programs:
        return True
    with open(log, "w") as out:
        return subprocess.run(["cmake", "--build", BUILD, "-j", JOBS, "--target", *programs],
                              stdout=out, stderr=subprocess.STDOUT).returncode == 0


class Programs:
    """The test programs CTest knows, their environment, and the files each is built from."""

    def __init__(self):
        shown = json.loads(subprocess.run(["ctest", "--show-only=json-v1"], cwd=BUILD,
                                          check=True, capture_output=True, text=True).stdout)
        self.env = {}
        bin_dir = os.path.realpath(os.path.join(BUILD, "bin"))
        for test in shown.get("tests", []):
            command = test.get("command") or []
            if not command or os.path.dirname(os.path.realpath(command[0])) != bin_dir:
                continue
            name = os.path.basename(command[0])
            env = self.env.setdefault(name, {})
            for prop in test.get("properties", []):
                if prop.get("name") == "ENVIRONMENT":
                    for item in prop.get("value", []):
                        key, _, value = item.partition("=")
                        env.setdefault(key, value)
        self.files = {}
        self.test_hash = {}
        self.full_hash = {}

    def map_files(self):
        """Which source files each program and each of its objects is built from."""
        deps, current = {}, None
        for line in ninja("-t", "deps").splitlines():
            if line and not line.startswith(" "):
                current = deps.setdefault(line.split(":", 1)[0], [])
            elif line.strip() and current is not None:
                current.append(line.strip())
        root = os.path.realpath(ROOT) + os.sep
        build_dir = os.path.realpath(BUILD)

        def ours(path):
            full = os.path.realpath(path if os.path.isabs(path) else os.path.join(build_dir, path))
            ok = full.startswith(root) and not full.startswith(build_dir + os.sep)
            return full[len(root):] if ok else None

        self.objects = {}
        for name in self.env:
            files, objects = set(), {}
            for item in ninja("-t", "inputs", f"bin/{name}").splitlines():
                mine = [f for f in map(ours, deps.get(item, [])) if f is not None]
                files.update(mine)
                if mine and mine[0].startswith(TEST_FOLDERS):
                    objects[mine[0]] = [f for f in mine if f.startswith(TEST_FOLDERS)]
                if ours(item) is not None:
                    files.add(ours(item))
            self.files[name] = files
            self.objects[name] = objects
            self.test_hash[name] = self.hash_of(f for f in files if f.startswith(TEST_FOLDERS))
            self.full_hash[name] = self.hash_of(files)

    @staticmethod
    def hash_of(files):
        return sha(*(f + file_sha(f) for f in sorted(set(files))))

    def tests_hash(self, name, tests):
        """The hash of the test files that hold these tests of a program (what they include from
        tests/ too), or of all its test files when one of them cannot be found."""
        files = []
        for test in tests:
            m = re.match(r"(?:[^/ .]+/)?([^/ .]+)\.([^/ (]+)", test)
            found = None
            if m:
                pattern = re.compile(r"\(\s*%s\s*,\s*%s\s*\)" % (m.group(1), m.group(2)))
                for source, included in self.objects.get(name, {}).items():
                    with open(source, errors="replace") as f:
                        if pattern.search(f.read()):
                            found = included
                            break
            if found is None:
                return self.test_hash.get(name, "")
            files += found
        return self.hash_of(files)

    def built_from(self, path):
        return sorted(p for p, files in self.files.items() if path in files)


def last_started(log):
    started = None
    for line in log.splitlines():
        m = re.match(r"\[ RUN      \] (\S+)", line)
        if m:
            started = m.group(1)
        elif re.match(r"\[ +(OK|FAILED|SKIPPED) +\] ", line):
            started = None
    return started


def run(programs, name, filt, timeout):
    """Runs one program; returns (passed, seconds, the tests that failed)."""
    env = dict(os.environ)
    env.update(programs.env.get(name, {}))
    log = os.path.join(BUILD, "mutate-last.log")
    start = time.monotonic()
    # A session of its own, so that a hung program's children (a simulator, a broker) go with it.
    args = [os.path.join(BUILD, "bin", name), f"--gtest_filter={filt}"]
    if not EVERY:
        args.append("--gtest_fail_fast")  # one failing test is enough to kill a fault
    p = subprocess.Popen(args, env=env,
                         stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True)
    try:
        out, _ = p.communicate(timeout=timeout)
        how = None
    except subprocess.TimeoutExpired:
        how = f"hung past {timeout:.0f} s"
    finally:
        if p.poll() is None or how is not None:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    if how is not None:
        out, _ = p.communicate()
    output, code = out.decode(errors="replace"), p.returncode if how is None else -1
    with open(log, "w") as f:
        f.write(output)
    seconds = time.monotonic() - start
    if code == 0:
        return True, seconds, []
    failed = sorted({m.group(1) for m in re.finditer(r"^\[  FAILED  \] (\S+\.\S+?)(?:,|$| )",
                                                     output, re.M)})
    if how is None and code < 0:
        how = f"crashed ({signal.Signals(-code).name})"
    if how is not None:
        started = last_started(output)
        failed.append(f"{started or name} ({how})")
    return False, seconds, failed or [f"{name} (exit {code})"]


class Source:
    """Applies a fault to its file and always puts the file back."""

    def __init__(self):
        self.path, self.original = None, None

    def apply(self, fault):
        with open(fault.path) as f:
            text = f.read()
        n = text.count(fault.text)
        if n != 1:
            return f"the text occurs {n} times in {fault.path}"
        self.path, self.original = fault.path, text
        with open(fault.path, "w") as f:
            f.write(text.replace(fault.text, fault.replacement))
        return None

    def restore(self):
        if self.path is not None:
            with open(self.path, "w") as f:
                f.write(self.original)
            self.path = None


def main(chosen):
    faults = [f for f in read_faults() if not chosen or f.id in chosen]
    shard, shards = (int(x) for x in os.environ.get("MUTATE_SHARD", "0/1").split("/"))
    faults = [f for i, f in enumerate(faults) if i % shards == shard]
    if chosen and shards == 1 and len(faults) != len(set(chosen)):
        sys.exit("unknown fault: " + " ".join(sorted(set(chosen) - {f.id for f in faults})))
    verdicts = {}
    if os.path.exists(VERDICTS):
        with open(VERDICTS) as f:
            verdicts = json.load(f)

    print("building the test programs unmutated", flush=True)
    with open(os.path.join(BUILD, "mutate-build.log"), "w") as out:
        if subprocess.run(["cmake", "--build", BUILD, "-j", JOBS], stdout=out,
                          stderr=subprocess.STDOUT).returncode != 0:
            sys.exit(f"the test programs do not build (see {BUILD}/mutate-build.log)")
    programs = Programs()  # CTest lists a program's tests once it is built
    programs.map_files()
    for fault in faults:
        for name, _ in fault.tries:
            if name not in programs.env:
                sys.exit(f"fault {fault.id} names {name}, which is no test program")

    source = Source()
    for sig in (signal.SIGINT, signal.SIGTERM):
        signal.signal(sig, lambda *_: sys.exit(1))
    # (program, filter) -> seconds of a pass unmutated; kept while none of its files changed
    baseline = {}
    for key, seconds in verdicts.pop("_baselines", {}).items():
        name, filt, files = key.split("|", 2)
        if files == programs.full_hash.get(name):
            baseline[(name, filt)] = seconds

    def ensure_baseline(tries):
        """Each program passes unmutated before it may kill; needs the source unmutated."""
        todo = [t for t in tries if t not in baseline]
        if not todo:
            return True
        build(sorted({n for n, _ in todo}), os.path.join(BUILD, "mutate-build.log"))
        for name, filt in todo:
            passed, seconds, failed = run(programs, name, filt, 1800)
            if not passed:
                print(f"{name} --gtest_filter={filt} fails without any fault: "
                      f"{', '.join(failed)} (see {BUILD}/mutate-last.log); mend that first")
                return False
            baseline[(name, filt)] = seconds
        return True

    def key_of(fault, killers, decided_by):
        """What a verdict rests on: the fault, its file, and the tests that killed it (or, for a
        survivor, every program that tried)."""
        tests = [programs.tests_hash(p, t) for p, t in sorted(killers.items())] if killers else \
            [programs.test_hash.get(n, "") for n in sorted(decided_by)]
        return sha(fault.line, file_sha(fault.path), *tests)

    counts = {"killed": 0, "kept": 0, "SURVIVED": 0, "EQUIVALENT": 0, "BROKEN": 0}
    per_area = {}
    started = time.monotonic()
    try:
        for fault in faults:
            verdict, detail = run_fault(fault, programs, source, ensure_baseline, key_of,
                                        verdicts, baseline)
            counts[verdict] += 1
            area = per_area.setdefault(fault.area, [0, 0])
            area[0] += 1
            area[1] += verdict in ("killed", "kept", "EQUIVALENT")
            print(f"{verdict:<10} {fault.id:<34} {detail}", flush=True)
            keep(fault.id, verdicts.get(fault.id), {
                f"{n}|{flt}|{programs.full_hash[n]}": sec for (n, flt), sec in baseline.items()})
    finally:
        source.restore()
        build(sorted(programs.env), os.path.join(BUILD, "mutate-build.log"))
    print("per area (killed or equivalent / faults): " + ", ".join(
        f"{a} {v[1]}/{v[0]}" for a, v in sorted(per_area.items())))
    print(f"took {(time.monotonic() - started) / 60:.1f} min")
    total = sum(counts.values())
    print(f"mutation check: {total} faults, {counts['killed'] + counts['kept']} killed "
          f"({counts['kept']} kept from an earlier run), {counts['EQUIVALENT']} equivalent, "
          f"{counts['SURVIVED']} survived, {counts['BROKEN']} broken")
    return 0 if counts["SURVIVED"] == 0 and counts["BROKEN"] == 0 else 1


def keep(fault_id, verdict, baselines):
    """Adds a verdict to the file under a lock, so that shards run side by side (in trees of
    their own, MUTATE_SHARD=i/n) can share it."""
    with open(VERDICTS + ".lock", "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        kept = {}
        if os.path.exists(VERDICTS):
            with open(VERDICTS) as f:
                kept = json.load(f)
        if verdict is not None:
            kept[fault_id] = verdict
        kept.setdefault("_baselines", {}).update(baselines)
        with open(VERDICTS + ".tmp", "w") as f:
            json.dump(kept, f, indent=1, sort_keys=True)
        os.replace(VERDICTS + ".tmp", VERDICTS)


def describe(killers):
    return "by " + "; ".join(f"{p}: {', '.join(t)}" for p, t in killers.items())


def run_fault(fault, programs, source, ensure_baseline, key_of, verdicts, baseline):
    if fault.equivalent is not None:
        return "EQUIVALENT", fault.equivalent
    named = [n for n, _ in fault.tries]
    others = [n for n in programs.built_from(fault.path) if n not in named]
    old = verdicts.get(fault.id)
    if old and old["key"] == key_of(fault, old["killers"], old["decided_by"]):
        return ("kept", describe(old["killers"])) if old["killers"] else \
            ("SURVIVED", "(as in an earlier run) " + fault.path)

    if not ensure_baseline(fault.tries):
        sys.exit(1)
    killers, decided_by = {}, []
    for stage in (fault.tries, [(n, "*") for n in others]):
        if not stage or (killers and not EVERY):
            continue
        if not ensure_baseline(stage):
            sys.exit(1)
        why = source.apply(fault)
        if why is not None:
            return "BROKEN", why
        try:
            if not build(sorted({n for n, _ in stage}), os.path.join(BUILD, "mutate-build.log")):
                return "BROKEN", f"does not build (see {BUILD}/mutate-build.log)"
            for name, filt in stage:
                passed, _, failed = run(programs, name, filt, 3 * baseline[(name, filt)] + 120)
                decided_by.append(name)
                if not passed:
                    killers.setdefault(name, []).extend(failed)
                    if not EVERY:
                        break
        finally:
            source.restore()
    verdicts[fault.id] = {"key": key_of(fault, killers, decided_by), "killers": killers,
                          "decided_by": sorted(set(decided_by))}
    if killers:
        return "killed", describe(killers)
    return "SURVIVED", f"{fault.path} (tried {', '.join(sorted(set(decided_by)))})"


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
