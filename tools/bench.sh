#!/usr/bin/env bash
# Builds reelkiln in Release (without the tests) and runs every benchmark
# program, bench_*, one after the other.  Each prints its own figures.
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${RK_BENCH_DIR:-build-bench}
cmake -S . -B "$dir" -DCMAKE_BUILD_TYPE=Release -DREELKILN_TESTS=OFF -DREELKILN_BENCH=ON >/dev/null
cmake --build "$dir" -j"$(nproc)"
found=0
for b in "$dir"/bench/bench_*; do
  [ -x "$b" ] && [ -f "$b" ] || continue
  found=1
  echo "== $(basename "$b")"
  "$b"
done
[ "$found" = 1 ] || { echo "no benchmark was built" >&2; exit 1; }
