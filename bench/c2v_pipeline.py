#!/usr/bin/env python3
"""Translation and verification time of a C program under lumet -c.

usage: c2v_pipeline.py LUMET [C FILE] [--sp FILE.sp] [--runs K]

Each run works in a fresh copy of the C file (and its assertion file).  The
translation alone is timed with lumet -d -d -d -d -d -d -c (the driver stops
right after writing the model); the whole run (the width probe's children,
then the check of every assertion) is timed with lumet -c.  Shown: the
median over K runs (default 3) of the wall-clock and CPU seconds (user +
sys of lumet and its children), the verdict, the int width the probe chose
with the widths whose children it ran, the state bits of the model, and the
peak resident memory.  The C file defaults to examples/pipeline.c.
"""
import argparse
import os
import re
import resource
import shutil
import statistics
import subprocess
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))


def run(lumet, args, cwd):
    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    t0 = time.monotonic()
    p = subprocess.run([lumet] + args, cwd=cwd, capture_output=True, text=True)
    wall = time.monotonic() - t0
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    return p, wall, cpu, after.ru_maxrss


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("lumet")
    ap.add_argument("cfile", nargs="?", default=os.path.join(HERE, "..", "examples", "pipeline.c"))
    ap.add_argument("--sp")
    ap.add_argument("--runs", type=int, default=3)
    a = ap.parse_args()
    lumet = os.path.abspath(a.lumet)
    name = os.path.basename(a.cfile)
    extra = ["-sp", os.path.basename(a.sp)] if a.sp else []
    tr, full, peak = [], [], 0
    verdict = width = tried = ""
    for _ in range(a.runs):
        work = tempfile.mkdtemp(prefix="c2vbench")
        shutil.copy(a.cfile, work)
        if a.sp:
            shutil.copy(a.sp, work)
        p, w, c, _ = run(lumet, ["-d"] * 6 + ["-c", name] + extra + [name], work)
        tr.append((w, c))
        p, w, c, rss = run(lumet, ["-c", name] + extra + [name], work)
        full.append((w, c))
        peak = max(peak, rss)
        m = re.search(r"^CONCLUSION: (\w+)", p.stdout, re.M)
        verdict = m.group(1) if m else "none: " + p.stdout.strip().splitlines()[-1]
        m = re.search(r"^INFO:       int width (\d+)", p.stdout, re.M)
        width = m.group(1) if m else "none"
        logs = sorted(int(f[4:-4]) for f in os.listdir(work) if re.fullmatch(r"\.log\d+\.tmp", f))
        tried = ",".join(map(str, logs))
        lum = os.path.join(work, os.path.splitext(name)[0] + ".lum")
        decl = open(lum).read()
        decl = decl[decl.index("VAR\n"):decl.index("INIT\n")]
        shutil.rmtree(work)
    w = int(width) if width.isdigit() else 0
    nbits = 0
    for m in re.finditer(r"\t(\w+)(?:\[0\.\.(\d+)\])?:\t([^;]+);", decl):
        n = int(m.group(2)) + 1 if m.group(2) else 1
        ty = m.group(3)
        if ty == "int":
            b = w
        elif ty == "char":
            b = 7
        else:
            hi = int(ty.split("..")[1])
            b = max(1, hi.bit_length())
        nbits += n * b
    med = lambda xs, k: statistics.median(x[k] for x in xs)
    print("file                 %s %s" % (name, " ".join(extra)))
    print("verdict              %s" % verdict)
    print("int width            %s (probe children run at widths %s); char 7 bits" % (width, tried))
    print("state bits           %i" % nbits)
    print("translation          %.3f s wall, %.3f s CPU (median of %i)" % (med(tr, 0), med(tr, 1), a.runs))
    print("whole run            %.1f s wall, %.1f s CPU (median of %i)" % (med(full, 0), med(full, 1), a.runs))
    print("verification         %.1f s wall, %.1f s CPU (whole run less translation)"
          % (med(full, 0) - med(tr, 0), med(full, 1) - med(tr, 1)))
    print("peak memory          %.0f MB" % (peak / 1024))


if __name__ == "__main__":
    main()
