#!/usr/bin/env bash
# plughost bake from the command line: the files a bake writes (one per UDIM
# tile), what they hold, and one-line refusals that leave nothing behind.
#   plughost_bake_test.sh PLUGHOST MODELS
source "$(dirname "$0")/helpers.sh"
plughost=$1
models=$2

# One tile: the name as given; the texels hold floats of the coverage.
err=$("$plughost" bake "$models/plane.glb" --what mono --size 32 -o "$tmp/plane.exr" 2>&1)
has "$err" "baked $tmp/plane.exr (tile 1001: 1024 texels covered, 0 padded)"
[[ -s $tmp/plane.exr ]] || fail "no plane.exr"
# The same bake as a 16-bit PNG, cut by the writer only.
"$plughost" bake "$models/plane.obj" --what mono --size 32 --depth 16 -q -o "$tmp/plane.png"
[[ $(od -An -tx1 -j24 -N2 "$tmp/plane.png" | tr -d ' ') == 1000 ]] || fail "not a 16-bit grey PNG"

# The sphere's second UV set reaches four tiles: four files, .UDIM before
# the extension, or where <UDIM> says.
"$plughost" bake "$models/sphere.glb" --uv 2 --size 16 -q -o "$tmp/sphere.exr"
for t in 1001 1002 1011 1012; do [[ -s $tmp/sphere.$t.exr ]] || fail "no tile $t"; done
"$plughost" bake "$models/sphere.glb" --uv 2 --size 16 -q -o "$tmp/s_<UDIM>_bump.exr" --what bump
[[ -s $tmp/s_1012_bump.exr ]] || fail "no <UDIM> tile"
"$plughost" bake "$models/sphere.gltf" --size 16 -q -o "$tmp/normal.png" --what normal
[[ $(od -An -tx1 -j24 -N2 "$tmp/normal.png" | tr -d " ") == 0802 ]] || fail "not an 8-bit RGB normal map"

# Refusals, each one line, with nothing written.
expect_error "nouv.obj: mesh 0 ('defaultobject') has no UVs" "$plughost" bake "$models/nouv.obj" -o "$tmp/nouv.exr"
expect_error "truncated.glb" "$plughost" bake "$models/hostile/truncated.glb" -o "$tmp/bad.exr"
expect_error "unknown --what 'height'" "$plughost" bake "$models/plane.obj" --what height -o "$tmp/bad.exr"
expect_error ".tif is not a picture format" "$plughost" bake "$models/plane.obj" -o "$tmp/bad.tif"
expect_error "cannot write" "$plughost" bake "$models/plane.obj" -o "$tmp/none/bad.exr"
[[ ! -e $tmp/nouv.exr && ! -e $tmp/bad.exr && ! -e $tmp/bad.tif ]] || fail "a refused bake wrote a file"
echo "bake tests passed"
