#!/usr/bin/env bash
# Fails, naming them, on the C++ files that clang-format (the repository's
# .clang-format, Debian's clang-format-14) would lay out otherwise. Fix with
#   clang-format-14 -i FILE...
set -euo pipefail
cd "$(dirname "$0")/.."
format=$(command -v clang-format-14 || true)
if [[ -z $format ]]; then
  echo "clang-format-14 is missing (scripts/install-deps.sh installs it)" >&2
  exit 1
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files -- '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print)
fi
if ! report=$("$format" --dry-run --Werror "${files[@]}" 2>&1); then
  echo "clang-format would change these files:" >&2
  grep -o '^[^:]*\.\(cpp\|h\):' <<<"$report" | sort -u | tr -d ':' | sed 's/^/  /' >&2
  exit 1
fi
echo "clang-format: ${#files[@]} files as laid out"
