#!/usr/bin/env bash
# plughost render and plughost sample, end to end.
#
# The golden pictures in golden/ are compared pixel for pixel (picture_diff).
# After a deliberate change to the shading or the views, write new ones with:
#   plughost_render_test.sh PLUGHOST PICTURE_DIFF --regenerate
source "$(dirname "$0")/helpers.sh"
plughost=$1
picture_diff=$2
golden=$(cd "$(dirname "$0")" && pwd)/golden
regenerate=${3:-}

# A small fixed scene: the dirt made visible, keyed between frames 0 and 10.
scene=$tmp/dirt.json
"$plughost" scene new "$scene" --class Vede >/dev/null
"$plughost" scene set "$scene" --set "Vede Alpha=1" --set High=0.6 --set Low=0.35 \
  --set "Vede Color=0.4,0.25,0.1" --set Size=6 --key "Perturb.Primary Perturb Phase@10=3" >/dev/null

cases=(
  "flat-color|--view flat --channel color"
  "sphere-color|--view sphere --channel color"
  "sphere-bump|--view sphere --channel bump"
  "cube-mono|--view cube --channel mono"
)
for c in "${cases[@]}"; do
  name=${c%%|*}
  args=${c#*|}
  # shellcheck disable=SC2086
  "$plughost" render "$scene" $args --width 64 --height 48 --threads 1 -q -o "$tmp/$name-1.png"
  # shellcheck disable=SC2086
  "$plughost" render "$scene" $args --width 64 --height 48 --threads 3 -q -o "$tmp/$name-3.png"
  cmp -s "$tmp/$name-1.png" "$tmp/$name-3.png" || fail "$name differs between one and three threads"
  if [[ $regenerate == --regenerate ]]; then
    cp "$tmp/$name-1.png" "$golden/$name.png"
  else
    [[ -f $golden/$name.png ]] || fail "no golden picture $name.png (run with --regenerate)"
    "$picture_diff" "$golden/$name.png" "$tmp/$name-1.png" || fail "$name differs from its golden picture"
  fi
done

# The bump amount: at the default the dirt's relief is plain on the sphere
# (more than 60 levels at some pixel, 4 on average, from a smooth sphere);
# a scene's own amount is used unless --bump-amount gives one, and survives
# a resave. Amount 1 is the unscaled perturbation, a few levels at most.
levels=$(dirname "$0")/picture_levels.py
bump() { "$plughost" render "$@" --view sphere --channel bump --width 64 --height 64 -q; }
bump --bump-amount 0 -o "$tmp/smooth.png"
bump "$scene" -o "$tmp/relief.png"
read -r most mean < <(/usr/bin/python3 "$levels" "$tmp/smooth.png" "$tmp/relief.png")
awk -v m="$most" -v a="$mean" 'BEGIN { exit !(m > 60 && a > 4) }' || fail "bump relief too faint: $most, $mean"
/usr/bin/python3 - "$scene" "$tmp/amount.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["settings"] = {"bumpAmount": 1}
json.dump(doc, open(sys.argv[2], "w"))
PY
"$plughost" scene set "$tmp/amount.json" --set Size=6 >/dev/null
grep -q '"bumpAmount": 1' "$tmp/amount.json" || fail "resave lost the bump amount"
# Pixels, not bytes: each picture carries the fingerprint of its own command
# line and scene, which differ here.
bump "$tmp/amount.json" -o "$tmp/own.png"
bump "$scene" --bump-amount 1 -o "$tmp/given.png"
"$picture_diff" "$tmp/own.png" "$tmp/given.png" || fail "the scene's bump amount was not used"
bump "$tmp/amount.json" --bump-amount 40 -o "$tmp/over.png"
"$picture_diff" "$tmp/over.png" "$tmp/relief.png" || fail "--bump-amount did not override the scene's"
expect_error "bump-amount" "$plughost" render --bump-amount much -o "$tmp/x.png"

# Frames: keys make frames 0 and 10 differ; the same frame twice is the same.
"$plughost" render "$scene" --frames 0-10x10 --width 32 --height 32 -q -o "$tmp/anim.####.png"
[[ -f $tmp/anim.0000.png && -f $tmp/anim.0010.png ]] || fail "frame files not named by frame"
cmp -s "$tmp/anim.0000.png" "$tmp/anim.0010.png" && fail "frames 0 and 10 are the same picture"
"$plughost" render "$scene" --time 10 --width 32 --height 32 -q -o "$tmp/again.png"
"$picture_diff" "$tmp/anim.0010.png" "$tmp/again.png" || fail "frame 10 rendered twice differs"

# With no arguments: a picture of a new texture, vede.png in the current folder.
(cd "$tmp" && "$plughost" render -q) && [[ -s $tmp/vede.png ]] || fail "plain render wrote no vede.png"

# User errors: one message, non-zero exit, nothing written.
expect_error "unknown view" "$plughost" render --view plane -o "$tmp/x.png"
expect_error "unknown parameter" "$plughost" render --set "nosuch=1" -o "$tmp/x.png"
expect_error "number" "$plughost" render --set "size=big" -o "$tmp/x.png"
expect_error "cannot write" "$plughost" render -o "$tmp/no/such/folder/x.png"
expect_error "frame range" "$plughost" render --frames 5-1 -o "$tmp/x.png"
expect_error "missing.json" "$plughost" render "$tmp/missing.json" -o "$tmp/x.png"
expect_error "missing.png" "$plughost" render --map "$tmp/missing.png" -o "$tmp/x.png"
[[ -e $tmp/x.png ]] && fail "a failed render left a picture"
ls "$tmp" | grep -q partial && fail "a partial file was left behind"

# sample: the documented perturbation of the origin with the texture's
# settings, shortest round-trip floats, bad lines reported by number.
out=$(printf '0 0 0\n' | "$plughost" sample --set Size=1 --what perturbed)
[[ $out == "0.7390388 0.75958323 0.7792112" ]] || fail "perturbed origin: $out"
out=$(printf '0 0 0\n1 2\n0.5 0.5 0.5\n' | "$plughost" sample 2>"$tmp/err") && fail "bad line not reflected in the exit status"
[[ $(wc -l <<<"$out") == 2 ]] || fail "expected two results: $out"
grep -q "line 2" "$tmp/err" || fail "bad line not reported by number: $(cat "$tmp/err")"
grep -q "commas" "$tmp/err" && fail "a point of spaces is told to use commas: $(cat "$tmp/err")"
grep -q "1 2 3" "$tmp/err" || fail "the error shows no example with spaces: $(cat "$tmp/err")"
out=$(printf '1 2 3\n' | "$plughost" sample --what color)
[[ $(wc -w <<<"$out") == 4 ]] || fail "color gives four numbers: $out"
out=$(printf '1 2 3\n' | "$plughost" sample --what bump --normal 0,1,0)
[[ $(wc -w <<<"$out") == 3 ]] || fail "bump gives three numbers: $out"
# Mono of the default texture at a point is half the noise: never above 0.5.
printf '%s\n' "1 2 3" "-40 7.5 0.25" "1000 -3 8" | "$plughost" sample | awk '$1 > 0.5 { exit 1 }' ||
  fail "default mono above 0.5"
echo "plughost render and sample: ok"
