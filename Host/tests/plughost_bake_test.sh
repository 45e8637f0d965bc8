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

# In pieces: two UDIM tiles, islands whose margins the pieces' edges cut;
# the pieces join to the whole bake's files, byte for byte in float OpenEXR.
cp "$models/udims.obj" "$tmp/two.obj"
two=("$tmp/two.obj" --size 48 --margin 6 --set size=0.5 -q)
cd "$tmp"
"$plughost" bake "${two[@]}" -o whole.exr
err=$("$plughost" bake "$tmp/two.obj" --size 48 --margin 6 -o "$tmp/count.exr" 2>&1)
[[ $err =~ tile\ 1001:\ [0-9]+\ texels\ covered,\ [1-9][0-9]*\ padded ]] || fail "no padding to test: $err"
for k in 1 2 3 4 5 6; do "$plughost" bake "${two[@]}" --tile $k/6 -o parts.exr; done
[[ -f parts.1002.tile-24-32-48-48.exr ]] || fail "pieces not named by UDIM tile and texels: $(ls)"
"$plughost" assemble -o parts.exr --udim 1001,1002 --width 48 --height 48 --tiles 6
for u in 1001 1002; do cmp -s whole.$u.exr parts.$u.exr || fail "UDIM tile $u in pieces differs from the whole bake"; done
# One UDIM tile alone is that tile's file; a piece run again is kept.
"$plughost" bake "${two[@]}" --udim 1002 -o alone.exr
cmp -s whole.1002.exr alone.1002.exr || fail "--udim 1002 differs from the whole bake's tile"
[[ ! -e alone.1001.exr ]] || fail "--udim 1002 baked 1001 too"
has "$("$plughost" bake "${two[@]}" --tile 2/6 -o parts.exr 2>&1)" "parts.1001.tile-24-0-48-16.exr is complete; kept"
# A piece of another bake is neither kept nor joined, and a missing one is named.
"$plughost" bake "${two[@]}" --set High=0.9 --tile 3/6 --udim 1001 -o parts.exr
rc=0
out=$("$plughost" assemble -o parts.exr --udim 1001,1002 --width 48 --height 48 --tiles 6 2>&1) || rc=$?
[[ $rc == 1 ]] || fail "joined pieces of two bakes (exit $rc)"
has "$out" "tile 3/6 parts.1001.tile-0-16-24-32.exr: made by another render"
hasnt "$("$plughost" bake "${two[@]}" --tile 3/6 -o parts.exr 2>&1)" "parts.1001.tile-0-16-24-32.exr is complete"
# Nor is a whole UDIM tile of another bake.
mkdir kept
cp parts.1002.tile-* kept/
for k in 1 2 3 4 5 6; do "$plughost" bake "${two[@]}" --set High=0.9 --udim 1002 --tile $k/6 -o parts.exr; done
rc=0
out=$("$plughost" assemble -o parts.exr --udim 1001,1002 --width 48 --height 48 --tiles 6 2>&1) || rc=$?
[[ $rc == 1 ]] || fail "joined UDIM tiles of two bakes (exit $rc)"
has "$out" "parts.1002.tile-0-0-24-16.exr: made by another render"
cp kept/parts.1002.tile-* .
rm parts.1002.tile-0-0-24-16.exr
rc=0
out=$("$plughost" assemble -o parts.exr --udim 1001,1002 --width 48 --height 48 --tiles 6 2>&1) || rc=$?
[[ $rc == 1 ]] || fail "assembled with a piece missing (exit $rc)"
has "$out" "tile 1/6 parts.1002.tile-0-0-24-16.exr: missing"
# Pieces that cannot be: exit 2 before anything is baked.
for bad in "--tile 0/6" "--tile 7/6" "--tile 2" "--tile 1/3000" "--udim 1003" "--udim 99"; do
  rc=0
  # shellcheck disable=SC2086
  "$plughost" bake "${two[@]}" $bad -o refused.exr 2>/dev/null || rc=$?
  [[ $rc == 2 ]] || fail "bake $bad: exit $rc, not 2"
done
rc=0
"$plughost" assemble -o parts.exr --udim 1001,1001 --width 48 --height 48 --tiles 6 2>/dev/null || rc=$?
[[ $rc == 2 ]] || fail "assemble --udim 1001,1001: exit $rc, not 2"
[[ -z $(ls refused* 2>/dev/null) ]] || fail "a refused piece wrote a file"

# The farm's scripts, with a stand-in sbatch that takes every job: task I
# of 2 UDIM tiles x 3 tiles bakes its own UDIM tile and tile; the model is
# frozen, a .gltf with the buffer it names, and one naming a file outside
# its folder is refused before anything is submitted.
mkdir bin
printf '#!/bin/sh\necho 42\n' >bin/sbatch
printf '#!/bin/sh\necho "$*"\n' >bin/echo-plughost
chmod +x bin/sbatch bin/echo-plughost
farm_bake() { PATH="$tmp/bin:$PATH" "$plughost" farm bake --plughost "$tmp/bin/echo-plughost" "$@"; }
farm_bake "$tmp/two.obj" --size 48 --tiles 3 -o "$tmp/farm/d.exr" >/dev/null
for t in 1 2 3 4 5 6; do
  u=$((t <= 3 ? 1001 : 1002)) k=$(((t - 1) % 3 + 1))
  has "$(SLURM_ARRAY_TASK_ID=$t sh farm/d.farm/task.sh)" "--udim $u --tile $k/3 --threads"
done
cmp -s two.obj farm/d.farm/model/two.obj || fail "the model was not frozen"
has "$(cat farm/d.farm/check.sh)" "'--udim' '1001,1002' '--width' '48' '--height' '48' '--tiles' '3'"
mkdir -p g/a g/b
cp "$models/plane.gltf" "$models/plane.bin" g/a/
farm_bake g/a/plane.gltf --size 16 -o "$tmp/farm/p.<UDIM>.exr" >/dev/null
cmp -s g/a/plane.bin farm/p.farm/model/plane.bin || fail "the .gltf's buffer was not frozen beside it"
sed 's|"plane.bin"|"../b/plane.bin"|' g/a/plane.gltf >g/a/up.gltf
cp g/a/plane.bin g/b/
rc=0
err=$(farm_bake g/a/up.gltf --size 16 -o "$tmp/farm/up.exr" 2>&1) || rc=$?
[[ $rc == 2 ]] || fail "a .gltf naming ../b/plane.bin: exit $rc, not 2"
has "$err" "names '../b/plane.bin', which the farm cannot copy beside it"
[[ ! -e farm/up.farm ]] || fail "a refused farm bake left its folder"
echo "bake tests passed"
