#!/usr/bin/env bash
# The help page names what the program shows under the names it shows them: every menu
# command of the string table (access-key marks and shortcuts dropped), every row label of the
# stamp details page, every choice, label and button of the settings page. A renamed menu
# command or a new row fails here until the help says so.
#   helppage_test.sh <source dir>
set -uo pipefail

src=$1
help=$src/res/help/napoveda.html
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# The help's text with tags removed and blanks squeezed, so a name may wrap in the source.
text=$(sed 's/<[^>]*>//g' "$help" | tr -s ' \n' '  ')
expect() { # what, name
  grep -qF -- "$2" <<<"$text" || fail "the help page does not name $1 \"$2\""
}

menus=$(sed -n 's/^ *{IDS_MENU_[A-Z_]*, "\([^"]*\)"},$/\1/p' "$src/support/StringTable.cpp" |
  sed 's/\\t.*//; s/&//g')
[ "$(wc -l <<<"$menus")" -ge 10 ] || fail "found only these menu texts: $menus"
while read -r name; do expect "the menu command" "$name"; done <<<"$menus"

# Row labels of the details page ("UTC čas:" -> "UTC čas").
labels=$(grep -o '<th>[^<&]*</th>' "$src/res/pages/certif.htm" | sed 's/<[^>]*>//g; s/:$//')
[ -n "$labels" ] || fail "no row label in certif.htm"
while read -r name; do expect "the details row" "$name"; done <<<"$labels"
buttons=$(grep -o 'type="submit"[^>]*value="[^"]*"\|>[^<]*</button>' "$src/res/pages/certif.htm" "$src/res/pages/config.htm" |
  sed 's/^[^:]*://; s/^type="submit".*value="//; s/"$//; s/^>//; s/<\/button>$//')
while read -r name; do [ -z "$name" ] || expect "the button" "$name"; done <<<"$buttons"

# The settings page's groups and labels.
settings=$(grep -o '<legend>[^<]*</legend>\|<label[^>]*>[^<]*</label>\|^[A-ZŠČŘŽÝÁÍÉ][^<]*:</td>\|<td>[^<]*:' \
  "$src/res/pages/config.htm" | sed 's/<[^>]*>//g; s/:$//')
while read -r name; do
  case $name in "" | SHA-*) continue ;; esac
  expect "the settings label" "$name"
done <<<"$settings"

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "help page: OK"
