#!/bin/bash
# Release build of the front-end libraries and the flattening benchmark, then
# a run.  Usage: bench/f2p_run.sh [instances elements runs]
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
b=$root/build-front-rel
[ -f "$b/build.ninja" ] || cmake -S "$root" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release -DLUMET_TESTS=OFF >/dev/null
ninja -C "$b" -j2 lum_front >/dev/null
libs=""
for l in front prog formula tree; do libs="$libs $b/src/$l/liblum_$l.a"; done
g++ -std=c++20 -O2 -DNDEBUG -I"$root/src" "$root/bench/f2p_bench.cpp" $libs -o "$b/f2p_bench"
cd "$(mktemp -d)"
"$b/f2p_bench" "$@"
