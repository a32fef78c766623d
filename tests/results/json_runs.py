#!/usr/bin/env python3
"""-json FILE: the result file of runs that end with a verdict, at a limit
and in an error says what the run printed (verdict, bound, limit, error,
property, exit status) and holds the trace of the ".cex" file the run wrote;
the same run without -json prints and writes the same.

usage: json_runs.py LUMET EXAMPLES_DIR
"""
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

# N-bit binary counter: AG of the top bit fails only after 2^(N-1) steps.
def counter(n):
    m = "LUM\nVAR\n  b[0..%d] : 0..1;\nINIT\n  for zz in [0..%d] : b[zz] = 0;\nTRANS\n" % (n - 1, n - 1)
    for k in range(n):
        g = "".join("b[%d] = 1 & " % j for j in range(k))
        a = "b[%d] := 1" % k + "".join(" & b[%d] := 0" % j for j in range(k))
        m += "  %sb[%d] = 0 : %s;\n" % (g, k, a)
    return m + "SPEC\n  AG (b[%d] = 0);\n" % (n - 1)

WRITTEN = {
    "counter.lum": counter(40),
    "syntax.lum": "LUM\nVAR\n  x : 0..1;\nINIT\n  x = (0;\nSPEC\n  AG(x = 0);\n",
}

# args (the model last), verdict, the property as the model file writes it
# (None: not asked).
CASES = [
    ("-ck 2 models/tas_lock.lum", "FALSE", "AG(!(w[1].st = 1) | AF(w[1].st = 2))"),
    ("-ck 1 models/tas_lock.lum", "TRUE", None),
    ("-ck 2 -f models/river.lum", "FALSE", "AG(!(far = 1 & wolf = 1 & goat = 1 & cab = 1))"),
    ("-ck 2 -SAT models/river.lum", "FALSE", None),
    ("-ck 1 -SAT models/pingpong_unfair.lum", "FALSE", None),
    ("-ck 1 -SAT models/pingpong.lum", "UNKNOWN", None),
    ("-ck 2 -QBF models/thermostat.lum", "TRUE", None),
    ("-ck df models/locks_bad.lum", "FALSE", "deadlock-freeness"),
    ("models/lights2d.lum", "FALSE",
     "EF(for k in [0..1] : lt[k][0] = 1 & lt[k][1] = 1); AX(lt[0][0] + lt[0][1] + lt[1][0] + lt[1][1] = 3); "
     "AG(lt[1][1] = 0)"),
    ("-c models/ex03_countdown.c models/ex03_countdown.c", "FALSE", None),
    ("-c models/ex01_rot3.c models/ex01_rot3.c", "TRUE", None),   # runs the int width probe
    ("-wd w/sub -ck 2 -f models/river.lum", "FALSE", None),
    ('-ck 2 -f q"uo\\te\u00e9.lum', "FALSE", None),   # names that JSON must escape
    ("-T1s -f counter.lum", "UNKNOWN", None),
    ("-T1s -SAT counter.lum", "UNKNOWN", None),
    ("nosuch.lum", "ERROR", None),
    ("syntax.lum", "ERROR", None),
    ("-c models/ex04_reverse.c -sp nosuch.sp models/ex04_reverse.c", "ERROR", None),
]


def steady(out):
    """Standard output without what the clock decides: seconds, progress lines
    and the bound a time limit stopped at."""
    lines = [l for l in out.splitlines() if not l.startswith(("bound =", "----------"))]
    return [re.sub(r"(time|bound)=-?\d+", r"\1=", l) for l in lines]


def cexpath(work, args):
    model = args.split()[-1]
    if "-c" in args.split():
        model = os.path.splitext(model)[0] + ".lum"
    return os.path.join(work, os.path.splitext(model)[0] + ".cex")


def readcex(path):
    """States (name -> value text), transition numbers, loop index."""
    states, trans, loop = [], [], None
    for line in open(path).read().splitlines():
        m = re.fullmatch(r"--- (STATE|TRANS|LOOP) (\d+) ---", line)
        if m and m.group(1) == "STATE":
            states.append({})
        elif m and m.group(1) == "TRANS":
            trans.append(int(m.group(2)))
        elif m:
            loop = int(m.group(2))
        elif "\t=" in line and not line.startswith("//"):
            name, value = line.split("\t=", 1)
            states[-1][name] = value
    return states, trans, loop


