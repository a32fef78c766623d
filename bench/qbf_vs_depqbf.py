#!/usr/bin/env python3
"""Internal QBF solver against depqbf on the problems dump mode writes.

    qbf_vs_depqbf.py LUMET BENCH_QBFSOLVE OUTDIR

For the QBF cases of the examples and the ring and philo families of
../shared/bench/gen.py, lumet -qbfsolver _ writes bounds 1 to 6 (QBF text and
.qdimacs); each file is solved by both solvers (user CPU time of the child,
median of 3 runs, 60 s cap).  Prints one line per file with both times, the
ratio internal/depqbf and whether the answers agree, then the largest bound
each solver finishes within the cap per model and direction (the files
".lumet_0.*" and ".lumet_1.*").  A solver that runs past the
cap at one bound is not run at the larger bounds of that model (the problems
grow with the bound); those lines show "skipped".  LUMET_QBF_CAP sets the cap.
"""
import glob, os, resource, shutil, statistics, subprocess, sys

CAP = int(os.environ.get("LUMET_QBF_CAP", "60"))
HERE = os.path.dirname(os.path.abspath(__file__))
EXAMPLES = os.path.join(HERE, "..", "tests", "acceptance", "examples", "models")
GEN = "/work/shared/bench/gen.py"
CASES = [("thermostat", "-ck 2"), ("thermostat", "-ck 4"), ("river", "-ck 1"), ("stopwatch", "-ck 1"),
         ("sensorlog", "-ck 1"), ("tas_lock", "-ck 2"), ("pingpong", "-ck 1")]


def cpu(cmd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime
    try:
        st = subprocess.run(cmd, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=CAP).returncode
    except subprocess.TimeoutExpired:
        st = None
    return resource.getrusage(resource.RUSAGE_CHILDREN).ru_utime - before, st


def measure(cmd):
    runs = [cpu(cmd)]
    if runs[0][1] is not None and runs[0][0] < 5:
        runs += [cpu(cmd), cpu(cmd)]
    t = statistics.median(r[0] for r in runs)
    return t, runs[0][1]


def main():
    lumet, solve, out = sys.argv[1:4]
    os.makedirs(out, exist_ok=True)
    models = [(os.path.join(EXAMPLES, m + ".lum"), a) for m, a in CASES]
    for fam, n, var in [("ring", 3, "fair"), ("philo", 3, "fixed")]:
        path = os.path.join(out, "%s%d.lum" % (fam, n))
        with open(path, "w") as f:
            subprocess.run([sys.executable, GEN, fam, str(n), "--lang", "lum", "--variant", var], stdout=f, check=True)
        models.append((path, "-ck 1"))
    best = {}
    timed_out = {}
    for model, args in models:
        name = os.path.basename(model)[:-4] + args.replace(" ", "")
        d = os.path.join(out, name)
        shutil.rmtree(d, ignore_errors=True)
        os.makedirs(d)
        subprocess.run([lumet] + args.split() + ["-QBF", "-qbfsolver", "_", "-lbound", "1", "-bound", "6",
                        os.path.abspath(model)], cwd=d, stdout=subprocess.DEVNULL, timeout=600)
        for q in sorted(glob.glob(os.path.join(d, ".lumet_?.00?"))):
            k = int(q[-1])
            series = name + " " + os.path.basename(q)[:-4]  # one series per direction
            dead = timed_out.setdefault(series, [False, False])
            ti, si = (float("nan"), "skipped") if dead[0] else measure([solve, q, str(CAP)])
            td, sd = (float("nan"), "skipped") if dead[1] else measure(["depqbf", q + ".qdimacs"])
            dead[0] = dead[0] or si not in (10, 20)
            dead[1] = dead[1] or sd not in (10, 20)
            agree = "agree" if si == sd and si in (10, 20) else "si=%s sd=%s" % (si, sd)
            ratio = ti / td if td > 0 else float("inf")
            print("%-28s %s  internal %8.3f s  depqbf %8.3f s  ratio %8.1f  %s" %
                  (name, os.path.basename(q), ti, td, ratio, agree), flush=True)
            b = best.setdefault(series, [0, 0])
            if si in (10, 20): b[0] = max(b[0], k)
            if sd in (10, 20): b[1] = max(b[1], k)
    for name, (bi, bd) in best.items():
        print("%-28s largest bound within %i s: internal %i, depqbf %i" % (name, CAP, bi, bd))


if __name__ == "__main__":
    main()
