#!/usr/bin/env bash
# Installs every Debian 12 package the project needs to build, test, fuzz and run.
# Idempotent and non-interactive: when everything is present it does nothing.
set -euo pipefail

packages=(
  # build
  cmake ninja-build g++ pkg-config clang clang-format libclang-rt-14-dev
  # size check (scripts/check-sizes.sh)
  universal-ctags
  # libraries of the program
  libssl-dev openssl libcurl4-openssl-dev
  # the desktop's proxy settings (loaded at run time when present; headers for the build)
  libproxy-dev
  # runs PAC scripts for libproxy (the system-proxy tests use a PAC file)
  libproxy1-plugin-webkit
  # EU trusted lists: XML and XML signatures (xmlsec1 itself only as a test peer)
  libxml2-dev libxmlsec1-dev xmlsec1
  # Qt front end
  qt6-base-dev qt6-base-dev-tools qt6-webengine-dev qt6-webengine-dev-tools
  qt6-webchannel-dev libqt6webenginecore6-bin qt6-translations-l10n libgl-dev
  libgl1-mesa-dri fonts-dejavu-core xdg-utils
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev xvfb xauth tinyproxy curl
  desktop-file-utils shared-mime-info libglib2.0-bin python3 bash-completion
  # Debian package, its checks and the AppStream metainfo (scripts/package.sh)
  dpkg-dev fakeroot file lintian appstream man-db
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "setup: installing ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
# tinyproxy's package starts a system-wide service; the tests run their own instances.
if command -v systemctl >/dev/null 2>&1 && systemctl is-active --quiet tinyproxy 2>/dev/null; then
  "${sudo_cmd[@]}" systemctl stop tinyproxy || true
fi
