#!/usr/bin/env bash
# The bash completion of mivoklient-cli, driven as bash drives it (COMP_WORDS, COMP_CWORD,
# COMP_LINE, COMP_POINT) against the program of the build: the commands are those its --help
# lists, options and their values come from its own table, stamps complete as .tsr/.tst,
# sources as any file.
#   completion_test.sh <mivoklient-cli> <completion script>
# Exits 77 (skipped) without bash-completion: scripts/setup-debian.sh installs it.
set -uo pipefail

cli=$1 script=$2
helpers=/usr/share/bash-completion/bash_completion
if [ ! -r "$helpers" ]; then
  echo "SKIP: bash-completion is not installed (scripts/setup-debian.sh installs it)"
  exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/bin" "$work/files/sub"
ln -s "$(cd "$(dirname "$cli")" && pwd)/$(basename "$cli")" "$work/bin/mivoklient-cli"
PATH=$work/bin:$PATH

# shellcheck disable=SC1090
source "$helpers"
# shellcheck disable=SC1090
source "$script"

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

registration=$(complete -p mivoklient-cli 2>&1)
[ "$registration" = "complete -F _mivoklient_cli mivoklient-cli" ] ||
  fail "registration: $registration"

# The sorted candidates, one a line, for the words of a command line; the last word is the
# one being completed. Words are split as bash splits them, "=" and ":" on their own.
candidates() {
  local line="$*"
  local -a split=()
  local word
  for word in "$@"; do
    word=${word//=/ = }
    word=${word//:/ : }
    local -a parts
    read -r -a parts <<<"$word"
    [ ${#parts[@]} -eq 0 ] && parts=("")
    split+=("${parts[@]}")
  done
  COMP_WORDS=("${split[@]}")
  COMP_CWORD=$((${#split[@]} - 1))
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _mivoklient_cli mivoklient-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  [ ${#COMPREPLY[@]} -eq 0 ] || printf '%s\n' "${COMPREPLY[@]}" | sort
}
expect() { # description, expected candidates separated by ",", words...
  local what=$1 expected got
  expected=$(tr ',' '\n' <<<"$2" | sed '/^$/d' | sort)
  shift 2
  got=$(candidates "$@")
  [ "$got" = "$expected" ] || fail "$what: got [${got//$'\n'/,}], expected [${expected//$'\n'/,}]"
}

# Commands: exactly those the help lists, with its aliases.
help=$(mivoklient-cli --help)
help_commands=$(sed -n 's/^  mivoklient-cli \([^ ]*\).*/\1/p' <<<"$help" | sort -u)
[ -n "$help_commands" ] || fail "no command in mivoklient-cli --help"
expect "every command" "${help_commands//$'\n'/,},-h,help" mivoklient-cli ""
expect "a command's beginning" "verify" mivoklient-cli ve
expect "an unknown command" "" mivoklient-cli nonsense ""

# Options: those the help gives the command, once each; none after "--".
# A command's name is its leading words in small letters ("tl update"); --help is one too.
while read -r usage; do
  command=$(awk '{ n = ""; for (i = 1; i <= NF; i++) { if ($i !~ /^([a-z]+|--help)$/) break;
                   n = n (n ? " " : "") $i }; print n }' <<<"$usage")
  usage=${usage#"$command"}
  help_options=$(grep -o -- '-[-a-z]*' <<<"$usage" | sort -u | tr '\n' ',')
  # shellcheck disable=SC2086
  expect "options of $command" "$help_options" mivoklient-cli $command -
done < <(sed -n 's/^  mivoklient-cli //p' <<<"$help")
expect "the commands of a group" "import,status,update" mivoklient-cli tl ""
expect "options not given yet" "--ini" mivoklient-cli show --json --
expect "no options after --" "" mivoklient-cli show -- --

cd "$work/files" || exit 1
touch a.tsr b.tst c.pdf d.tsq settings.ini "my contract.pdf.tsr" a:b.tsr -- -dash.tsr
# Stamps, sources, requests and settings files by what the argument is.
expect "a stamp" "a.tsr,a:b.tsr,b.tst,my contract.pdf.tsr,sub" mivoklient-cli verify ""
expect "a stamp with a space in its name" "my contract.pdf.tsr" mivoklient-cli verify my
expect "the source after the stamp" \
  "a.tsr,a:b.tsr,b.tst,c.pdf,d.tsq,settings.ini,my contract.pdf.tsr,sub" \
  mivoklient-cli verify a.tsr ""
expect "no third argument" "" mivoklient-cli verify a.tsr c.pdf ""
expect "options do not count as arguments" "c.pdf" mivoklient-cli show --json --ini x.ini a.tsr c
expect "the value of --ini" "settings.ini,sub" mivoklient-cli verify --ini ""
expect "files to stamp, any number" "c.pdf" mivoklient-cli stamp a.tsr b.tst c
expect "a request to post" "d.tsq,sub" mivoklient-cli post ""
# An option's value is taken as it is, a leading "-" too.
expect "the reply to write" "-dash.tsr,a.tsr,a:b.tsr,my contract.pdf.tsr,sub" mivoklient-cli post d.tsq -o ""
expect "a hash code is no file" "" mivoklient-cli digest --hash ""
expect "a list number is no file" "" mivoklient-cli remove ""
expect "after --, a name with a dash is a stamp" "-dash.tsr" mivoklient-cli verify -- -
# "=" and ":" split words for bash, not for the program: "x=y.tsr" is one argument, and
# readline replaces only what follows the last ":".
expect "a stamp named with =" "c.pdf" mivoklient-cli verify x=y.tsr c
expect "a stamp named with :" "b.tsr" mivoklient-cli verify a:
cd - >/dev/null || exit 1

if [ "$failures" -ne 0 ]; then
  echo "$failures check(s) failed"
  exit 1
fi
echo "completion: OK"
