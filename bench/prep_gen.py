#!/usr/bin/env python3
"""Writes a model text of about SIZE bytes (default 1 MB) for the
preprocessor benchmark: 1,000 DEFINE entries (constants, expressions over
earlier entries, and text values with blanks), 10 enumerations with 100
constants in all, a record, and guarded commands that use all of them."""
import random
import sys

def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "prep_bench.lum"
    size = int(sys.argv[2]) if len(sys.argv) > 2 else 1_000_000
    rnd = random.Random(42)
    L = ["LUM", "// generated preprocessor benchmark", "DEFINE"]
    for i in range(1000):
        k = i % 4
        if k == 0 or i < 4:
            L.append(f"c{i}={rnd.randrange(1, 9)}")
        elif k == 1:
            L.append(f"c{i}=c{rnd.randrange(i)}+{rnd.randrange(1, 5)}")
        elif k == 2:
            L.append(f"c{i}=(c{rnd.randrange(i)}*2)%7+1")
        else:
            L.append(f"c{i} = v{rnd.randrange(50)} + 1")
    L.append("VAR")
    for e in range(10):
        items = ", ".join(f"e{e}k{j}" for j in range(10))
        L.append(f"  s{e} : {{{items}}};")
    L.append("  rb : record { px : 0..7; py : 0..7; };")
    nv = 50
    for v in range(nv):
        L.append(f"  v{v} : 0..15;")
    L.append("INIT")
    L.append("  " + " & ".join(f"v{v} = 0" for v in range(nv)) + ";")
    L.append("  rb.px = 0 & rb.py = 0;")
    L.append("TRANS")
    body = []
    n = 0
    total = sum(len(x) + 1 for x in L)
    while total < size - 200:
        a, b = rnd.randrange(nv), rnd.randrange(nv)
        e, j = rnd.randrange(10), rnd.randrange(10)
        c1, c2 = rnd.randrange(1000), rnd.randrange(1000)
        if n % 5 == 4:
            s = f"  s{e} != e{e}k{j} & v{a} <= c{c1} : (v{a}, rb.px) := (c{c2}, v{b} % 8);"
        else:
            s = (f"  s{e} = e{e}k{j} & v{a} >= c{c1} & TRUE : v{a} := v{b} + c{c2} "
                 f"& s{e} := e{e}k{(j + 1) % 10};")
        body.append(s)
        total += len(s) + 1
        n += 1
    L += body
    L.append("SPEC")
    L.append("  AG(v0 <= c999 & rb.py != 8);")
    with open(out, "w") as f:
        f.write("\n".join(L) + "\n")

if __name__ == "__main__":
    main()
