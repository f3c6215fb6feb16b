#!/usr/bin/env bash
# Builds the program and runs it on its embedded default.
# For now: the command-line tool on a sample file (digest, then the decoded records of a
# time-stamp reply from a public TSA).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

build=${MIVO_RUN_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_TESTS=OFF \
      -DMIVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target mivoklient-cli

cli="$build/cli/mivoklient-cli"
sample=tests/data/real-tokens/data/hello.txt
stamp=tests/data/real-tokens/sigstage-ecdsa-sha256-reply.tsr
echo "== $cli digest $sample"
"$cli" digest "$sample"
echo "== $cli decode $stamp"
"$cli" decode "$stamp"
