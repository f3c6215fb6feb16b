#!/usr/bin/env bash
# Installs the whole build into a throwaway prefix and checks what the desktop gets: the
# files in their places, a valid desktop entry, and MIME types that the desktop's own
# shared-MIME lookup (GLib, as xdg-mime uses it on GNOME) applies to real time stamps by
# content and by name.
#   install_test.sh <cmake> <build dir> <real time-stamp folder> <gui: ON/OFF>
# Exits 77 (skipped) when a desktop tool is missing: scripts/setup-debian.sh installs them.
set -euo pipefail

cmake_cmd=$1 build=$2 samples=$3 gui=$4

for tool in desktop-file-validate update-mime-database update-desktop-database xdg-mime gio man; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "SKIP: $tool is not installed (scripts/setup-debian.sh installs it)"
    exit 77
  fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$cmake_cmd" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log"; echo "FAIL: cmake --install"; exit 1; }

expect_file() { [ -s "$prefix/$1" ] || fail "missing $1"; }
expect_file bin/mivoklient-cli
expect_file share/mivoklient/napoveda.html
expect_file share/bash-completion/completions/mivoklient-cli
expect_file share/doc/mivoklient/copyright
# The Debian changelog belongs to the package only.
[ ! -e "$prefix/share/doc/mivoklient/changelog.Debian.gz" ] ||
  fail "the Debian changelog is installed outside the package"
# The manual pages where man looks for them (the desktop program's with it only).
expect_manual() {
  expect_file "share/man/man1/$1.1.gz"
  found=$(MANPATH=$prefix/share/man man -w "$1" 2>/dev/null) || found=
  [ "$found" = "$prefix/share/man/man1/$1.1.gz" ] || fail "man -w $1: '$found'"
}
expect_manual mivoklient-cli
for n in 1 2 3 4 5 6 7 8; do
  expect_file "share/mivoklient/lotl-signers/ec.europa.eu.$n.cer"
done
for page in certif.htm config.htm about.htm olu.css; do
  expect_file "share/mivoklient/pages/$page"
done
if [ "$gui" != ON ]; then
  for f in applications/cz.mivo.klient.desktop metainfo/cz.mivo.klient.metainfo.xml \
           man/man1/mivoklient.1.gz; do
    [ ! -e "$prefix/share/$f" ] || fail "$f installed without the desktop program"
  done
  [ "$failures" -eq 0 ] && echo "install without GUI: OK"
  exit $((failures > 0))
fi

expect_file bin/mivoklient
expect_manual mivoklient
expect_file share/applications/cz.mivo.klient.desktop
expect_file share/metainfo/cz.mivo.klient.metainfo.xml
expect_file share/mime/packages/mivoklient.xml
expect_file share/icons/hicolor/scalable/apps/mivoklient.svg
for size in 16 32 48 64 128 256; do
  icon=share/icons/hicolor/${size}x${size}/apps/mivoklient.png
  expect_file "$icon"
  [ -s "$prefix/$icon" ] || continue
  # Width and height from the PNG header must match the folder.
  read -r w0 w1 w2 w3 h0 h1 h2 h3 < <(od -An -tu1 -j16 -N8 "$prefix/$icon")
  width=$(( (w0 << 24) | (w1 << 16) | (w2 << 8) | w3 ))
  height=$(( (h0 << 24) | (h1 << 16) | (h2 << 8) | h3 ))
  [ "$width" -eq "$size" ] && [ "$height" -eq "$size" ] ||
    fail "$icon is ${width}x${height}"
done

desktop-file-validate "$prefix/share/applications/cz.mivo.klient.desktop" ||
  fail "desktop-file-validate"
grep -q '^Exec=mivoklient %[fF]$' "$prefix/share/applications/cz.mivo.klient.desktop" ||
  fail "Exec line"
update-desktop-database "$prefix/share/applications"
for type in application/timestamp-reply application/x-timestamp-token; do
  grep -q "^$type=cz.mivo.klient.desktop" "$prefix/share/applications/mimeinfo.cache" ||
    fail "the desktop entry does not open $type"
done

update-mime-database "$prefix/share/mime"
[ -s "$prefix/share/mime/mime.cache" ] || fail "update-mime-database wrote no cache"

# What the desktop calls each file, seeing only the system's types and ours.
mkdir -p "$work/home" "$work/files"
filetype() {
  XDG_CURRENT_DESKTOP=GNOME XDG_DATA_HOME="$work/home" \
    XDG_DATA_DIRS="$prefix/share:/usr/share" GIO_USE_VFS=local xdg-mime query filetype "$1"
}
expect_type() { # file, type
  local got
  got=$(filetype "$1")
  [ "$got" = "$2" ] || fail "$(basename "$1"): $got, expected $2"
}

f=$work/files
# By content: names that say nothing.
for reply in sigstage-ecdsa-sha256-reply.tsr apple-rsa-sha256-reply.tsr \
             freetsa-rsa-sha512-reply-2023.tsr rejection-baddataformat-reply.tsr; do
  cp "$samples/$reply" "$f/${reply%.tsr}.bin"
  expect_type "$f/${reply%.tsr}.bin" application/timestamp-reply
done
for token in belgium-rsa-sha256-token.tst disig-rsa-sha256-token.tst; do
  cp "$samples/$token" "$f/${token%.tst}.bin"
  expect_type "$f/${token%.tst}.bin" application/x-timestamp-token
done
# By name, whatever the content.
printf 'not a time stamp\n' >"$f/empty-token.tst"
expect_type "$f/empty-token.tst" application/x-timestamp-token
cp "$samples/disig-rsa-sha256-token.tst" "$f/named.tsr"
expect_type "$f/named.tsr" application/timestamp-reply
# Other DER and other bytes are not ours.
if command -v openssl >/dev/null 2>&1; then
  openssl x509 -in "$samples/certs/sigstage-tsa-chain.pem" -outform DER -out "$f/cert.bin"
  got=$(filetype "$f/cert.bin")
  case $got in application/timestamp-reply | application/x-timestamp-token)
    fail "a certificate is taken for $got" ;;
  esac
fi
head -c 4096 /dev/zero | tr '\0' '0' >"$f/zeros.bin"
printf '0,0,1\n0,2,1\n' >"$f/numbers.bin"
for other in zeros.bin numbers.bin; do
  got=$(filetype "$f/$other")
  case $got in application/timestamp-reply | application/x-timestamp-token)
    fail "$other is taken for $got" ;;
  esac
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "install: OK"
