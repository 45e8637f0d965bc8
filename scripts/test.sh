#!/usr/bin/env bash
# Every test: install what is missing, check the layout of the C++ files,
# then build and run the release suite, the address and undefined-behaviour
# sanitizer suite, the renderer's tests under the thread sanitizer, and each
# fuzz target on its seeds and a short fixed run.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
status=0
echo "== format"
scripts/check_format.sh || status=1
for preset in release asan tsan fuzz; do
  echo "== $preset: build"
  scripts/build.sh "$preset" | tail -n 1
  echo "== $preset: test"
  ctest --preset "$preset" -j "$(nproc)" || status=1
done
exit $status
