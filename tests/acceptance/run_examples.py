#!/usr/bin/env python3
"""Runs lumet on every case of examples/expected.tsv.

usage: run_examples.py [--all] [--extra=ARGS] [--reverse-order] LUMET EXAMPLES_DIR

With --all every case is checked for its verdict (to see what a build reaches).
With --extra=ARGS the enabled model-file cases run again with ARGS added
(-Om, -Ovord: the verdicts must not change); with --reverse-order each of them
runs with an order file that lists its variables backwards.

Every case must end cleanly: no signal, no sanitizer report, an exit status
of 0, 1 or 255, the version line and the FILE line of its model.  The cases in
ENABLED must also give their expected conclusion word and exit status, and
pass their counterexample check when one is given.  The others are printed as
skipped with the reason, together with the last line lumet printed.
"""
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Cases whose verdict this build computes; grows as the stages land.
ENABLED = {"X%02i" % i for i in range(1, 39)}
# C programs without functions besides main.
ENABLED |= {"C01", "C02", "C03", "C04", "C05", "C06", "C07", "C09", "C10", "C11"}
# C functions other than main are procedures.
ENABLED |= {"C08"}
# Cases that wait for a stage, with the stage.
WAITING = {}
# bounded checking, SAT and QBF routes
ENABLED |= {"B%02i" % i for i in range(1, 12)}
ENABLED |= {"Q%02i" % i for i in range(1, 7)}

# Bound at which a FALSE of the bounded engine must be found: the length of
# the shortest counterexample (the default engine's forward search finds the
# same lengths for the invariants; B08 is a one-step lasso).
FALSE_BOUND = {"B01": 5, "B02": 1, "B03": 1, "B08": 1}

SKIP_REASON = "its stages are not built yet"
TIMEOUT = 120  # seconds per case
VERSION = "VERSION:    lumet 1.43 - JAN 2013"
SANITIZER_MARKS = ("AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                   "runtime error:")


def printed_bound(out):
    for line in out.splitlines():
        if line.startswith("CONCLUSION: ") and "bound=" in line:
            return int(line.split("bound=")[1].split(")")[0])
    return None


def check_bound(case, out, work):
    """A bounded FALSE: the bound of the shortest counterexample, and a trace
    of that many steps (a lasso: as many steps, the one back included)."""
    want = FALSE_BOUND.get(case["id"])
    if want is None:
        return []
    got = printed_bound(out)
    if got != want:
        return ["bound %s, expected %i" % (got, want)]
    path = os.path.splitext(os.path.join(work, case["model"]))[0] + ".cex"
    if not os.path.exists(path):
        return ["no counterexample file"]
    with open(path) as f:
        steps = sum(1 for line in f if line.startswith("--- TRANS"))
    if steps != want:
        return ["counterexample of %i steps at bound %i" % (steps, want)]
    return []


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


def flattened_name(model, name):
    """a[i][j] as the counterexample shows it: the element at its row-major
    position of the declared array, a[k] (the file names flattened cells)."""
    base, idx = name.split("[", 1)
    idx = [int(i) for i in re.findall(r"(-?\d+)\]", "[" + idx)]
    with open(model) as f:
        decl = re.search(r"\b%s((?:\[\s*-?\d+\s*\.\.\s*-?\d+\s*\])+)" % re.escape(base), f.read())
    if not decl:
        return name
    highs = [int(h) for h in re.findall(r"\.\.\s*(-?\d+)", decl.group(1))]
    pos = 0
    for k, i in enumerate(idx):
        size = 1
        for h in highs[k + 1:]:
            size *= h + 1
        pos += i * size
    return "%s[%i]" % (base, pos)


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
        if got is None and name.count("[") > 1:
            got = state.get(flattened_name(model, name))
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


def reverse_order(lumet, case, work):
    """-v with the case's variables backwards, read from a first run's trace."""
    run_case(lumet, case, work)
    with open(os.path.join(work, "loglmt.tmp"), errors="replace") as f:
        trace = f.read()
    at = re.search(r"^VAR \d+$", trace, re.M)
    names = re.findall(r"\(\d+ ([^\s()]+) \d+ \)", trace[at.end():] if at else "")
    with open(os.path.join(work, "revorder"), "w") as f:
        f.write("".join(n + "\n" for n in reversed(list(dict.fromkeys(names)))))
    return " -v revorder"


def main():
    argv = sys.argv[1:]
    check_all = "--all" in argv
    extra = [a[len("--extra="):] for a in argv if a.startswith("--extra=")]
    reverse = "--reverse-order" in argv
    argv = [a for a in argv if a not in ("--all", "--reverse-order") and not a.startswith("--extra=")]
    if len(argv) != 2:
        sys.exit(__doc__)
    lumet = os.path.abspath(argv[0])
    examples = os.path.abspath(argv[1])
    with open(os.path.join(examples, "expected.tsv"), newline="") as f:
        cases = list(csv.DictReader(f, delimiter="\t"))
    unknown = ENABLED - {c["id"] for c in cases}
    if unknown:
        sys.exit("ENABLED names unknown cases: %s" % sorted(unknown))

    if extra or reverse:
        cases = [c for c in cases if c["id"] in ENABLED and c["model"].endswith(".lum")
                 and "-c" not in c["args"].split()]
        for c in cases:
            c["args"] += "".join(" " + e for e in extra)
    passed = failed = skipped = 0
    with tempfile.TemporaryDirectory(prefix="lumet-acceptance-") as tmp:
        for case in cases:
            # each case in a fresh copy: lumet writes its logs and .cex files there
            work = os.path.join(tmp, case["id"])
            shutil.copytree(examples, work)
            if reverse:
                case = dict(case, args=case["args"] + reverse_order(lumet, case, work))
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
                if case["conclusion"] == "FALSE":
                    problems += check_bound(case, p.stdout, work)
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
