#!/bin/bash
# Builds the span-order tool against the Release build in build/ (lum_coi and
# the front end), then runs it.  Usage: bench/spanorder_run.sh model.lum > order.txt
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/build
ninja -C "$b" -j1 lum_coi >/dev/null
libs=""
for l in coi front prog formula opt tree; do libs="$libs $b/src/$l/liblum_$l.a"; done
[ "$b/spanorder" -nt "$root/bench/spanorder.cpp" ] && [ "$b/spanorder" -nt "$b/src/coi/liblum_coi.a" ] ||
  g++ -std=c++20 -O2 -DNDEBUG -I"$root/src" "$root/bench/spanorder.cpp" $libs -o "$b/spanorder"
"$b/spanorder" "$@"
