#!/usr/bin/env bash
# Compares the dynamic symbols a module defines (demangled) with a list of
# the symbols it is meant to export, one per line. The loader's own
# bookkeeping symbols (_init, _fini, the linker's section markers) are left out.
set -euo pipefail
module=$1
expected=$2
actual=$(nm -D --defined-only -C "$module" | cut -d' ' -f3- |
  grep -v -E '^(_init|_fini|_edata|_end|__bss_start)$' | LC_ALL=C sort -u)
want=$(grep -v -E '^\s*(#|$)' "$expected" | LC_ALL=C sort -u)
if [[ "$actual" != "$want" ]]; then
  echo "exports of $(basename "$module") differ from $(basename "$expected"):"
  diff <(echo "$want") <(echo "$actual") | sed -e 's/^</  missing:/' -e 's/^>/  extra:  /' | grep -E 'missing|extra'
  exit 1
fi
echo "exports of $(basename "$module"): $(echo "$actual" | wc -l) symbols as listed"
