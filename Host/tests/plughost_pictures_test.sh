#!/usr/bin/env bash
# Pictures at full precision: what a render writes against what plughost
# sample gives at the same points, read back through the host's own reader
# (picture_samples) and compared by a model of the flat view written here.
#   plughost_pictures_test.sh PLUGHOST PICTURE_SAMPLES
source "$(dirname "$0")/helpers.sh"
plughost=$1
samples=$2

# Dirt made visible, so that coverage, colour and bump all vary.
scene=$tmp/dirt.json
"$plughost" scene new "$scene" --class Vede >/dev/null
"$plughost" scene set "$scene" --set "Vede Alpha=1" --set High=0.6 --set Low=0.35 \
  --set "Vede Color=0.4,0.25,0.1" --set Size=6 >/dev/null

size=(--width 24 --height 17)
render() { "$plughost" render "$scene" "${size[@]}" --threads 2 -q "$@"; }
render --pass data --channel all --depth float -o "$tmp/float.exr"
render --pass data --channel all -o "$tmp/half.exr"
render --pass data --channel mono --depth 16 -o "$tmp/mono16.png"
render --pass data --channel bump --depth 16 -o "$tmp/bump16.png"
render --channel color --depth float -o "$tmp/display.exr"
render --channel color -o "$tmp/display.png"
for f in float.exr half.exr mono16.png bump16.png display.exr display.png; do
  "$samples" "$tmp/$f" >"$tmp/$f.txt" || fail "$f cannot be read back"
done

# The swatch's pixel centres, as `sample` takes points: the view is 100
# units across, centred on the origin, y up, square pixels, the point on the
# plane z = 0 in single precision. The map has no sub-map, and its
# coordinates generator reads the object point, so the texture coordinates a
# render gives the swatch (and sample leaves at 0) are seen by nothing; the
# normal is the plane's, sample's default (0, 0, 1).
/usr/bin/python3 - "$plughost" "$scene" "$tmp" <<'PY' || fail "the pictures differ from the values sample gives"
import subprocess, sys
import numpy as np

plughost, scene, tmp = sys.argv[1:]
f32 = np.float32
width, height, extent = 24, 17, 100.0

def centres():
    half, aspect = f32(extent) * f32(0.5), f32(height) / f32(width)
    for y in range(height):
        for x in range(width):
            u = (f32(x) + f32(0.5)) / f32(width)
            v = f32(1) - (f32(y) + f32(0.5)) / f32(height)
            yield (u * f32(2) - f32(1)) * half, (v * f32(2) - f32(1)) * half * aspect

points = "".join(f"{sx!r} {sy!r} 0\n" for sx, sy in centres())

def sample(what):
    out = subprocess.run([plughost, "sample", scene, "--what", what], input=points, capture_output=True,
                         text=True, check=True).stdout
    return np.array([[f32(w) for w in line.split()] for line in out.splitlines()], dtype=np.float32)

def read(name):
    lines = open(f"{tmp}/{name}.txt").read().splitlines()
    assert lines[0] == f"{width} {height}", f"{name}: size {lines[0]}"
    names = [c.split(":") for c in lines[1].split()]
    rows = np.array([[int(w) for w in line.split()] for line in lines[2:]], dtype=np.uint64)
    return {n: (t, rows[:, i]) for i, (n, t) in enumerate(names)}

want = {}
for what, channels in (("color", "R G B A"), ("mono", "coverage.Y"), ("bump", "bump.X bump.Y bump.Z")):
    values = sample(what)
    assert values.shape == (width * height, len(channels.split())), f"sample {what}: {values.shape}"
    for i, c in enumerate(channels.split()):
        want[c] = values[:, i]

def check(name, channel, stored, expected):
    bad = np.nonzero(stored != expected)[0]
    if len(bad):
        i = bad[0]
        sys.exit(f"{name} {channel}: pixel {i % width},{i // width} holds {stored[i]}, not {expected[i]}")

def sixteen(v):
    # clamped to [0, 1] (not a number as 0), times 65535, half away from zero
    v = np.where(v > 0, np.minimum(v, 1), 0).astype(np.float64)
    return np.floor(v * 65535 + 0.5).astype(np.uint64)

floats, halves = read("float.exr"), read("half.exr")
assert sorted(floats) == sorted(want) == sorted(halves), f"channels {sorted(floats)}, {sorted(halves)}"
assert {t for t, _ in floats.values()} == {"float"} and {t for t, _ in halves.values()} == {"half"}
for c, v in want.items():
    check("float.exr", c, floats[c][1], v.view(np.uint32).astype(np.uint64))
    check("half.exr", c, halves[c][1], v.astype(np.float16).view(np.uint16).astype(np.uint64))
check("mono16.png", "Y", read("mono16.png")["Y"][1], sixteen(want["coverage.Y"]))
bump = read("bump16.png")
assert any(want["bump.X"] < 0) and any(want["bump.Y"] > 0), "the bump never crosses 0: nothing is clamped"
for c, b in zip("RGB", ("bump.X", "bump.Y", "bump.Z")):
    check("bump16.png", c, bump[c][1], sixteen(want[b]))

# The display picture: 8 bits are the writer's rounding of the same floats.
shown, eight = read("display.exr"), read("display.png")
for c in "RGBA":
    v = shown[c][1].astype(np.uint32).view(np.float32)
    scaled = (v * f32(255)).astype(np.float64)  # the product in single precision, rounded exactly
    q = np.where(v > 0, np.where(v >= 1, 255, np.floor(scaled + 0.5)), 0).astype(np.uint64)
    check("display.png", c, eight[c][1], q)
PY
echo "plughost pictures at full precision: ok"
