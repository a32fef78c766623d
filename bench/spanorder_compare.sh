#!/bin/bash
# CPU seconds (user sys) and peak KiB of lumet with the declaration order and
# with the span order (-v) on the generated families; a kept order (empty)
# is run once; "stopped": the CPU limit ended the run.
# Usage: bench/spanorder_compare.sh [CPU seconds per run, default 240]
# Needs a Release build in build/ (cmake -S . -B build -G Ninja
# -DCMAKE_BUILD_TYPE=Release && ninja -C build lumet).
set -e
root=$(cd "$(dirname "$0")/.." && pwd)
lumet=$root/build/lumet
gen=${GEN:-/work/shared/bench/gen.py}
limit=${1:-240}
cd "$(mktemp -d)"
run() {
  local out
  out=$( (ulimit -t "$limit"; /usr/bin/time -f "TIME %U %S %M" "$lumet" "$@") 2>&1 || true)
  local word
  word=$(echo "$out" | grep -o 'CONCLUSION: [A-Z]*' | head -1 | cut -c13-)
  echo "${word:-stopped} $(echo "$out" | grep '^TIME' | cut -c6-)"
}
while read -r family n variant checks; do
  python3 "$gen" "$family" "$n" --lang lum --variant "$variant" > m.lum
  "$root/bench/spanorder_run.sh" m.lum > span 2>/dev/null
  IFS=, read -ra cks <<< "$checks"
  for ck in "${cks[@]}"; do
    # shellcheck disable=SC2086
    line="$family $variant $n [$ck] declared: $(run $ck m.lum)"
    # shellcheck disable=SC2086
    if [ -s span ]; then line="$line   span: $(run $ck -v span m.lum)"; else line="$line   span: kept"; fi
    echo "$line"
  done
done <<'LIST'
philo 10 fixed -ck 1,-ck 1 -f,-ck df
philo 14 fixed -ck 1,-ck 1 -f,-ck df
philo 10 deadlock -ck 1,-ck 1 -f,-ck df
philo 14 deadlock -ck 1,-ck 1 -f,-ck df
ring 20 fair -ck 1,-ck 1 -f,-ck 2,-ck df
ring 24 fair -ck 1,-ck 1 -f,-ck 2,-ck df
counter 14 false -ck 1
counter 16 false -ck 1 -f,-ck 2,-ck df
LIST
