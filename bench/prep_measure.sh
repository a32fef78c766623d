#!/bin/sh
# Preprocessor benchmark: release build of the libraries, a generated ~1 MB
# model (1,000 DEFINE entries, 100 enumeration constants), five runs.
# Usage: bench/prep_measure.sh [size-in-bytes] [build-dir]
set -e
SRC=$(cd "$(dirname "$0")/.." && pwd)
SIZE=${1:-1000000}
B=${2:-$SRC/build-prep-rel}
[ -f "$B/build.ninja" ] || cmake -S "$SRC" -B "$B" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMET_TESTS=OFF >/dev/null
ninja -C "$B" -j2 lum_front >/dev/null
W=$(mktemp -d)
trap 'rm -rf "$W"' EXIT
g++ -std=c++20 -O2 -I"$SRC/src" "$SRC/bench/prep_bench.cpp" \
  "$B/src/front/liblum_front.a" "$B/src/prog/liblum_prog.a" "$B/src/formula/liblum_formula.a" "$B/src/tree/liblum_tree.a" -o "$W/prep_bench"
python3 "$SRC/bench/prep_gen.py" "$W/m.lum" "$SIZE"
cd "$W"
for i in 1 2 3 4 5; do ./prep_bench m.lum; done | tee runs.txt
sort -n -k8 runs.txt | sed -n 3p | sed 's/^/median: /'
