#!/usr/bin/env bash
# Compares what a plug-in file takes from a library (the library's defined
# dynamic symbols that the plug-in leaves undefined, demangled) with a list.
set -euo pipefail
plugin=$1
library=$2
expected=$3
defined=$(nm -D --defined-only -C "$library" | cut -d' ' -f3- | LC_ALL=C sort -u)
undefined=$(nm -D --undefined-only -C "$plugin" | sed -E 's/^ +[A-Za-z] //' | LC_ALL=C sort -u)
actual=$(LC_ALL=C comm -12 <(echo "$defined") <(echo "$undefined"))
want=$(grep -v -E '^\s*(#|$)' "$expected" | LC_ALL=C sort -u)
if [[ "$actual" != "$want" ]]; then
  echo "imports of $(basename "$plugin") from $(basename "$library") differ from $(basename "$expected"):"
  diff <(echo "$want") <(echo "$actual") | sed -e 's/^</  missing:/' -e 's/^>/  extra:  /' | grep -E 'missing|extra'
  exit 1
fi
echo "imports of $(basename "$plugin") from $(basename "$library"): $(echo "$actual" | wc -l) symbols as listed"
