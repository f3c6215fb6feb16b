#!/usr/bin/env bash
# Builds everything with AddressSanitizer and UndefinedBehaviorSanitizer and runs every test;
# then builds everything below the Qt front end without Qt and runs its tests again, so that
# no layer below ui/ can pick up a Qt dependency. Fails first on any clang-format difference
# and on any program source file or function over its size limit.
# Usage: scripts/test.sh            (from anywhere; installs missing packages first)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

# The tree is formatted: a difference is a failure, listed file by file.
if ! git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror 2>/dev/null; then
  echo "test: clang-format differences (run: git ls-files '*.cpp' '*.h' | xargs clang-format -i):" >&2
  git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run 2>&1 | grep 'warning:' |
    cut -d: -f1 | sort -u >&2
  exit 1
fi

# No program source file over 650 lines, no function over 80.
bash scripts/check-sizes.sh

build=${MIVO_TEST_BUILD_DIR:-build}
noqt=${MIVO_TEST_NOQT_BUILD_DIR:-build-noqt}
jobs=$(nproc)
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_SANITIZE=ON \
  -DMIVO_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$jobs"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export MIVO_ARTIFACTS_DIR=${MIVO_ARTIFACTS_DIR:-$top/$build/artifacts}
ctest_args=(-j "$jobs" --output-on-failure --timeout 600 "$@")
# The whole suite runs under one virtual X display; GUI tests that need no window system
# use Qt's offscreen platform within it.
if [ -z "${DISPLAY:-}" ] && command -v xvfb-run >/dev/null 2>&1; then
  xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" ctest --test-dir "$build" "${ctest_args[@]}"
else
  ctest --test-dir "$build" "${ctest_args[@]}"
fi

# Everything below ui/ as if Qt were not installed: unoptimised and without sanitizers, so
# that it builds quickly and runs the same tests in a second configuration.
echo "test: the layers below the Qt front end, built without Qt" >&2
cmake -S . -B "$noqt" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DMIVO_GUI=OFF \
  -DCMAKE_DISABLE_FIND_PACKAGE_Qt6=ON -DMIVO_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$noqt" -j "$jobs"
ctest --test-dir "$noqt" "${ctest_args[@]}"
