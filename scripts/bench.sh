#!/usr/bin/env bash
# Builds the benchmarks in an optimised build without sanitizers and runs them.
# Usage: scripts/bench.sh [name-filter]
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"
bash scripts/setup-debian.sh
build=${MIVO_BENCH_BUILD_DIR:-build-bench}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DMIVO_SANITIZE=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
filter=${1:-}
status=0
for b in "$build"/bench/bench_*; do
  [ -x "$b" ] || continue
  case "$(basename "$b")" in *"$filter"*) ;; *) continue ;; esac
  echo "== $(basename "$b")"
  "$b" || status=1
done
exit $status
