#!/usr/bin/env bash
# plughost render --mesh from the command line: the same files for any thread
# count and from tiles, every writer and a sequence, and one-line refusals
# that leave nothing behind.
#   plughost_mesh_test.sh PLUGHOST MODELS PICTURE_DIFF
source "$(dirname "$0")/helpers.sh"
plughost=$1
models=$2
picture_diff=$3
cd "$tmp"
"$plughost" scene new dirt.json --class Vede >/dev/null
"$plughost" scene set dirt.json --set Size=0.5 --key "Perturb.Primary Perturb Phase@4=3" >/dev/null
size=(--mesh "$models/sphere.glb" --width 72 --height 48)

err=$("$plughost" render dirt.json "${size[@]}" --threads 1 -o one.png 2>&1)
has "$err" "sphere.glb: 256 triangles in 1 meshes, imported in"
"$plughost" render dirt.json "${size[@]}" --threads 5 -q -o many.png
cmp -s one.png many.png || fail "the thread count changed the picture"
for k in 1 2 3 4; do "$plughost" render dirt.json "${size[@]}" -q --tile $k/4 -o tiled.png; done
"$plughost" assemble -o tiled.png --width 72 --height 48 --tiles 4
cmp -s one.png tiled.png || fail "assembled tiles differ from the whole picture"

# The data pass in float OpenEXR, and frames that differ where the key moves.
"$plughost" render dirt.json "${size[@]}" -q --pass data --channel all --depth float -o data.exr
[[ -s data.exr ]] || fail "no data.exr"
"$plughost" render dirt.json "${size[@]}" -q --frames 0-4x4 -o "seq.####.png"
cmp -s seq.0000.png seq.0004.png && fail "the keyed frames are the same picture"
# A still and a sequence are other renders (their pictures carry other
# fingerprints), so their pixels are compared.
"$picture_diff" seq.0000.png one.png || fail "frame 0 of the sequence differs from the still"

expect_error "--view cube does not go with it" "$plughost" render "${size[@]}" --view cube -o bad.png
expect_error "--view mesh needs a model" "$plughost" render --view mesh -o bad.png
expect_error "truncated.glb" "$plughost" render --mesh "$models/hostile/truncated.glb" -o bad.png
expect_error "none.obj" "$plughost" render --mesh none.obj -o bad.png
[[ ! -e bad.png ]] || fail "a refused render wrote a file"
echo "mesh render tests passed"
