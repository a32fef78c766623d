#!/usr/bin/env python3
"""Bounded engine (SAT route) on the generated model families.

usage: bmc_bench.py LUMET bounds [--limit MINUTES]
       bmc_bench.py LUMET share  [--solver minisat] [--runs K]
       bmc_bench.py LUMET dump DIR [--from 10] [--to 40]
       (all take --gen GEN.PY, default /work/shared/bench/gen.py)

bounds  the largest bound each family completes within the time limit (-T,
        default 1 minute) with the internal solver: the bound of the verdict
        line (UNKNOWN gives the last bound checked completely).
share   lumet's own share of the run time with an external solver: the CPU
        time of lumet and everything it started, less the solver's own CPU
        time on the same problems (written by dump mode, solved from here),
        median of K runs, per family over its bounds 0..B.
dump    the CNF problems of bounds FROM..TO of every family, written by dump
        mode into DIR/<family>/ as .lumet_<direction>.<bound>.

Families: counter (true variant, -ck 1: AG over the top bit, TRUE), philo
(deadlock variant, -ck 1: neighbours never eat together, TRUE), ring (-ck 1:
exactly one token, TRUE; the generated FAIRNESS section is removed, since the
SAT route takes no fairness, and an invariant does not depend on it). The
properties are true, so the bound loop runs until the proof or the limit.
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import sys
import tempfile

DEFAULT_GEN = "/work/shared/bench/gen.py"

# family, N, variant, property, bound for the time share
FAMILIES = [
    ("counter", 12, "true", "1", 40),
    ("philo", 6, "deadlock", "1", 9),
    ("ring", 6, "fair", "1", 20),
]


def model(gen, family, n, variant, path):
    text = subprocess.run([sys.executable, gen, family, str(n), "--lang", "lum", "--variant", variant],
                          capture_output=True, text=True, check=True).stdout
    text = re.sub(r"\nFAIRNESS\n.*?\nSPEC\n", "\nSPEC\n", text, flags=re.S)
    with open(path, "w") as f:
        f.write(text)


def bound_of(out):
    m = re.search(r"CONCLUSION: (\w+) \(time=(\d+) bound=(-?\d+)\)", out)
    return (m.group(1), int(m.group(3)), int(m.group(2))) if m else (None, None, None)


def cmd_bounds(args, work):
    print("family\tN\tverdict\tbound\twall s")
    for fam, n, var, prop, _ in FAMILIES:
        path = os.path.join(work, fam + ".lum")
        model(args.gen, fam, n, var, path)
        p = subprocess.run([args.lumet, "-SAT", "-T%d" % args.limit, "-ck", prop, path],
                           cwd=work, capture_output=True, text=True)
        verdict, bound, wall = bound_of(p.stdout)
        print("%s\t%d\t%s\t%s\t%s" % (fam, n, verdict, bound, wall))


def children_cpu():
    r = resource.getrusage(resource.RUSAGE_CHILDREN)
    return r.ru_utime + r.ru_stime


def cmd_share(args, work):
    """Total: lumet and the solvers it starts. Solver: the same solver run from
    here on the problems dump mode writes for the same bounds (the same CNFs),
    so no wrapper process and no coarse timer enters either figure."""
    print("family\tN\tbounds\ttotal cpu s\tsolver cpu s\tlumet share")
    for fam, n, var, prop, b in FAMILIES:
        path = os.path.join(work, fam + ".lum")
        model(args.gen, fam, n, var, path)
        dump = os.path.join(work, "dump-" + fam)
        os.makedirs(dump, exist_ok=True)
        shutil.copy(path, dump)
        subprocess.run([args.lumet, "-SAT", "-satsolver", "_", "-bound", str(b), "-ck", prop,
                        os.path.basename(path)], cwd=dump, capture_output=True, text=True)
        problems = sorted(f for f in os.listdir(dump) if f.startswith(".lumet_"))
        rows = []
        for _ in range(args.runs):
            before = children_cpu()
            p = subprocess.run([args.lumet, "-SAT", "-satsolver", args.solver, "-bound", str(b), "-ck", prop,
                                path], cwd=work, capture_output=True, text=True)
            total = children_cpu() - before
            verdict, last, _ = bound_of(p.stdout)
            if verdict != "UNKNOWN":   # ended before B: the problems it solved
                problems = [f for f in problems if int(f.split(".")[2]) <= last]
            before = children_cpu()
            for prob in problems:
                subprocess.run([args.solver, os.path.join(dump, prob), os.path.join(work, "model.out")],
                               capture_output=True)
            solver = children_cpu() - before
            rows.append((total, solver))
        total = statistics.median(r[0] for r in rows)
        solver = statistics.median(r[1] for r in rows)
        share = (total - solver) / total if total > 0 else 0.0
        print("%s\t%d\t0..%d\t%.2f\t%.2f\t%.1f%%" % (fam, n, b, total, solver, 100 * share))


def cmd_dump(args, work):
    for fam, n, var, prop, _ in FAMILIES:
        d = os.path.join(args.dir, fam)
        os.makedirs(d, exist_ok=True)
        path = os.path.join(d, fam + ".lum")
        model(args.gen, fam, n, var, path)
        subprocess.run([args.lumet, "-SAT", "-satsolver", "_", "-lbound", str(args.lo), "-bound", str(args.hi),
                        "-ck", prop, fam + ".lum"], cwd=d, capture_output=True, text=True, check=False)
        files = sorted(x for x in os.listdir(d) if x.startswith(".lumet_"))
        print("%s: %d problems in %s" % (fam, len(files), d))


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lumet")
    ap.add_argument("mode", choices=["bounds", "share", "dump"])
    ap.add_argument("dir", nargs="?")
    ap.add_argument("--gen", default=DEFAULT_GEN)
    ap.add_argument("--limit", type=int, default=1)
    ap.add_argument("--solver", default="minisat")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--from", dest="lo", type=int, default=10)
    ap.add_argument("--to", dest="hi", type=int, default=40)
    args = ap.parse_args()
    args.lumet = os.path.abspath(args.lumet)
    if args.mode == "dump" and not args.dir:
        ap.error("dump needs DIR")
    with tempfile.TemporaryDirectory(prefix="lumet-bmc-") as work:
        {"bounds": cmd_bounds, "share": cmd_share, "dump": cmd_dump}[args.mode](args, work)


if __name__ == "__main__":
    main()
