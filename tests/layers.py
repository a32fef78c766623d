#!/usr/bin/env python3
"""Layer check: every source file of a library includes headers only of its
own library and of the libraries it links (directly or not).

usage: layers.py LAYERS_FILE SRC_DIR

LAYERS_FILE has one line per library, "name: dep dep ..." (the closure of
its links), written at configure time.  Every folder of SRC_DIR must be a
library; src/main/lumet.cpp is the executable and may include anything.
"""
import os
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/[^"]+"', re.M)


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
    for line in faults:
        print(line)
    print("%d libraries checked, %d faults" % (len(closure), len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
