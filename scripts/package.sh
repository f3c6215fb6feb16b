#!/usr/bin/env bash
# Builds the Debian package of the program: a Release build of its own (no sanitizers, no
# tests, no benchmarks) installed to /usr, packed by CPack with the library dependencies
# that dpkg-shlibdeps finds. Prints the path of the package.
# Usage: scripts/package.sh            (MIVO_PACKAGE_BUILD_DIR names the build folder)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

bash scripts/setup-debian.sh

build=${MIVO_PACKAGE_BUILD_DIR:-build-package}
launcher=()
if command -v ccache >/dev/null 2>&1; then
  launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DCMAKE_C_COMPILER_LAUNCHER=ccache)
fi
# Debian's hardening: stack protector, checked string functions, relocations read-only and
# bound at start. No -g: the package carries stripped programs.
export DEB_BUILD_MAINT_OPTIONS=hardening=+all
flags() { dpkg-buildflags --get "$1" | sed -E 's/(^| )-g( |$)/ /'; }
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DMIVO_GUI=ON -DMIVO_SANITIZE=OFF -DMIVO_TESTS=OFF -DMIVO_BENCH=OFF -DMIVO_FUZZ=OFF \
  -DCMAKE_C_FLAGS="$(flags CPPFLAGS) $(flags CFLAGS)" \
  -DCMAKE_CXX_FLAGS="$(flags CPPFLAGS) $(flags CXXFLAGS)" \
  -DCMAKE_EXE_LINKER_FLAGS="$(flags LDFLAGS)" "${launcher[@]}" >/dev/null
cmake --build "$build" -j "$(nproc)"
[ -x "$build/app/mivoklient" ] || {
  echo "package: Qt 6 was not found, the desktop program would be missing" >&2
  exit 1
}

# A package of an earlier run must not be taken for this one.
rm -f "$build"/mivoklient_*.deb
(cd "$build" && cpack -G DEB >cpack.log 2>&1) || { cat "$build/cpack.log" >&2; exit 1; }
ls "$build"/mivoklient_*.deb
