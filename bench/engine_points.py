#!/usr/bin/env python3
"""CPU time of the decision-diagram engine at chosen sizes of the generated families.

usage: engine_points.py LUMET [--gen GEN.PY] [--runs K] [--limit SECONDS] [POINT ...]

A point is "family:variant:N:options", e.g. "ring:fair:36:-ck 2". Without
points the figures of the engine's speed goals are measured. Each line shows
the verdict, the median CPU time (user + sys) of K runs (one run once a run
takes more than half the limit) and the largest peak resident memory.
"""
import argparse
import os
import re
import statistics
import subprocess
import sys
import tempfile

DEFAULT_GEN = "/work/shared/bench/gen.py"

POINTS = [
    "counter:false:22:-ck 1", "counter:false:22:-ck 1 -f", "counter:false:21:-ck 2",
    "philo:fixed:17:-ck 1", "philo:fixed:34:-ck 1", "philo:fixed:34:-ck 1 -f",
    "philo:fixed:34:-ck df", "philo:deadlock:34:-ck 1", "philo:deadlock:34:-ck 1 -f",
    "philo:deadlock:16:-ck df", "ring:fair:18:-ck 1", "ring:fair:18:-ck 2",
    "ring:fair:36:-ck 1", "ring:fair:36:-ck 2", "ring:fair:36:-ck df",
]


def run(lumet, args, model, limit, workdir):
    cmd = ["/usr/bin/time", "-v", lumet] + args.split() + [model]
    try:
        p = subprocess.run(cmd, cwd=workdir, capture_output=True, text=True, timeout=limit)
    except subprocess.TimeoutExpired:
        return None, None, "timeout"
    user = re.search(r"User time \(seconds\): ([\d.]+)", p.stderr)
    sys_ = re.search(r"System time \(seconds\): ([\d.]+)", p.stderr)
    rss = re.search(r"Maximum resident set size \(kbytes\): (\d+)", p.stderr)
    word = re.search(r"CONCLUSION: (\w+)", p.stdout)
    secs = float(user.group(1)) + float(sys_.group(1)) if user and sys_ else None
    return secs, int(rss.group(1)) if rss else None, word.group(1) if word else "none"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lumet")
    ap.add_argument("points", nargs="*")
    ap.add_argument("--gen", default=DEFAULT_GEN)
    ap.add_argument("--runs", type=int, default=3)
    ap.add_argument("--limit", type=float, default=120.0)
    a = ap.parse_intermixed_args()
    lumet = os.path.abspath(a.lumet)
    with tempfile.TemporaryDirectory(prefix="lumet-points-") as work:
        for point in a.points or POINTS:
            family, variant, n, args = point.split(":", 3)
            model = os.path.join(work, "%s_%s_%s.lum" % (family, variant, n))
            with open(model, "w") as f:
                subprocess.run([sys.executable, a.gen, family, n, "--lang", "lum",
                                "--variant", variant], stdout=f, check=True)
            times, peak, word = [], 0, "none"
            for _ in range(a.runs):
                secs, rss, word = run(lumet, args, model, a.limit, work)
                if secs is None:
                    break
                times.append(secs)
                peak = max(peak, rss or 0)
                if secs > a.limit / 2:
                    break
            t = "%.2f s" % statistics.median(times) if times else "> %g s" % a.limit
            print("%-8s %-9s N=%-3s %-10s %-8s %12s (%d runs) %8.0f MB" %
                  (family, variant, n, args, word, t, len(times), peak / 1024), flush=True)


if __name__ == "__main__":
    main()
