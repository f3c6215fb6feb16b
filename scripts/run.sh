#!/usr/bin/env bash
# Builds the program and runs it on its embedded default: the local test TSA.
# Starts the test TSA on 127.0.0.1 and points a throwaway configuration at it, so the
# user's own settings and list are never touched. With a display (DISPLAY or
# WAYLAND_DISPLAY) it starts the window program `mivoklient` there; without one it stamps a
# sample file through the command-line client, shows the stamp's details and verifies it.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

build=${MIVO_RUN_BUILD_DIR:-build-run}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DMIVO_TESTS=OFF \
      -DMIVO_BENCH=OFF >/dev/null
gui=
if [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; then gui=1; fi
targets="mivoklient-cli mivo-test-tsa"
[ -n "$gui" ] && targets="$targets mivoklient"
# shellcheck disable=SC2086
cmake --build "$build" -j "$(nproc)" --target $targets

work=$(mktemp -d "${TMPDIR:-/tmp}/mivoklient-demo.XXXXXX")
tsa_pid=
cleanup() {
  if [ -n "$tsa_pid" ]; then kill "$tsa_pid" 2>/dev/null || true; wait "$tsa_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

# The server ends by itself: after five minutes for the demo, after an hour for a session
# in the window (it also ends with this script).
lifetime=300
[ -n "$gui" ] && lifetime=3600
"$build/tools/mivo-test-tsa" --tac --lifetime "$lifetime" --port-file "$work/port" >/dev/null &
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

if [ -n "$gui" ]; then
  # A runtime folder of its own, so that an instance the user already runs does not take
  # this start over (the program keeps one instance per runtime folder); a Wayland socket
  # named relative to the old folder is named by its full path instead.
  if [ -n "${WAYLAND_DISPLAY:-}" ] && [ "${WAYLAND_DISPLAY#/}" = "$WAYLAND_DISPLAY" ] &&
     [ -n "${XDG_RUNTIME_DIR:-}" ]; then
    export WAYLAND_DISPLAY="$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY"
  fi
  mkdir -m 700 "$work/run"
  export XDG_RUNTIME_DIR="$work/run"
  echo "== local test TSA on http://127.0.0.1:$port/"
  echo "== $build/app/mivoklient (a file to stamp: $work/smlouva.txt)"
  "$build/app/mivoklient"
  exit 0
fi

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
