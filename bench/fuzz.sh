#!/usr/bin/env bash
# Runs every libFuzzer target for SECONDS each (default 600) and fails on a
# finding.  Needs clang (and libclang-rt-14-dev); builds in BUILD_DIR
# (default build-fuzz) with -DLUMET_FUZZ=ON.  The corpora grow in
# BUILD_DIR/corpus/<target>; crash inputs are left in BUILD_DIR/findings.
#
#   bench/fuzz.sh [SECONDS] [BUILD_DIR]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
secs=${1:-600}
b=${2:-$root/build-fuzz}
case $b in /*) ;; *) b=$PWD/$b ;; esac
[ -f "$b/build.ninja" ] || cmake -S "$root" -B "$b" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_CXX_COMPILER=clang++ -DLUMET_FUZZ=ON >/dev/null
targets=$(cd "$root/fuzz" && ls *_fuzz.cpp | sed 's/_fuzz\.cpp$//')
ninja -C "$b" -j2 $(for t in $targets; do echo fuzz_$t; done) >/dev/null

# Seeds: the example models for the model front end, fuzz/seeds/<target> else.
seeds() {
  case $1 in
    front) echo "$root/tests/acceptance/examples/models" "$root/examples" ;;
    c2v) ls -d /work/shared/examples/models "$root/examples" 2>/dev/null ;;
    *) [ -d "$root/fuzz/seeds/$1" ] && echo "$root/fuzz/seeds/$1" ;;
  esac
}

status=0
mkdir -p "$b/findings"
for t in $targets; do
  [ -x "$b/fuzz_$t" ] || continue
  corpus=$b/corpus/$t
  work=$b/work/$t       # the stages write their files here
  mkdir -p "$corpus" "$work"
  log=$b/fuzz_$t.log
  # -close_fd_mask=3: the stages' messages are not part of the report
  if (cd "$work" && "$b/fuzz_$t" -close_fd_mask=3 -max_total_time="$secs" -timeout=20 \
        -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$b/findings/$t-" \
        "$corpus" $(seeds "$t")) >"$log" 2>&1; then
    runs=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    rate=$(grep -o 'stat::average_exec_per_sec: *[0-9]*' "$log" | grep -o '[0-9]*$' || echo '?')
    echo "fuzz_$t: $runs executions, $rate per second, no finding"
  else
    echo "fuzz_$t: FINDING (see $log and $b/findings)"
    grep -E 'ERROR|SUMMARY|check failed' "$log" | head -5 || true
    status=1
  fi
done
exit $status
