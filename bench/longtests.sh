#!/usr/bin/env bash
# The randomised tests at their long round counts (LUMET_LONG=1); the default
# test run takes a quick count of the same cases.  Runs on a configured,
# built tree (default build).
#
#   bench/longtests.sh [BUILD_DIR] [CTEST_ARGS...]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
b=${1:-$root/build}
shift || true
LUMET_LONG=1 exec ctest --test-dir "$b" --output-on-failure -j2 \
  -R 'BmcRandom|QbfRoute.RandomProgramsAgainstEngine|SatDir.AgreesWithMinisat|QbfSearch.RandomAgainstOracles' "$@"
