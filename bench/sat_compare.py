#!/usr/bin/env python3
"""Internal SAT solver against MiniSat: CPU (user) time per instance, medians
of several runs, the ratio per instance and the median ratio.

Instances: pigeonhole PHP(n) (n+1 pigeons, n holes), random 3-SAT at ratio
4.26, and any DIMACS files given (for example the bounded engine's dump
files). Run from a Release build:

  bench/sat_compare.py --solver build-rel/bench/sat_solve [--runs 3]
                       [--php 7 8 9 10] [--rand 150 200 250] [--seeds 3]
                       [--timeout 300] [FILE.cnf ...]
"""
import argparse
import os
import random
import resource
import statistics
import subprocess
import sys
import tempfile


def pigeonhole(n):
    x = lambda i, j: i * n + j + 1
    cls = [[x(i, j) for j in range(n)] for i in range(n + 1)]
    for j in range(n):
        for a in range(n + 1):
            for b in range(a + 1, n + 1):
                cls.append([-x(a, j), -x(b, j)])
    return n * (n + 1), cls


def random3(n, seed):
    rng = random.Random(seed)
    cls = []
    for _ in range(int(4.26 * n)):
        vs = rng.sample(range(1, n + 1), 3)
        cls.append([v if rng.random() < 0.5 else -v for v in vs])
    return n, cls


def write(path, nv, cls):
    with open(path, "w") as f:
        f.write("p cnf %d %d\n" % (nv, len(cls)))
        for c in cls:
            f.write(" ".join(map(str, c)) + " 0\n")


def cputime(cmd, timeout):
    """User CPU seconds of one run and its exit status (None when it ran out
    of its CPU-time limit; the machine may be shared, so the limit is on CPU
    time, with a generous wall-clock backstop)."""
    def limit():
        resource.setrlimit(resource.RLIMIT_CPU, (int(timeout), int(timeout) + 1))
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime
    try:
        p = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=20 * timeout, preexec_fn=limit)
        status = p.returncode if p.returncode in (10, 20) else None
    except subprocess.TimeoutExpired:
        status = None
    after = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime
    return after - before, status


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--solver", required=True, help="path of bench/sat_solve")
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--php", type=int, nargs="*", default=[7, 8, 9, 10])
    ap.add_argument("--rand", type=int, nargs="*", default=[150, 200, 250])
    ap.add_argument("--seeds", type=int, default=3)
    ap.add_argument("--timeout", type=float, default=300, help="CPU seconds per run")
    ap.add_argument("files", nargs="*")
    a = ap.parse_args()

    tmp = tempfile.mkdtemp(prefix="lumet_satbench_")
    inst = []
    for n in a.php:
        p = os.path.join(tmp, "php%02d.cnf" % n)
        write(p, *pigeonhole(n))
        inst.append(("php%d" % n, p))
    for n in a.rand:
        for s in range(1, a.seeds + 1):
            p = os.path.join(tmp, "r3_%d_%d.cnf" % (n, s))
            write(p, *random3(n, 1000 * n + s))
            inst.append(("rand3-%d-s%d" % (n, s), p))
    for f in a.files:
        inst.append((os.path.basename(f), f))

    out = os.path.join(tmp, "out.txt")
    ratios = []
    print("%-24s %6s %10s %10s %8s" % ("instance", "answer", "lumet s", "minisat s", "ratio"))
    for name, path in inst:
        ours, theirs, ans = [], [], "?"
        for _ in range(a.runs):
            t, st = cputime([a.solver, path], a.timeout)
            ours.append(t if st is not None else float("inf"))
            t2, st2 = cputime(["minisat", "-verb=0", path, out], a.timeout)
            theirs.append(t2 if st2 is not None else float("inf"))
            if st is not None and st2 is not None and st != st2:
                print("DISAGREEMENT on %s: lumet %s, minisat %s" % (name, st, st2))
                sys.exit(1)
            ans = {10: "SAT", 20: "UNSAT"}.get(st if st is not None else st2, "?")
        mo, mt = statistics.median(ours), statistics.median(theirs)
        ratio = mo / max(mt, 0.005)
        ratios.append(ratio)
        print("%-24s %6s %10.3f %10.3f %8.2f" % (name, ans, mo, mt, ratio), flush=True)
    if ratios:
        print("median ratio (lumet / minisat, minisat floored at 5 ms): %.2f over %d instances"
              % (statistics.median(ratios), len(ratios)))


if __name__ == "__main__":
    main()
