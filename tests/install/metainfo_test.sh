#!/usr/bin/env bash
# The software centre's description of the program against the files it describes: it
# validates, names the desktop entry by its id, offers the MIME types the entry opens and
# the MIME database defines, and its newest release is the project's version (so is the
# newest entry of the Debian changelog).
#   metainfo_test.sh <source dir> <project version>
# Exits 77 (skipped) when appstreamcli is missing: scripts/setup-debian.sh installs it.
set -euo pipefail

src=$1 version=$2
if ! command -v appstreamcli >/dev/null 2>&1; then
  echo "SKIP: appstreamcli is not installed (scripts/setup-debian.sh installs it)"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

desktop_files=("$src"/res/desktop/*.desktop)
[ ${#desktop_files[@]} -eq 1 ] || fail "expected one desktop entry, found ${desktop_files[*]}"
desktop=${desktop_files[0]}
desktop_id=$(basename "$desktop")
metainfo=$src/res/desktop/${desktop_id%.desktop}.metainfo.xml
[ -f "$metainfo" ] || { fail "no metainfo named after $desktop_id"; exit 1; }

# The screenshots lie on the project's site: no network here.
appstreamcli validate --pedantic --no-net "$metainfo" || fail "appstreamcli validate"

# The texts (or the attribute named second) of the metainfo's elements at an XPath.
xpath() { python3 - "$metainfo" "$@" <<'PY'
import sys
import xml.etree.ElementTree as ET
root = ET.parse(sys.argv[1]).getroot()
for node in root.findall(sys.argv[2]):
    value = node.get(sys.argv[3]) if len(sys.argv) > 3 else node.text
    print((value or "").strip())
PY
}

[ "$(xpath ./id)" = "${desktop_id%.desktop}" ] || fail "component id $(xpath ./id), desktop entry $desktop_id"
launchables=$(xpath "./launchable[@type='desktop-id']")
[ "$launchables" = "$desktop_id" ] || fail "launchable '$launchables', desktop entry $desktop_id"

# The types the entry opens, those the metainfo names and those the MIME XML defines agree.
entry_types=$(sed -n 's/^MimeType=//p' "$desktop" | tr ';' '\n' | sed '/^$/d' | sort)
meta_types=$(xpath ./provides/mediatype | sort)
xml_types=$(grep -o '<mime-type type="[^"]*"' "$src"/res/desktop/*-mime.xml | cut -d'"' -f2 | sort)
[ -n "$entry_types" ] || fail "the desktop entry opens no MIME type"
[ "$entry_types" = "$meta_types" ] || fail "desktop entry types [$entry_types], metainfo [$meta_types]"
[ "$entry_types" = "$xml_types" ] || fail "desktop entry types [$entry_types], MIME XML [$xml_types]"

# The binaries the metainfo names are the program's own.
for binary in $(xpath ./provides/binary); do
  case $binary in mivoklient | mivoklient-cli) ;; *) fail "unknown binary $binary" ;; esac
done
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
# (grep reads all: with pipefail an early "grep -q" would fail the writer with SIGPIPE.)
grep -x -- "$exec_name" <<<"$(xpath ./provides/binary)" >/dev/null ||
  fail "metainfo does not provide $exec_name"

newest=$(xpath ./releases/release version | head -n1)
[ "$newest" = "$version" ] || fail "newest release in the metainfo is $newest, the project is $version"
changelog_version=$(sed -n '1s/^[^ ]* (\([^)]*\)).*/\1/p' "$src/res/package/changelog")
[ "${changelog_version%-*}" = "$version" ] ||
  fail "newest Debian changelog entry is $changelog_version, the project is $version"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "metainfo: OK"
