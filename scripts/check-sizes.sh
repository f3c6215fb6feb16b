#!/usr/bin/env bash
# Fails when a program source file is longer than 650 lines or a function longer than 80,
# and names every offender. Program sources are the C++ files of the layers' folders; the
# tools, tests, benchmarks and fuzz targets are not measured.
# Usage: scripts/check-sizes.sh   (from anywhere; needs universal-ctags, see setup-debian.sh)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
cd "$top"

max_file_lines=650
max_function_lines=80
folders=(platform support core list document cli ui app)

if ! ctags --version 2>/dev/null | grep -q '^Universal Ctags'; then
  echo "check-sizes: universal-ctags is missing (scripts/setup-debian.sh installs it)" >&2
  exit 2
fi

mapfile -t files < <(find "${folders[@]}" -type f \
  \( -name '*.cpp' -o -name '*.cc' -o -name '*.c' -o -name '*.h' -o -name '*.hpp' \) | sort)
if [ ${#files[@]} -eq 0 ]; then
  echo "check-sizes: no sources found under ${folders[*]}" >&2
  exit 2
fi

long_files=$(for f in "${files[@]}"; do
  n=$(wc -l <"$f")
  if [ "$n" -gt "$max_file_lines" ]; then
    echo "$f: $n lines (at most $max_file_lines)"
  fi
done)

# One line per function definition: last line, first line, name, file.
long_functions=$(ctags --languages=C,C++ --kinds-C=f --kinds-C++=f --fields=+ne -x \
  --_xformat='%{end} %{line} %N %F' "${files[@]}" |
  awk -v max="$max_function_lines" '
    $1 ~ /^[0-9]+$/ && $2 ~ /^[0-9]+$/ {
      n = $1 - $2 + 1
      if (n > max) printf "%s:%d: %s is %d lines (at most %d)\n", $4, $2, $3, n, max
    }')

status=0
if [ -n "$long_files" ]; then
  echo "Files over $max_file_lines lines:"
  echo "$long_files"
  status=1
fi
if [ -n "$long_functions" ]; then
  echo "Functions over $max_function_lines lines:"
  echo "$long_functions"
  status=1
fi
if [ "$status" -eq 0 ]; then
  echo "check-sizes: ${#files[@]} files, none over $max_file_lines lines, no function over $max_function_lines lines"
fi
exit "$status"
