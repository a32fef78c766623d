#!/usr/bin/env python3
"""Scalability of the decision-diagram engine on the generated model families.

usage: engine_scale.py LUMET [--gen GEN.PY] [--limit SECONDS] [--runs K]
                       [--family NAME ...] [--out FILE.tsv]

For each family, variant and check (with and without -f for the invariant,
plus the liveness property and deadlock-freeness), N grows until a run takes
longer than the limit (default 60 s). Every line shows N, the reachable-state
count of the family, the verdict, its expected value, the CPU time (user + sys;
median of K runs once a run takes more than a sixth of the limit) and the peak
resident memory, from /usr/bin/time -v. At the end the largest N decided within
10 s and within the limit is listed per check with its time and memory.
"""
import argparse
import math
import os
import re
import statistics
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_GEN = "/work/shared/bench/gen.py"

# family, variant, lumet options, expected word, first N, step (negative:
# multiply by -step; the true counter's invariant is decided without deep
# iteration, so its N grows geometrically)
CHECKS = [
    ("counter", "false", "-ck 1", "FALSE", 8, 2),
    ("counter", "false", "-ck 1 -f", "FALSE", 8, 2),
    ("counter", "true", "-ck 1", "TRUE", 8, -2),
    ("counter", "true", "-ck 1 -f", "TRUE", 8, 2),
    ("counter", "false", "-ck 2", "TRUE", 8, 2),
    ("philo", "deadlock", "-ck 1", "TRUE", 3, 1),
    ("philo", "deadlock", "-ck 1 -f", "TRUE", 3, 1),
    ("philo", "deadlock", "-ck df", "FALSE", 3, 1),
    ("philo", "fixed", "-ck 1", "TRUE", 3, 1),
    ("philo", "fixed", "-ck 1 -f", "TRUE", 3, 1),
    ("philo", "fixed", "-ck df", "TRUE", 3, 1),
    ("ring", "fair", "-ck 1", "TRUE", 3, 1),
    ("ring", "fair", "-ck 1 -f", "TRUE", 3, 1),
    ("ring", "fair", "-ck 2", "TRUE", 3, 1),
    ("ring", "fair", "-ck df", "TRUE", 3, 1),
]


def reachable(family, variant, n):
    if family == "counter":
        return 2 ** n if variant == "false" else 2 ** (n - 1)
    if family == "philo":
        return round((1 + math.sqrt(2)) ** n + (1 - math.sqrt(2)) ** n)
    return 3 * n * 2 ** (n - 1)


def run_once(lumet, args, model, limit, workdir):
    cmd = ["/usr/bin/time", "-v", lumet] + args.split() + [model]
    try:
        p = subprocess.run(cmd, cwd=workdir, capture_output=True, text=True, timeout=limit + 5)
    except subprocess.TimeoutExpired:
        return None, None, "timeout"
    user = re.search(r"User time \(seconds\): ([\d.]+)", p.stderr)
    sys_ = re.search(r"System time \(seconds\): ([\d.]+)", p.stderr)
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr)
    secs = float(user.group(1)) + float(sys_.group(1)) if user and sys_ else None
    word = re.search(r"CONCLUSION: (\w+)", p.stdout)
    return secs, int(rss.group(1)) if rss else None, word.group(1) if word else "none"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lumet")
    ap.add_argument("--gen", default=DEFAULT_GEN)
    ap.add_argument("--limit", type=float, default=60.0)
    ap.add_argument("--maxn", type=int, default=4096, help="largest N tried")
    ap.add_argument("--runs", type=int, default=3, help="runs for the median near the limit")
    ap.add_argument("--family", nargs="*")
    ap.add_argument("--only", nargs="*", help="checks whose 'family variant args' contains one of these")
    ap.add_argument("--out")
    a = ap.parse_args()
    lumet = os.path.abspath(a.lumet)
    out = open(a.out, "w") if a.out else None
    summary = []
    with tempfile.TemporaryDirectory() as work:
        hdr = "family\tvariant\targs\tN\treachable\tverdict\texpected\tseconds\tpeak_kb"
        print(hdr, flush=True)
        if out:
            print(hdr, file=out, flush=True)
        for family, variant, args, want, n, step in CHECKS:
            if a.family and family not in a.family:
                continue
            if a.only and not any(o in "%s %s %s" % (family, variant, args) for o in a.only):
                continue
            best10 = bestlim = None
            while True:
                model = os.path.join(work, "%s_%s_%d.lum" % (family, variant, n))
                with open(model, "w") as f:
                    subprocess.run([sys.executable, a.gen, family, str(n), "--lang", "lum",
                                    "--variant", variant], stdout=f, check=True)
                times, rss, word = [], None, None
                runs = 1
                while len(times) < runs:
                    t, r, word = run_once(lumet, args, model, a.limit, work)
                    if t is None:
                        break
                    times.append(t)
                    rss = max(rss or 0, r or 0)
                    if t > a.limit / 6:
                        runs = a.runs
                t = statistics.median(times) if times and len(times) == runs else None
                line = "%s\t%s\t%s\t%d\t%d\t%s\t%s\t%s\t%s" % (
                    family, variant, args, n, reachable(family, variant, n), word, want,
                    "%.2f" % t if t is not None else ">%g" % a.limit, rss if rss else "-")
                print(line, flush=True)
                if out:
                    print(line, file=out, flush=True)
                if t is None or t > a.limit or word != want or n >= a.maxn:
                    break
                if t <= 10:
                    best10 = (n, t, rss)
                bestlim = (n, t, rss)
                n = n * -step if step < 0 else n + step
            summary.append((family, variant, args, best10, bestlim))
    def show(b):
        return "-" if b is None else "N=%d %.1f s %.0f MB" % (b[0], b[1], (b[2] or 0) / 1024)
    print("\nlargest N decided (CPU s, peak MB): family variant args | within 10 s | within %g s"
          % a.limit)
    for family, variant, args, b10, bl in summary:
        print("%s %s %s | %s | %s" % (family, variant, args, show(b10), show(bl)))


if __name__ == "__main__":
    main()
