#!/usr/bin/env python3
"""Declaration order against the automatic order (-Ovord) on generated models.

usage: order_compare.py LUMET [--gen GEN.PY] [--limit SECONDS] [--runs K]
                        [--first N] [--last N] [--step S] [--only TEXT] [--out FILE.tsv]

For each check (philo and ring families of gen.py) and each N from --first to
--last, lumet runs with the declaration order, with -Ovord and with an order
file that interleaves the arrays index by index (p[0] f[0] p[1] f[1] ...), with
-d so that the engine's counters land in logtbd.tmp. Every line shows the
verdict, the CPU time of the run (user + sys of the child; median of K runs
when a run takes more than a tenth of the limit) and the peak number of live
nodes ("nodes peak" in logtbd.tmp). A run is stopped at --limit CPU seconds
(default 60); once an order hits the limit its larger N are not tried.
--only TEXT keeps the checks whose description contains TEXT ("ring").
"""
import argparse
import os
import re
import resource
import statistics
import subprocess
import sys
import tempfile

DEFAULT_GEN = "/work/shared/bench/gen.py"

# family, variant, lumet options, expected word
CHECKS = [
    ("philo", "deadlock", "-ck 1", "TRUE"),
    ("ring", "fair", "-ck 1", "TRUE"),
    ("ring", "fair", "-ck 2", "TRUE"),
]
# "interleaved": an order file (-v) that takes the arrays index by index
# (p[0] f[0] p[1] f[1] ...), the order a designer of these models would give.
ORDERS = [("declared", []), ("-Ovord", ["-Ovord"]), ("interleaved", ["-v", "interleaved"])]


def write_interleaved(model, work):
    with open(model) as f:
        text = f.read()
    var = text.split("\nVAR", 1)[1].split("\nINIT", 1)[0]
    arrays = re.findall(r"^\s*(\w+)\[(\d+)\.\.(\d+)\]", var, re.M)
    scalars = re.findall(r"^\s*(\w+)\s*:", var, re.M)
    hi = max([int(h) for _, _, h in arrays] or [0])
    names = ["%s[%i]" % (a, i) for i in range(hi + 1) for a, lo, h in arrays if int(lo) <= i <= int(h)]
    with open(os.path.join(work, "interleaved"), "w") as f:
        f.write("".join(n + "\n" for n in names + scalars))


def run_once(lumet, args, model, work, limit):
    def cap():
        resource.setrlimit(resource.RLIMIT_CPU, (limit, limit + 1))

    before = resource.getrusage(resource.RUSAGE_CHILDREN)
    p = subprocess.run([lumet, "-d", "-Xce"] + args + [model], cwd=work, capture_output=True,
                       text=True, errors="replace", preexec_fn=cap)
    after = resource.getrusage(resource.RUSAGE_CHILDREN)
    cpu = (after.ru_utime - before.ru_utime) + (after.ru_stime - before.ru_stime)
    word = None
    m = re.search(r"^CONCLUSION: (\w+)", p.stdout, re.M)
    if m:
        word = m.group(1)
    peak = None
    try:
        with open(os.path.join(work, "logtbd.tmp"), errors="replace") as f:
            m = re.search(r"nodes peak\s*:\s*(\d+)", f.read())
            peak = int(m.group(1)) if m else None
    except OSError:
        pass
    return word, cpu, peak, p.returncode


def measure(lumet, args, model, work, limit, runs):
    word, cpu, peak, rc = run_once(lumet, args, model, work, limit)
    if word and runs > 1 and cpu > limit / 10:
        times = [cpu] + [run_once(lumet, args, model, work, limit)[1] for _ in range(runs - 1)]
        cpu = statistics.median(times)
    return word, cpu, peak, rc


def main():
    ap = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    ap.add_argument("lumet")
    ap.add_argument("--gen", default=DEFAULT_GEN)
    ap.add_argument("--limit", type=int, default=60)
    ap.add_argument("--runs", type=int, default=1)
    ap.add_argument("--first", type=int, default=8)
    ap.add_argument("--last", type=int, default=24)
    ap.add_argument("--step", type=int, default=4)
    ap.add_argument("--out")
    ap.add_argument("--only", help="run only the checks whose text contains this")
    a = ap.parse_args()
    lumet = os.path.abspath(a.lumet)
    rows = ["check\tN\torder\tverdict\tcpu_s\tpeak_nodes"]
    print(rows[0], flush=True)
    with tempfile.TemporaryDirectory(prefix="lumet-order-") as work:
        for family, variant, opts, want in CHECKS:
            if a.only and a.only not in "%s %s %s" % (family, variant, opts):
                continue
            given_up = set()
            for n in range(a.first, a.last + 1, a.step):
                model = os.path.join(work, "m.lum")
                with open(model, "w") as f:
                    subprocess.run([sys.executable, a.gen, family, str(n), "--lang", "lum",
                                    "--variant", variant], stdout=f, check=True)
                write_interleaved(model, work)
                for name, extra in ORDERS:
                    check = "%s %s %s" % (family, variant, opts)
                    if name in given_up:
                        line = "%s\t%i\t%s\t-\t>%i\t-" % (check, n, name, a.limit)
                    else:
                        word, cpu, peak, rc = measure(lumet, opts.split() + extra, model, work,
                                                      a.limit, a.runs)
                        if word is None:
                            given_up.add(name)
                            shown = "limit" if cpu >= a.limit or rc == -24 else "status %i" % rc
                            line = "%s\t%i\t%s\t%s\t%.1f\t-" % (check, n, name, shown, cpu)
                        else:
                            if word != want:
                                word += " (expected %s)" % want
                            line = "%s\t%i\t%s\t%s\t%.2f\t%s" % (check, n, name, word, cpu,
                                                                  peak if peak is not None else "-")
                    rows.append(line)
                    print(line, flush=True)
    if a.out:
        with open(a.out, "w") as f:
            f.write("\n".join(rows) + "\n")


if __name__ == "__main__":
    main()
