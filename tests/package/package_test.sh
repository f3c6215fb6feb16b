#!/usr/bin/env bash
# Builds the Debian package (scripts/package.sh) and checks it without installing it: the
# exact files with their owners and modes, stripped programs whose libraries the Depends
# name, the programs run from the unpacked tree (they find their data beside them), the
# desktop entry, metainfo and bash completion as the desktop loads them, and lintian.
# Not part of ctest: it builds a Release tree of its own. Run by hand:
#   tests/package/package_test.sh [mivoklient_*.deb]   (a given package is not rebuilt)
set -uo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)

deb=${1:-}
if [ -z "$deb" ]; then
  deb=$(bash "$top/scripts/package.sh" | tail -n1) || { echo "FAIL: scripts/package.sh"; exit 1; }
fi
[ -f "$deb" ] || { echo "FAIL: no package $deb"; exit 1; }
deb=$(cd "$(dirname "$deb")" && pwd)/$(basename "$deb")
echo "package: $deb"

work=$(mktemp -d)
gui_pid=
cleanup() {
  if [ -n "$gui_pid" ]; then kill "$gui_pid" 2>/dev/null; wait "$gui_pid" 2>/dev/null; fi
  rm -rf "$work"
}
trap cleanup EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# --- The files: exactly these, root's, directories 0755, programs 0755, data 0644.
{
  echo "-rwxr-xr-x usr/bin/mivoklient"
  echo "-rwxr-xr-x usr/bin/mivoklient-cli"
  for f in applications/cz.mivo.klient.desktop metainfo/cz.mivo.klient.metainfo.xml \
           mime/packages/mivoklient.xml bash-completion/completions/mivoklient-cli \
           doc/mivoklient/copyright doc/mivoklient/changelog.Debian.gz \
           mivoklient/napoveda.html icons/hicolor/scalable/apps/mivoklient.svg; do
    echo "-rw-r--r-- usr/share/$f"
  done
  for size in 16 32 48 64 128 256; do
    echo "-rw-r--r-- usr/share/icons/hicolor/${size}x${size}/apps/mivoklient.png"
  done
  for f in "$top"/res/pages/*; do echo "-rw-r--r-- usr/share/mivoklient/pages/$(basename "$f")"; done
  for f in "$top"/res/lotl-signers/*.cer; do
    echo "-rw-r--r-- usr/share/mivoklient/lotl-signers/$(basename "$f")"
  done
  # Manual pages, once they are written: man/x.1 and man/en/x.1 are the default pages.
  if [ -d "$top/man" ]; then
    (cd "$top/man" && find . -name '*.1' | sed 's|^\./||') | while read -r page; do
      case $page in
        */*) lang=${page%%/*} ;;
        *) lang= ;;
      esac
      [ "$lang" = en ] && lang=
      echo "-rw-r--r-- usr/share/man/${lang:+$lang/}man1/$(basename "$page").gz"
    done
  fi
} | sort >"$work/expected"

dpkg-deb --fsys-tarfile "$deb" | tar -tvf - >"$work/listing" || fail "dpkg-deb cannot read the package"
awk '$1 !~ /^d/ { p = $6; sub(/^\.\//, "", p); print $1, p }' "$work/listing" | sort >"$work/files"
if ! diff -u "$work/expected" "$work/files" >"$work/files.diff"; then
  fail "the package's files differ from the expected ones (- expected, + in the package):"
  sed -n '3,$p' "$work/files.diff" | grep '^[-+]'
fi
awk '$2 != "root/root" { print "  not root'\''s: " $0 }
     $1 ~ /^d/ && $1 != "drwxr-xr-x" { print "  directory mode: " $0 }
     $6 !~ /^\.\/usr\// && $6 != "./" { print "  outside /usr: " $0 }
     $6 ~ /^\.\/usr\/local\// { print "  in /usr/local: " $0 }' "$work/listing" >"$work/bad"
[ -s "$work/bad" ] && { fail "owners, modes or places:"; cat "$work/bad"; }

# --- The control data: library dependencies computed, the run-time extras named.
depends=$(dpkg-deb -f "$deb" Depends)
echo "Depends: $depends"
for extra in qt6-translations-l10n xdg-utils ca-certificates libqt6webenginecore6-bin; do
  grep -Eq "(^|, )$extra( |,|$)" <<<"$depends" || fail "Depends does not name $extra"
done

root=$work/root
dpkg-deb -x "$deb" "$root" || fail "dpkg-deb -x"
depends_packages=$(tr ',|' '\n\n' <<<"$depends" | sed 's/(.*//; s/ //g; s/:.*//' | sort -u)
for program in mivoklient mivoklient-cli; do
  binary=$root/usr/bin/$program
  file -b "$binary" | grep -q ', stripped' || fail "$program is not stripped"
  ldd "$binary" | grep 'not found' && fail "$program misses libraries"
  # Every library the program links comes from a package the Depends name.
  for lib in $(objdump -p "$binary" | awk '$1 == "NEEDED" { print $2 }'); do
    # "libx.so.1 => /path (addr)", or the loader's own line "/lib64/ld-linux….so.2 (addr)".
    path=$(ldd "$binary" | awk -v l="$lib" '$1 == l { print $3 }
      substr($1, length($1) - length(l)) == "/" l { print $1 }' | head -n1)
    owner=$(dpkg -S "$(readlink -f "$path")" 2>/dev/null | head -n1 | cut -d: -f1)
    [ -n "$owner" ] || owner=$(dpkg -S "$path" 2>/dev/null | head -n1 | cut -d: -f1)
    grep -qx "$owner" <<<"$depends_packages" || fail "$program needs $lib ($owner), not in Depends"
  done
  # A library loaded by name at run time would need a Depends of its own.
  strings "$binary" | grep -Eo '^lib[A-Za-z0-9_.+-]*\.so(\.[0-9]+)*$' | sort -u >"$work/dlopen"
  if [ -s "$work/dlopen" ]; then
    echo "note: $program names libraries: $(tr '\n' ' ' <"$work/dlopen")"
  fi
done

# --- The programs run from the unpacked tree with a throwaway configuration.
export MIVOKLIENT_CONFIG_DIR=$work/config MIVOKLIENT_SYSCONF_DIR=$work/etc
mkdir -p "$MIVOKLIENT_CONFIG_DIR"
cli=$root/usr/bin/mivoklient-cli
help=$("$cli" --help) || fail "mivoklient-cli --help"
grep -q '^  mivoklient-cli verify' <<<"$help" || fail "the help lists no verify command"
samples=$top/tests/data/real-tokens
decoded=$("$cli" decode "$samples/sigstage-ecdsa-sha256-reply.tsr") || fail "mivoklient-cli decode"
grep -q 20250509115855 <<<"$decoded" || fail "decode does not show the stamp's time"
"$cli" verify "$samples/sigstage-ecdsa-sha256-reply.tsr" "$samples/data/hello.txt" >"$work/verify" 2>&1
grep -q 'razítko' "$work/verify" || fail "verify says: $(cat "$work/verify")"

# The desktop program starts (its web engine, pages and help from the tree) and keeps running.
mkdir -m 700 "$work/run"
XDG_RUNTIME_DIR=$work/run QTWEBENGINE_DISABLE_SANDBOX=1 QT_QPA_PLATFORM=offscreen \
  "$root/usr/bin/mivoklient" >"$work/gui.log" 2>&1 &
gui_pid=$!
sleep 10
if kill -0 "$gui_pid" 2>/dev/null; then
  kill "$gui_pid"
  wait "$gui_pid" 2>/dev/null
else
  wait "$gui_pid"
  fail "mivoklient ended at once ($?): $(tail -n5 "$work/gui.log")"
fi
gui_pid=

# --- What the desktop reads: the entry, the metainfo beside it, the completion.
desktop-file-validate "$root/usr/share/applications/cz.mivo.klient.desktop" ||
  fail "desktop-file-validate"
appstreamcli validate-tree --pedantic --no-net "$root" || fail "appstreamcli validate-tree"
for page in "$root"/usr/share/man/*/*.gz "$root"/usr/share/man/*/*/*.gz; do
  [ -e "$page" ] || continue
  gzip -t "$page" || fail "$page is no gzip file"
done
completion=$(PATH=$root/usr/bin:$PATH XDG_DATA_DIRS=$root/usr/share bash -c '
  source /usr/share/bash-completion/bash_completion
  __load_completion mivoklient-cli || exit 1
  COMP_WORDS=(mivoklient-cli ve) COMP_CWORD=1 COMP_LINE="mivoklient-cli ve" COMP_POINT=17
  _mivoklient_cli mivoklient-cli ve mivoklient-cli
  echo "${COMPREPLY[*]}"') || fail "bash-completion does not load the completion"
[ "$completion" = verify ] || fail "completion of 've' from the package: '$completion'"

# --- Installed and purged by dpkg in a throwaway root of its own: every file goes again.
droot=$work/dpkg-root
mkdir -p "$droot/var/lib/dpkg/info" "$droot/var/lib/dpkg/updates"
touch "$droot/var/lib/dpkg/status" "$droot/var/lib/dpkg/available"
dpkg_root() { dpkg --root="$droot" --force-depends --force-script-chrootless --log=/dev/null "$@"; }
if dpkg_root -i "$deb" >"$work/dpkg.log" 2>&1; then
  [ -x "$droot/usr/bin/mivoklient-cli" ] || fail "dpkg -i installed no mivoklient-cli"
  dpkg_root -P mivoklient >>"$work/dpkg.log" 2>&1 || fail "dpkg -P: $(tail -n3 "$work/dpkg.log")"
  left=$(cd "$droot" && find . ! -type d ! -path './var/lib/dpkg/*')
  [ -z "$left" ] || fail "left behind after purge: $left"
else
  fail "dpkg -i: $(tail -n3 "$work/dpkg.log")"
fi

# --- Measured: the package's installed size, and what installing it pulls in beyond the Qt
# WebEngine runtime (the closure of Depends without recommendations, from the apt cache).
closure() {
  apt-cache depends --recurse --no-recommends --no-suggests --no-conflicts --no-breaks \
    --no-replaces --no-enhances "$@" 2>/dev/null | grep -v '^[ <]' | sort -u
}
kib() { [ $# -eq 0 ] && { echo 0; return; }
  apt-cache show --no-all-versions "$@" 2>/dev/null | awk '/^Installed-Size:/ { t += $2 } END { print t + 0 }'; }
closure $depends_packages >"$work/closure"
closure libqt6webenginecore6 libqt6webenginewidgets6 libqt6webenginecore6-bin >"$work/webengine"
comm -23 "$work/closure" "$work/webengine" >"$work/beyond"
echo "measured: Installed-Size $(dpkg-deb -f "$deb" Installed-Size) KiB;" \
  "dependency closure $(wc -l <"$work/closure") packages, $(kib $(cat "$work/closure")) KiB;" \
  "Qt WebEngine runtime $(wc -l <"$work/webengine") packages, $(kib $(cat "$work/webengine")) KiB;" \
  "beyond it $(wc -l <"$work/beyond") packages, $(kib $(cat "$work/beyond")) KiB:" \
  "$(tr '\n' ' ' <"$work/beyond")"

# --- lintian: no error. Warnings and notes are printed.
lintian --pedantic --info --fail-on error "$deb" >"$work/lintian" 2>&1
status=$?
grep -v 'running with root privileges' "$work/lintian"
[ $status -eq 0 ] || fail "lintian reports errors"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "package: OK"
