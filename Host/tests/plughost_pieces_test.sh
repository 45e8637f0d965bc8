#!/usr/bin/env bash
# plughost render in pieces, plughost assemble and plughost farm check, on
# one machine: the pieces give the whole render's files byte for byte, and a
# piece run again keeps what is complete.
source "$(dirname "$0")/helpers.sh"
plughost=$1
cd "$tmp"
"$plughost" scene new dirt.json --class Vede >/dev/null
"$plughost" scene set dirt.json --set "Vede Alpha=1" --set High=0.6 --set Low=0.35 --set Size=6 \
  --key "Perturb.Primary Perturb Phase@9=3" >/dev/null
size=(--width 96 --height 64 --view sphere)

# Tiles, assembled: the whole picture, byte for byte.
"$plughost" render dirt.json "${size[@]}" -q -o whole.png
for k in 1 2 3 4 5 6; do "$plughost" render dirt.json "${size[@]}" -q --tile $k/6 -o still.png; done
[[ -f still.tile-48-42-96-64.png ]] || fail "tile files not named by their pixels: $(ls)"
"$plughost" assemble -o still.png --width 96 --height 64 --tiles 6
cmp -s whole.png still.png || fail "assembled tiles differ from the whole picture"
# A region is named the same way as a tile.
"$plughost" render dirt.json "${size[@]}" -q --region 0,0,48,21 -o still.png 2>&1 | grep -q "complete; kept" ||
  fail "a complete region was rendered again"

# Chunks: the frames of the whole sequence, under its names.
"$plughost" render dirt.json --frames 0-9 --width 32 --height 32 -q -o "all.####.png"
for k in 1 2 3; do "$plughost" render dirt.json --frames 0-9 --width 32 --height 32 -q --chunk $k/3 -o "part.####.png"; done
for f in $(seq -f %04g 0 9); do cmp -s "all.$f.png" "part.$f.png" || fail "chunked frame $f differs"; done

# Run again: complete frames are kept, a broken one is rendered again, and
# --overwrite renders them all.
head -c 100 all.0007.png >part.0007.png
before=$(stat -c %i part.0008.png) # a picture written again is a new file
out=$("$plughost" render dirt.json --frames 0-9 --width 32 --height 32 -q --chunk 3/3 -o "part.####.png" 2>&1)
grep -q "part.0008.png is complete; kept" <<<"$out" || fail "a complete frame was not kept: $out"
grep -q "0007" <<<"$out" && fail "a broken frame was kept: $out"
cmp -s all.0007.png part.0007.png || fail "the broken frame was not rendered again"
[[ $(stat -c %i part.0008.png) == "$before" ]] || fail "a kept frame was written"
out=$("$plughost" render dirt.json --frames 0-9 --width 32 --height 32 -q --chunk 3/3 --overwrite -o "part.####.png" 2>&1)
[[ -z $out ]] || fail "--overwrite kept frames: $out"

# farm check: the manifest when every frame is complete; otherwise the
# missing and broken frames by number, and no manifest.
"$plughost" farm check -o "part.####.png" --frames 0-9 --width 32 --height 32 >/dev/null
[[ $(grep -vc '^#' part.manifest.txt) == 10 ]] || fail "manifest: $(cat part.manifest.txt)"
grep -q "$(sha256sum part.0003.png | cut -d' ' -f1)	part.0003.png" part.manifest.txt || fail "manifest hash"
rm part.0004.png part.0005.png
head -c 100 all.0009.png >part.0009.png
if out=$("$plughost" farm check -o "part.####.png" --frames 0-9 --width 32 --height 32 2>&1); then
  fail "farm check passed with frames missing"
fi
grep -q "3 of 10 frames missing or broken: 4-5, 9" <<<"$out" || fail "farm check message: $out"
[[ -e part.manifest.txt ]] && fail "an old manifest survived a failed check"

# assemble names what is missing and writes nothing.
rm still.png still.tile-0-21-48-42.png
if out=$("$plughost" assemble -o still.png --width 96 --height 64 --tiles 6 2>&1); then fail "assembled without a tile"; fi
grep -q "tile 3/6 still.tile-0-21-48-42.png: missing" <<<"$out" || fail "assemble message: $out"
[[ -e still.png ]] && fail "assemble wrote a picture with a tile missing"
# Every format: 16 half OpenEXR tiles of a 2048 x 2048 still, and 16-bit PNG
# tiles of a data render, join to the whole render's file byte for byte.
big=(--width 2048 --height 2048 --time 9)
"$plughost" render dirt.json "${big[@]}" -q -o big.exr
for k in $(seq 16); do "$plughost" render dirt.json "${big[@]}" -q --tile $k/16 -o tiles.exr; done
"$plughost" assemble -o tiles.exr --width 2048 --height 2048 --tiles 16
cmp -s big.exr tiles.exr || fail "assembled OpenEXR tiles differ from the whole render"
data=(--width 80 --height 50 --pass data --channel color --depth 16 --compression small)
"$plughost" render dirt.json "${data[@]}" -q -o deep.png
for k in 1 2 3 4 5 6; do "$plughost" render dirt.json "${data[@]}" -q --tile $k/6 -o deept.png; done
"$plughost" assemble -o deept.png --width 80 --height 50 --tiles 6 --compression small
cmp -s deep.png deept.png || fail "assembled 16-bit PNG tiles differ from the whole render"
# 8-bit data PNGs store grey (mono) and RGB (bump): the joined file too.
for ch in mono bump; do
  "$plughost" render dirt.json --width 40 --height 30 --pass data --channel $ch -q -o "w$ch.png"
  for k in 1 2 3 4; do "$plughost" render dirt.json --width 40 --height 30 --pass data --channel $ch -q --tile $k/4 -o "t$ch.png"; done
  "$plughost" assemble -o "t$ch.png" --width 40 --height 30 --tiles 4
  cmp -s "w$ch.png" "t$ch.png" || fail "assembled 8-bit $ch tiles differ from the whole render"
done
float=(--width 64 --height 48 --pass data --channel all --depth float)
"$plughost" render dirt.json "${float[@]}" -q -o all.exr
for k in 1 2 3; do "$plughost" render dirt.json "${float[@]}" -q --tile $k/3 -o allt.exr; done
"$plughost" assemble -o allt.exr --width 64 --height 48 --tiles 3
cmp -s all.exr allt.exr || fail "assembled float OpenEXR layers differ from the whole render"
# A tile of another render is neither kept nor joined.
"$plughost" render dirt.json "${float[@]}" --depth half -q --tile 2/3 -o allt.exr 2>&1 | grep -q "kept" &&
  fail "a tile of another depth was kept"
"$plughost" render dirt.json "${float[@]}" -q --tile 2/3 -o allt.exr --set Size=2
if out=$("$plughost" assemble -o allt.exr --width 64 --height 48 --tiles 3 2>&1); then fail "joined tiles of two renders"; fi
grep -q "tile 2/3 allt.tile-0-16-64-32.exr: of another render than tile 1" <<<"$out" || fail "mixed tiles: $out"
echo "plughost pieces: ok"
