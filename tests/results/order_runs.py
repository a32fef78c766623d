#!/usr/bin/env python3
"""The decision-diagram engine's variable order changes nothing a user sees:
every bundled case run under the default order and under a shuffled one
prints what it prints under the declaration order (the seconds aside), ends
with the same status and writes the same files.

usage: order_runs.py LUMET EXAMPLES_DIR
"""
import csv
import filecmp
import os
import re
import shutil
import subprocess
import sys
import tempfile

ORDERS = ["default", "shuffle:5"]
SECONDS = re.compile(rb"time ?= ?\d+")
TIMEOUT = 300


def run(lumet, examples, tmp, case, order):
    work = os.path.join(tmp, case["id"] + "-" + order.replace(":", ""))
    shutil.copytree(examples, work)
    env = dict(os.environ)
    env.pop("LUMET_ORDER", None)
    if order != "default":
        env["LUMET_ORDER"] = order
    args = case["args"].split()
    if "-c" not in args:
        args.append(case["model"])
    p = subprocess.run([lumet] + args, cwd=work, env=env, capture_output=True, timeout=TIMEOUT)
    return work, SECONDS.sub(b"time=", p.stdout), p.returncode


def differing_files(a, b):
    """Files that differ or exist on one side only; logs keep their seconds."""
    out = []
    cmp = filecmp.dircmp(a, b)
    stack = [cmp]
    while stack:
        c = stack.pop()
        out += [os.path.join(c.left, f) for f in c.left_only + c.right_only]
        for f in c.diff_files:
            x = open(os.path.join(c.left, f), "rb").read()
            y = open(os.path.join(c.right, f), "rb").read()
            if f.endswith(".tmp"):
                x, y = SECONDS.sub(b"", x), SECONDS.sub(b"", y)
                x, y = re.sub(rb"(?m)^\d+$", b"", x), re.sub(rb"(?m)^\d+$", b"", y)
            if x != y:
                out.append(os.path.join(c.left, f))
        stack += c.subdirs.values()
    return out


def main():
    lumet, examples = os.path.abspath(sys.argv[1]), sys.argv[2]
    with open(os.path.join(examples, "expected.tsv")) as f:
        cases = [c for c in csv.DictReader(f, delimiter="\t")]
    failures = []
    traced = 0
    with tempfile.TemporaryDirectory(prefix="lumet-order-") as tmp:
        for case in cases:
            base, out, rc = run(lumet, examples, tmp, case, "declared")
            traced += b"preparing files" in out
            for order in ORDERS:
                work, o, r = run(lumet, examples, tmp, case, order)
                if (o, r) != (out, rc):
                    failures.append("%s %s: output or status differs" % (case["id"], order))
                for f in differing_files(base, work):
                    failures.append("%s %s: %s differs" % (case["id"], order, os.path.relpath(f, base)))
                shutil.rmtree(work)
            shutil.rmtree(base)
    for f in failures:
        print(f)
    print("%i cases, %i with a trace, %i orders each, %i differences"
          % (len(cases), traced, len(ORDERS), len(failures)))
    sys.exit(1 if failures or traced < 10 else 0)


if __name__ == "__main__":
    main()
