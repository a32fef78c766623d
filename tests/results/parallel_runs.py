#!/usr/bin/env python3
"""Eight runs at once in one directory, each with its own -wd, give what the
same eight runs give one after the other without -wd; none of them leaves a
work file in the shared directory.

usage: parallel_runs.py LUMET EXAMPLES_DIR
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

# Different models; between them they write every kind of work file: the
# logs, the decision-diagram log, the SAT log, an external solver's problem
# and answer, dump files, the int width probe's outputs, c2v.log, and .cex
# files next to their models.
CASES = [
    "-ck 2 -f models/river.lum",
    "-ck 3 -SAT models/lights2d.lum",
    "-ck 2 -QBF models/thermostat.lum",
    "-ck 1 models/tas_lock.lum",
    "-ck df models/locks_bad.lum",
    "-c models/ex01_rot3.c models/ex01_rot3.c",
    "-ck 1 -SAT -satsolver _ -bound 3 models/gcd.lum",
    "-ck 1 -QBF -qbfsolver _ -bound 2 models/stopwatch.lum",
]
if shutil.which("minisat"):
    CASES[1] = "-ck 3 -SAT -satsolver minisat models/lights2d.lum"
TIME = re.compile(r"time=\d+")


def outcome(p, work, args):
    """The verdict line without its seconds, the exit status, the .cex file."""
    verdict = [TIME.sub("time=", l) for l in p.stdout.splitlines() if l.startswith("CONCLUSION:")]
    model = args.split()[-1]
    if "-c" in args.split():
        model = os.path.splitext(model)[0] + ".lum"
    cex = os.path.join(work, os.path.splitext(model)[0] + ".cex")
    text = open(cex).read() if os.path.exists(cex) else None
    return verdict, p.returncode, text


def main():
    lumet, examples = os.path.abspath(sys.argv[1]), sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory(prefix="lumet-parallel-") as tmp:
        seq, par = os.path.join(tmp, "seq"), os.path.join(tmp, "par")
        shutil.copytree(examples, seq)
        shutil.copytree(examples, par)
        before = set(os.listdir(par))
        alone = []
        for args in CASES:
            p = subprocess.run([lumet] + args.split(), cwd=seq, capture_output=True, text=True,
                               stdin=subprocess.DEVNULL, timeout=120)
            alone.append(outcome(p, seq, args))
        procs = [subprocess.Popen([lumet, "-wd", "w%i/sub" % i] + args.split(), cwd=par,
                                  stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                                  stdin=subprocess.DEVNULL)
                 for i, args in enumerate(CASES)]
        for i, (proc, args) in enumerate(zip(procs, CASES)):
            out, err = proc.communicate(timeout=120)
            p = subprocess.CompletedProcess(proc.args, proc.returncode, out, err)
            got = outcome(p, par, args)
            if got != alone[i]:
                failures.append("%s: %s at once, %s alone" % (args, got[:2], alone[i][:2]))
            work = os.path.join(par, "w%i" % i, "sub")
            for log in ("loglmt.tmp", "logtmp.tmp"):
                if not os.path.exists(os.path.join(work, log)):
                    failures.append("%s: no %s in its work directory" % (args, log))
            if not alone[i][0]:
                failures.append("%s: no verdict" % args)
        left = sorted(set(os.listdir(par)) - before - {"w%i" % i for i in range(len(CASES))})
        if left:
            failures.append("work files in the shared directory: %s" % left)
        models = sorted(f for f in os.listdir(os.path.join(par, "models"))
                        if re.search(r"\.tmp$|^\.lumet_|^logsat|^c2v\.log$", f))
        if models:
            failures.append("work files next to the models: %s" % models)
    for f in failures:
        print("FAIL " + f)
    print("%i runs at once, %i faults" % (len(CASES), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
