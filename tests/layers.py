#!/usr/bin/env python3
"""Layer check: every source file of a library includes headers only of its
own library and of the libraries it links (directly or not).

usage: layers.py LAYERS_FILE SRC_DIR [README CMAKELISTS]

LAYERS_FILE has one line per library, "name: dep dep ..." (the closure of
its links), written at configure time.  Every folder of SRC_DIR must be a
library; src/main/lumet.cpp is the executable and may include anything.
With README and CMAKELISTS, the README's layer table must list the
libraries of CMAKELISTS in the same order, each with the links it declares.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


LIBRARY = re.compile(r"^lumet_library\((\w+)(?:\s+DEPS\s+([^)]*))?\)", re.M)
ROW = re.compile(r"^\| `(\w+)` \|.*\| ([^|]*) \|$", re.M)


def readme_faults(readme, cmakelists):
    """The README's layer table against the libraries CMakeLists declares."""
    with open(cmakelists) as f:
        declared = [(n, set((d or "").split())) for n, d in LIBRARY.findall(f.read())]
    with open(readme) as f:
        text = f.read()
    at = text.find("| layer | holds | links |")
    table = ""
    if at >= 0:
        for line in text[at:].splitlines():
            if not line.startswith("|"):
                break
            table += line + "\n"
    rows = [(n, set() if links.strip() in ("—", "-", "") else
             {w.strip() for w in links.split(",")}) for n, links in ROW.findall(table)]
    faults = []
    if [n for n, _ in rows] != [n for n, _ in declared]:
        faults.append("README layer table lists %s; CMakeLists.txt declares %s"
                      % ([n for n, _ in rows], [n for n, _ in declared]))
    for (n, links), (m, deps) in zip(rows, declared):
        if n == m and links != deps:
            faults.append("README says %s links %s; CMakeLists.txt declares %s"
                          % (n, sorted(links), sorted(deps)))
    return faults


def main():
    layers_file, src = sys.argv[1], sys.argv[2]
    closure = {}
    with open(layers_file) as f:
        for line in f:
            name, _, deps = line.partition(":")
            closure[name.strip()] = set(deps.split())
    faults = []
    for folder in sorted(os.listdir(src)):
        path = os.path.join(src, folder)
        if not os.path.isdir(path):
            continue
        if folder not in closure:
            faults.append("src/%s is not a library (add lumet_library(%s ...))" % (folder, folder))
            continue
        allowed = closure[folder] | {folder}
        for fn in sorted(os.listdir(path)):
            if not fn.endswith((".h", ".cpp")) or (folder, fn) == ("main", "lumet.cpp"):
                continue
            with open(os.path.join(path, fn), errors="replace") as f:
                text = f.read()
            for used in INCLUDE.findall(text):
                if used not in allowed:
                    faults.append("src/%s/%s includes %s/, which %s does not link"
                                  % (folder, fn, used, folder))
    if len(sys.argv) > 4:
        faults += readme_faults(sys.argv[3], sys.argv[4])
    for line in faults:
        print(line)
    print("%d libraries checked, %d faults" % (len(closure), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
