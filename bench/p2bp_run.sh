#!/bin/sh
# Release build of the encoder libraries and the p2bp benchmark, then a run.
# Usage: bench/p2bp_run.sh [ops maxw_mul maxw_div | prog nvars width]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/build-bool-rel
[ -f "$b/build.ninja" ] || cmake -S "$root" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMET_TESTS=OFF >/dev/null
ninja -C "$b" -j2 lum_boolean >/dev/null
g++ -std=c++20 -O2 -DNDEBUG -I"$root/src" "$root/bench/p2bp_bench.cpp" \
  "$b/src/boolean/liblum_boolean.a" "$b/src/prog/liblum_prog.a" "$b/src/formula/liblum_formula.a" "$b/src/tree/liblum_tree.a" \
  -o "$b/p2bp_bench"
"$b/p2bp_bench" "${@:-ops}"
