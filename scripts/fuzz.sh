#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (build-fuzz) and runs each for a bounded time over
# a scratch copy of its seed corpus, so the committed seeds stay as they are.
#
# Usage: scripts/fuzz.sh [-t SECONDS] [-j JOBS] [TARGET...]
#   TARGET   a fuzz target by its source name (tti_status) or target name (fuzz_tti_status);
#            default: every fuzz/*.cpp
#   -t       seconds per target (default 30, or $MIVO_FUZZ_SECONDS)
#   -j       build jobs (default: the number of cores)
# Seeds:     fuzz/corpus/<name>/ (a target without seeds starts from nothing)
# Findings:  build-fuzz/findings/<name>/ (crash, leak and timeout inputs); the script exits
#            non-zero when a target failed.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

seconds=${MIVO_FUZZ_SECONDS:-30}
jobs=$(nproc)
while getopts "t:j:h" opt; do
    case $opt in
    t) seconds=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,13p' "$0"; exit 2 ;;
    esac
done
shift $((OPTIND - 1))

build=build-fuzz
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DMIVO_FUZZ=ON -DMIVO_GUI=OFF \
    -DMIVO_TESTS=OFF -DMIVO_BENCH=OFF >/dev/null

names=()
if [ $# -gt 0 ]; then
    for t in "$@"; do names+=("${t#fuzz_}"); done
else
    for src in fuzz/*.cpp; do names+=("$(basename "$src" .cpp)"); done
fi
targets=()
for n in "${names[@]}"; do targets+=("fuzz_$n"); done
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
scratch=$(mktemp -d "${TMPDIR:-/tmp}/mivo-fuzz.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

failed=()
for n in "${names[@]}"; do
    corpus="$scratch/$n"
    mkdir -p "$corpus"
    if [ -d "fuzz/corpus/$n" ]; then
        cp -R "fuzz/corpus/$n/." "$corpus/"
    fi
    findings="$build/findings/$n"
    mkdir -p "$findings"
    echo "== fuzz_$n: ${seconds} s over $(find "$corpus" -type f | wc -l) seeds"
    if "$build/fuzz/fuzz_$n" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$findings/" "$corpus" \
        >"$findings/log.txt" 2>&1; then
        grep -E '^(stat::number_of_executed_units|stat::new_units_added)' "$findings/log.txt" || true
    else
        echo "   FAILED: see $findings/log.txt"
        tail -n 30 "$findings/log.txt"
        failed+=("$n")
    fi
done

if [ ${#failed[@]} -gt 0 ]; then
    echo "failed: ${failed[*]}"
    exit 1
fi
echo "all ${#names[@]} targets ran ${seconds} s without a finding"
