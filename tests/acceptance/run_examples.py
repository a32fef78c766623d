#!/usr/bin/env python3
"""Runs lumet on every case of examples/expected.tsv.

usage: run_examples.py [--all] LUMET EXAMPLES_DIR

With --all every case is checked for its verdict (to see what a build reaches).

Every case must end cleanly: no signal, no sanitizer report, an exit status
of 0, 1 or 255, the version line and the FILE line of its model.  The cases in
ENABLED must also give their expected conclusion word and exit status, and
pass their counterexample check when one is given.  The others are printed as
skipped with the reason, together with the last line lumet printed.
"""
import csv
import os
import shutil
import subprocess
import sys
import tempfile

# Cases whose verdict this build computes; grows as the stages land.  All
# example cases run on the decision-diagram engine, which is built.
ENABLED = {"X%02i" % i for i in range(1, 39)}
# C programs: those with only char variables and no function besides main.
ENABLED |= {"C01", "C02", "C03", "C04", "C05", "C06", "C07", "C09", "C10", "C11"}
# Cases that wait for a stage, with the stage.
WAITING = {"C08": "procedures"}
WAITING.update({"B%02i" % i: "the bounded SAT route" for i in range(1, 12)})
WAITING.update({"Q%02i" % i: "the bounded QBF route" for i in range(1, 7)})

SKIP_REASON = "its stages are not built yet"
TIMEOUT = 120  # seconds per case
VERSION = "VERSION:    lumet 1.43 - JAN 2013"
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                   "runtime error:")


def conclusion(out):
    for line in out.splitlines():
        if line.startswith("CONCLUSION: "):
            words = line[len("CONCLUSION: "):].split()
            return words[0] if words else ""
    return None


def last_state(cex_text):
    """name -> value of the last "--- STATE" block of a counterexample file."""
    state = None
    for line in cex_text.splitlines():
        if line.startswith("--- STATE"):
            state = {}
        elif line.startswith("--- TRANS"):
            continue
        elif state is not None and "=" in line:
            name, value = line.split("=", 1)
            state[name.strip()] = value.strip()
    return state or {}


def check_cex(case, work):
    model = os.path.join(work, case["model"])
    path = os.path.splitext(model)[0] + ".cex"
    if not os.path.exists(path):
        return ["no counterexample file %s" % os.path.relpath(path, work)]
    with open(path) as f:
        state = last_state(f.read())
    problems = []
    for pair in filter(None, case["cex_check"].split(";")):
        name, want = pair.split("=", 1)
        got = state.get(name)
        if got != want:
            problems.append("cex: %s is %s, expected %s" % (name, got, want))
    return problems


def model_file(case):
    """The model lumet reads: a C program (-c) is read as its translation."""
    args = case["args"].split()
    if "-c" in args and args.index("-c") + 1 < len(args):
        return os.path.splitext(args[args.index("-c") + 1])[0] + ".lum"
    return case["model"]


def run_case(lumet, case, work):
    args = case["args"].split() + [case["model"]]
    try:
        p = subprocess.run([lumet] + args, cwd=work, stdin=subprocess.DEVNULL,
                           capture_output=True, text=True, errors="replace",
                           timeout=TIMEOUT)
    except subprocess.TimeoutExpired:
        return None, ["no end within %i s" % TIMEOUT]
    problems = []
    if p.returncode < 0:
        problems.append("killed by signal %i" % -p.returncode)
    elif p.returncode not in (0, 1, 255):
        problems.append("exit status %i" % p.returncode)
    if any(m in p.stderr for m in SANITIZER_MARKS):
        problems.append("sanitizer report:\n" + p.stderr)
    lines = p.stdout.splitlines()
    if not lines or lines[0] != VERSION:
        problems.append("no version line first")
    if "FILE:       " + model_file(case) not in lines:
        problems.append("no FILE line")
    return p, problems


def main():
    argv = sys.argv[1:]
    check_all = "--all" in argv
    argv = [a for a in argv if a != "--all"]
    if len(argv) != 2:
        sys.exit(__doc__)
    lumet = os.path.abspath(argv[0])
    examples = os.path.abspath(argv[1])
    with open(os.path.join(examples, "expected.tsv"), newline="") as f:
        cases = list(csv.DictReader(f, delimiter="\t"))
    unknown = ENABLED - {c["id"] for c in cases}
    if unknown:
        sys.exit("ENABLED names unknown cases: %s" % sorted(unknown))

    passed = failed = skipped = 0
    with tempfile.TemporaryDirectory(prefix="lumet-acceptance-") as tmp:
        for case in cases:
            # each case in a fresh copy: lumet writes its logs and .cex files there
            work = os.path.join(tmp, case["id"])
            shutil.copytree(examples, work)
            cmd = "lumet %s %s" % (case["args"], case["model"])
            p, problems = run_case(lumet, case, work)
            enabled = check_all or case["id"] in ENABLED
            if p is not None and enabled:
                got = conclusion(p.stdout)
                if got != case["conclusion"]:
                    problems.append("conclusion %s, expected %s" % (got, case["conclusion"]))
                want_exit = int(case["exit"])
                if p.returncode != want_exit:
                    problems.append("exit status %i, expected %i" % (p.returncode, want_exit))
                if case.get("cex_check"):
                    problems += check_cex(case, work)
            if problems:
                failed += 1
                print("FAIL %s: %s" % (case["id"], cmd))
                for pr in problems:
                    print("     " + pr)
                if p is not None:
                    print("     stdout:\n" + p.stdout + "     stderr:\n" + p.stderr)
            elif enabled:
                passed += 1
                print("PASS %s: %s" % (case["id"], cmd))
            else:
                skipped += 1
                last = p.stdout.splitlines()[-1] if p.stdout else ""
                err = p.stderr.strip().splitlines()
                print("SKIP %s: %s (%s; ends cleanly after: %s%s)"
                      % (case["id"], cmd,
                         "waits for " + WAITING[case["id"]] if case["id"] in WAITING
                         else SKIP_REASON, last,
                         "; stderr: " + err[-1] if err else ""))
    print("%i passed, %i failed, %i skipped" % (passed, failed, skipped))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
