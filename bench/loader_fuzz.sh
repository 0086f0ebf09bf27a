#!/usr/bin/env bash
# Longer fuzz run of the real loader under Wine: reports inputs tried and inputs per second
# (timed here, around the whole test program, so Wine's start is included).
# Usage: bench/loader_fuzz.sh [COUNT] [SEED] [BUILD_DIR]   (defaults 200000, 1, build/win32)
# FILE=1 reads every input from a rewritten file on disk instead of from memory (much slower).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
count=${1:-200000}
seed=${2:-1}
build=${3:-$root/build/win32}
cmake --build "$build" --target loader_fuzz_tests >/dev/null
export UNINST_TEST_FUZZ_COUNT=$count UNINST_TEST_FUZZ_SEED=$seed UNINST_TEST_FUZZ_FILE=${FILE:-0}
started=$(date +%s%N)
status=0
"$root/scripts/wine-run" "$build/bin/loader_fuzz_tests.exe" --gtest_filter=LoaderFuzz.EveryInputLoadsOrFailsCleanly || status=$?
ms=$(( ($(date +%s%N) - started) / 1000000 ))
echo "loader fuzz: $count inputs in $ms ms ($(( count * 1000 / (ms > 0 ? ms : 1) )) inputs/s)"
exit $status
