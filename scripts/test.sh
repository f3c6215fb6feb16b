#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test.
# Usage: scripts/test.sh            (from anywhere; installs missing packages first)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

build=${MIVO_TEST_BUILD_DIR:-build}
jobs=$(nproc)
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_SANITIZE=ON -DMIVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export MIVO_ARTIFACTS_DIR=${MIVO_ARTIFACTS_DIR:-$top/$build/artifacts}
# The whole suite runs under one virtual X display; GUI tests that need no window system
# use Qt's offscreen platform within it.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  exec xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
    ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600 "$@"
fi
ctest --test-dir "$build" -j "$jobs" --output-on-failure --timeout 600 "$@"