def run(lumet, work, args):
    cex = cexpath(work, args)
    if os.path.exists(cex):
        os.remove(cex)
    p = subprocess.run([lumet] + args.split(), cwd=work, capture_output=True, text=True,
                       stdin=subprocess.DEVNULL, timeout=120)
    text = open(cex).read() if os.path.exists(cex) else None
    return p, text


def check(lumet, work, args, verdict, written):
    faults = []
    plain, plaincex = run(lumet, work, args)
    out = os.path.join(work, "result.json")
    if os.path.exists(out):
        os.remove(out)
    p, cex = run(lumet, work, "-json result.json " + args)
    if (steady(p.stdout), p.stderr, p.returncode, cex) != \
            (steady(plain.stdout), plain.stderr, plain.returncode, plaincex):
        faults.append("prints or writes otherwise than without -json")
    try:
        r = json.load(open(out, encoding="utf-8"))
    except (OSError, ValueError) as e:
        return faults + ["no valid result file: %s" % e]
    lines = p.stdout.splitlines()
    concl = [l for l in lines if l.startswith("CONCLUSION:")]
    if concl:
        word = concl[-1].split()[1]
        bound = re.search(r"bound=(-?\d+)", concl[-1])
        want = {"verdict": word if word in ("TRUE", "FALSE", "UNKNOWN") else "NONE",
                "bound": int(bound.group(1)) if bound else None}
    else:
        want = {"verdict": "ERROR", "bound": None}
    want["exit_status"] = p.returncode
    limit = [l.split()[1] for l in lines
             if re.fullmatch(r"INFO: +(time|memory) limit reached( in the int width probe .*)?", l)]
    want["limit"] = limit[0] if limit else None
    errors = [l for l in p.stderr.splitlines() if l.endswith(" error")]
    if errors:
        want["error"] = errors[0]
    elif want["verdict"] == "ERROR" and not r.get("error"):
        faults.append("an error end without its error")
    props = [l[12:] for l in lines if l.startswith("PROPERTY:   ")]
    want["property_checked"] = props[0] if props else None
    if written is not None:
        want["property"] = written
    files = [l[12:] for l in lines if l.startswith("FILE:       ")]
    want["model"] = files[0] if files else args.split()[-1]
    if verdict != want["verdict"]:
        faults.append("the run ended %s, not %s" % (want["verdict"], verdict))
    for k, v in want.items():
        if r.get(k) != v:
            faults.append("%s: %r, printed %r" % (k, r.get(k), v))
    if r.get("version") != "lumet 1.43 - JAN 2013" or \
            r.get("options") != ["-json", "result.json"] + args.split()[:-1]:
        faults.append("version or options: %r %r" % (r.get("version"), r.get("options")))
    trace = r.get("trace")
    if cex is None:
        if trace is not None:
            faults.append("a trace without a .cex file")
    elif not trace:
        faults.append("no trace of the .cex file")
    else:
        states, trans, loop = readcex(cexpath(work, args))
        got = [{k: str(v) for k, v in s.items() if k in states[0]} for s in trace["states"]]
        if (got, trace["transitions"], trace["loop"]) != (states, trans, loop):
            faults.append("the trace is not the .cex file's")
        if len(trans) != len(states) - 1 + (loop is not None):
            faults.append("%i transitions for %i states" % (len(trans), len(states)))
    return faults


def main():
    lumet, examples = os.path.abspath(sys.argv[1]), sys.argv[2]
    failures = []
    with tempfile.TemporaryDirectory(prefix="lumet-json-") as tmp:
        work = os.path.join(tmp, "w")
        shutil.copytree(examples, work)
        shutil.copy(os.path.join(work, "models", "river.lum"), os.path.join(work, 'q"uo\\te\u00e9.lum'))
        for name, text in WRITTEN.items():
            with open(os.path.join(work, name), "w") as f:
                f.write(text)
        for args, verdict, written in CASES:
            failures += ["%s: %s" % (args, f) for f in check(lumet, work, args, verdict, written)]
        if os.path.exists(os.path.join(work, "w", "sub", "result.json")):
            failures.append("-wd moved the result file")
    for f in failures:
        print("FAIL " + f)
    print("%i runs with -json, %i faults" % (len(CASES), len(failures)))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
