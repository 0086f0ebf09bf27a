#!/usr/bin/env bash
# Rewrites the reader fuzz target's seed inputs in fuzz/corpus from the pack writer. Crashers'
# regressions (files named crash-*) are kept as they are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build/fuzz}
cmake -S "$root/fuzz" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ >/dev/null
cmake --build "$build" --target make_corpus >/dev/null
"$build/make_corpus" "$root/fuzz/corpus"
