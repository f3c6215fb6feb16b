#!/usr/bin/env bash
# Builds the program and runs it on its embedded default: the local test TSA.
# Starts the test TSA on 127.0.0.1, stamps a sample file through the command-line client,
# shows the stamp's details and verifies it. Configuration goes to a throwaway folder, so
# the user's own settings and list are never touched.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

build=${MIVO_RUN_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_TESTS=OFF \
      -DMIVO_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)" --target mivoklient-cli mivo-test-tsa

work=$(mktemp -d "${TMPDIR:-/tmp}/mivoklient-demo.XXXXXX")
tsa_pid=
cleanup() {
  if [ -n "$tsa_pid" ]; then kill "$tsa_pid" 2>/dev/null || true; wait "$tsa_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/mivo-test-tsa" --tac --lifetime 300 --port-file "$work/port" >/dev/null &
tsa_pid=$!
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
port=$(cat "$work/port")

export MIVOKLIENT_CONFIG_DIR="$work/config" MIVOKLIENT_SYSCONF_DIR="$work/etc"
mkdir -p "$MIVOKLIENT_CONFIG_DIR"
cat > "$MIVOKLIENT_CONFIG_DIR/mivoklient.ini" <<INI
[zarn]
server_url=http://127.0.0.1:$port/cgi-bin/razitko.cgi
policy_oid=1.2.3.4.1
hash_alg=2
INI
cp tests/data/real-tokens/data/hello.txt "$work/smlouva.txt"

cli="$build/cli/mivoklient-cli"
echo "== local test TSA on http://127.0.0.1:$port/"
echo "== $cli stamp smlouva.txt"
"$cli" stamp "$work/smlouva.txt"
echo "== $cli show smlouva.txt.tsr"
"$cli" show "$work/smlouva.txt.tsr"
echo "== $cli verify smlouva.txt.tsr"
"$cli" verify "$work/smlouva.txt.tsr"
echo "== $cli list"
"$cli" list
