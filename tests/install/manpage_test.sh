#!/usr/bin/env bash
# The manual page of mivoklient-cli against the program's own --help: the same commands with
# the same usage lines (options and arguments), an entry for every command, every option and
# every exit code, and nothing the program does not know. A difference is named ("the page
# lacks: verify --strict"), so a new option in the program shows what to add to the page.
# The program's own environment variables (MIVOKLIENT_*, as the sources below the desktop
# front end name them) each have their entry too.
#   manpage_test.sh <mivoklient-cli> <manual page source> <source dir>
# Exits 77 (skipped) without man-db: scripts/setup-debian.sh installs it.
set -uo pipefail

cli=$1 page=$2 src=$3
if ! command -v man >/dev/null 2>&1; then
  echo "SKIP: man is not installed (scripts/setup-debian.sh installs it)"
  exit 77
fi
export LC_ALL=C.UTF-8

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

help=$("$cli" --help) || { echo "FAIL: $cli --help"; exit 1; }
rendered=$(MANWIDTH=1000 man --warnings -l "$page" 2>"${TMPDIR:-/tmp}/manpage_test.$$" | col -b)
warnings=$(cat "${TMPDIR:-/tmp}/manpage_test.$$")
rm -f "${TMPDIR:-/tmp}/manpage_test.$$"
[ -z "$warnings" ] || fail "man reports: $warnings"

# Usage lines, blanks squeezed: "mivoklient-cli verify [--ini INI] RAZÍTKO [ZDROJ]".
help_usage=$(sed -n 's/^  \(mivoklient-cli .*\)/\1/p' <<<"$help" | tr -s ' ')
# The synopsis: from the heading PŘEHLED to the next heading.
page_usage=$(awk '/^[^ ]/ { in_synopsis = ($0 == "PŘEHLED") ; next }
                  in_synopsis && /^ +mivoklient-cli/ { sub(/^ +/, ""); print }' <<<"$rendered" |
  tr -s ' ' | sed 's/ $//')
[ -n "$help_usage" ] || fail "no usage line in --help"
[ -n "$page_usage" ] || fail "no usage line in the page's synopsis"

# "COMMAND" and "COMMAND OPTION" pairs of usage lines. A command is the first word and the
# lower-case words after it ("tl update"); options are the words that start with "-" after it.
pairs() {
  awk '{
    name = $2; i = 3
    while (i <= NF && $i ~ /^[a-z][a-z-]*$/) { name = name " " $i; i++ }
    print name
    for (; i <= NF; i++) {
      word = $i; sub(/^\[/, "", word); sub(/\]$/, "", word)
      if (word ~ /^-/) print name " " word
    }
  }' <<<"$1" | sort -u
}
help_pairs=$(pairs "$help_usage")
page_pairs=$(pairs "$page_usage")
lacking=$(comm -23 <(echo "$help_pairs") <(echo "$page_pairs"))
extra=$(comm -13 <(echo "$help_pairs") <(echo "$page_pairs"))
[ -z "$lacking" ] || fail "the page's synopsis lacks: ${lacking//$'\n'/; }"
[ -z "$extra" ] || fail "the page's synopsis names what --help does not: ${extra//$'\n'/; }"
# With the same commands and options, the lines themselves (arguments, order, brackets).
if [ -z "$lacking$extra" ]; then
  differing=$(comm -3 <(sort <<<"$help_usage") <(sort <<<"$page_usage"))
  [ -z "$differing" ] || fail "usage lines differ (--help left, page right):"$'\n'"$differing"
fi

# The tags of the .TP entries in a section of the page source, roff escapes undone.
entries() {
  awk -v section="$1" '
    /^\.SH / { current = substr($0, 5); gsub(/"/, "", current); next }
    current == section && /^\.TP/ { tag = 1; next }
    tag { tag = 0; sub(/^\.[A-Z]+ /, ""); gsub(/\\-/, "-"); gsub(/"/, ""); print }' "$page"
}
commands=$(grep -v -- ' -' <<<"$help_pairs")
option_names=$(awk 'NF > 1 && $NF ~ /^-/ { print $NF }' <<<"$help_pairs" | sort -u)
command_entries=$(entries "PŘÍKAZY")
option_entries=$(entries "VOLBY" | grep -oE '(^| )-{1,2}[a-z][-a-z]*' | tr -d ' ' | sort -u)
while read -r command; do
  grep -qx -- "$command" <<<"$command_entries" || fail "the page's PŘÍKAZY lacks an entry for $command"
done <<<"$commands"
missing_options=$(comm -23 <(echo "$option_names") <(echo "$option_entries"))
[ -z "$missing_options" ] || fail "the page's VOLBY lacks: ${missing_options//$'\n'/ }"
unknown_options=$(comm -13 <(echo "$option_names") <(echo "$option_entries"))
[ -z "$unknown_options" ] || fail "the page's VOLBY names options --help does not: ${unknown_options//$'\n'/ }"
while read -r entry; do
  grep -qx -- "$entry" <<<"$commands" || fail "the page's PŘÍKAZY names $entry, which --help does not"
done <<<"$command_entries"

# Exit codes: "  0  text" after the help's heading, .TP entries of NÁVRATOVÉ KÓDY.
help_codes=$(sed -n '/^Návratové kódy:/,$ s/^  \([0-9]\+\)  .*/\1/p' <<<"$help" | sort)
page_codes=$(entries "NÁVRATOVÉ KÓDY" | sort)
[ -n "$help_codes" ] || fail "no exit code in --help"
[ "$help_codes" = "$page_codes" ] ||
  fail "exit codes: --help [${help_codes//$'\n'/ }], page [${page_codes//$'\n'/ }]"

variables=$(grep -rhoE '"MIVOKLIENT_[A-Z_]+"' "$src"/{platform,support,core,list,document,cli} |
  tr -d '"' | sort -u)
[ -n "$variables" ] || fail "no MIVOKLIENT_ variable found in $src"
variable_entries=$(entries "PROSTŘEDÍ")
for variable in $variables; do
  grep -qw -- "$variable" <<<"$variable_entries" || fail "the page's PROSTŘEDÍ lacks $variable"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "manual page: OK ($(wc -l <<<"$help_usage") commands)"
