#!/usr/bin/env bash
# A bake's texels a second against the flat render's pixels a second at the
# same size, each a whole plughost run (start, import, shading, writing), in
# turn in each of five rounds; prints the medians and the median ratio.
#   bench/bake_bench.sh BUILD_FOLDER [SIZE]
set -euo pipefail
build=$1
size=${2:-1024}
models=$build/Host/geometry/models
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
seconds() { local s e; s=$(date +%s.%N); "$@" >/dev/null 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
for round in 1 2 3 4 5; do
  bake=$(seconds "$build/bin/plughost" bake "$models/plane.obj" --what mono --size "$size" -q -o "$out/b.exr")
  # The same values in the same file: coverage alone, in float.
  render=$(seconds "$build/bin/plughost" render --channel mono --pass data --depth float --width "$size" \
    --height "$size" -q -o "$out/r.exr")
  echo "$bake $render"
done | /usr/bin/python3 -c '
import statistics, sys
rows = [tuple(map(float, l.split())) for l in sys.stdin]
n = int(sys.argv[1]) ** 2
bake, render = statistics.median(r[0] for r in rows), statistics.median(r[1] for r in rows)
ratio = statistics.median(r[1] / r[0] for r in rows)
print(f"bake {sys.argv[1]}^2 mono (plane, OpenEXR float): {n / bake / 1e6:.2f} Mtexels/s; "
      f"flat data render (OpenEXR float): {n / render / 1e6:.2f} Mpixels/s; bake / render throughput {ratio:.2f}x (median of 5)")
' "$size"
