#!/usr/bin/env bash
# A model of a million triangles (a finely cut sphere, made here) rendered at
# SIZE^2 against the flat render at the same size, each a whole plughost run,
# in turn in each of five rounds. The model's run reports its import (the
# helper process, the pipe) and its ray tree's build; the shading is what
# remains. Prints the medians and the median ratios.
#   bench/mesh_bench.sh BUILD_FOLDER [SIZE]
set -euo pipefail
build=$1
size=${2:-1024}
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
/usr/bin/python3 "$(dirname "$0")/make_sphere_ply.py" "$out/sphere.ply"
seconds() { local s e; s=$(date +%s.%N); "$@" >"$out/log" 2>&1; e=$(date +%s.%N); echo "$e - $s" | bc -l; }
for round in 1 2 3 4 5; do
  flat=$(seconds "$build/bin/plughost" render --width "$size" --height "$size" -q -o "$out/flat.png")
  mesh=$(seconds "$build/bin/plughost" render --mesh "$out/sphere.ply" --width "$size" --height "$size" -o "$out/mesh.png")
  times=$(sed -n 's/.*imported in \([0-9.]*\) s, ray tree built in \([0-9.]*\) s.*/\1 \2/p' "$out/log")
  [[ -n $times ]] || { cat "$out/log" >&2; exit 1; }
  echo "$flat $mesh $times"
done | /usr/bin/python3 -c '
import statistics, sys
rows = [tuple(map(float, l.split())) for l in sys.stdin]
med = lambda f: statistics.median(f(r) for r in rows)
flat, mesh, imp, build = (med(lambda r, i=i: r[i]) for i in range(4))
shade = med(lambda r: r[1] - r[2] - r[3])
print(f"model render {sys.argv[1]}^2, 1,000,000 triangles (PLY): {mesh:.2f} s in all: import {imp:.2f} s, "
      f"ray tree {build:.2f} s, the rest (start, shading, writing) {shade:.2f} s; flat render {flat:.2f} s")
print(f"model / flat render: {med(lambda r: r[1] / r[0]):.2f}x in all, "
      f"{med(lambda r: (r[1] - r[2] - r[3]) / r[0]):.2f}x without import and build (medians of 5)")
' "$size"
