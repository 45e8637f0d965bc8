#!/usr/bin/env bash
# plughost edit and plughost utility with the product's plug-ins: rollups
# printed before and after user actions, the scene saved with what the
# actions changed, links and messages on standard error, and every user error
# one message, a non-zero exit and no file written.
source "$(dirname "$0")/helpers.sh"
plughost=$1

# A new texture, printed only: four rollups, the perturbation's rolled up.
out=$("$plughost" edit)
has "$out" 'Rollup "Coordinates" (open)'
has "$out" 'Rollup "Perturbation Parameters" (rolled up)'
has "$out" 'Rollup "Vede Parameters" (open)'
has "$out" '1020  CustButton      "(None)"'
has "$out" '1497  SpinnerControl  value 10 (0 to 100000)'
has "$out" '1003  Static          "Version 2.02, Jan 10 2001\n3D Studio Max 4.0 build"'
has "$out" '1010  Static          image 125x62'
hasnt "$out" '1498'  # Non-Vede Alpha is never shown
hasnt "$out" 'After the actions'
hasnt "$out" "Saved"

# Actions in order on a saved scene, written to another file.
"$plughost" scene new "$tmp/a.json" --class Vede
cp "$tmp/a.json" "$tmp/a.orig"
out=$("$plughost" edit "$tmp/a.json" --open perturbation --spin 1052=3 --map checker --color 1456=255,0,0 \
  --time 10 --animate on --spin "Vede Parameters:1497=4" -o "$tmp/b.json")
cmp -s "$tmp/a.json" "$tmp/a.orig" || fail "-o changed the input"
after=$(sed -n '/^After the actions:/,$p' <<<"$out")
has "$after" 'Rollup "Perturbation Parameters" (open)'
has "$after" '1052  SpinnerControl  value 3 (0 to 1000)'
has "$after" '1020  CustButton      "Checker"'
has "$after" '1640  Button          checked'
has "$after" '1456  ColorSwatch     color 255,0,0'
has "$after" '1497  SpinnerControl  value 4 (0 to 100000)'
has "$out" "Saved $tmp/b.json"
shown=$("$plughost" scene show "$tmp/b.json")
has "$shown" "Primary Perturb Size (float) = 3"
has "$shown" "Size (float) keys: 0=10, 10=4"
has "$shown" "Vede Color (color) = 1,0,0"
has "$shown" "Map On (bool) = on"
has "$shown" "Map: Checker"

# Without -o the scene file itself is saved.
"$plughost" edit "$tmp/b.json" --type 1490=0.25 >/dev/null
has "$("$plughost" scene show "$tmp/b.json")" "Vede Alpha (float) = 0.25"

# A spinner's arrows move it by its scale.
has "$("$plughost" edit --step 1497=5 --step 1496=-100)" '1497  SpinnerControl  value 10.5 (0 to 100000)'
has "$("$plughost" edit --step 1496=-100)" '1496  SpinnerControl  value 0 (0 to 1)'

# Links open through the shell, reported on standard error.
err=$("$plughost" edit --click About:1012 --click 1013 2>&1 >/dev/null)
has "$err" "plughost: open http://www.quorlstudio.example"
has "$err" "plughost: open mailto:support@quorlstudio.example"

# The info utility.
out=$("$plughost" utility QuorlLib)
has "$out" 'Rollup "QuorlLib Info" (open)'
has "$out" '1001  Static          "1.11"'

# User errors: one message, non-zero exit, nothing written.
sum=$(md5sum <"$tmp/b.json")
expect_error 'is in the rolled-up rollup "Perturbation Parameters"; open it first' \
  "$plughost" edit "$tmp/b.json" --spin 1052=2 -o "$tmp/c.json"
expect_error "control 1000 is a Static, not a spinner" "$plughost" edit "$tmp/b.json" --spin 1000=1
expect_error "'abc' is not a number" "$plughost" edit "$tmp/b.json" --spin 1497=abc
expect_error "-5 is outside the range of spinner 1497 (0 to 100000)" "$plughost" edit "$tmp/b.json" --spin 1497=-5
expect_error "control 1056 of rollup \"Perturbation Parameters\" is hidden" \
  "$plughost" edit "$tmp/b.json" --open Perturbation --spin 1056=1
expect_error "no control 9999 in any rollup" "$plughost" edit "$tmp/b.json" --click 9999
expect_error 'no rollup "Nope"; the rollups are: "Coordinates"' "$plughost" edit "$tmp/b.json" --open Nope
expect_error "'300,0,0' is out of range for a colour" "$plughost" edit "$tmp/b.json" --color 1456=300,0,0
expect_error "$tmp/none.png" "$plughost" edit "$tmp/b.json" --map "$tmp/none.png"
expect_error "'maybe' is not on or off" "$plughost" edit "$tmp/b.json" --animate maybe
expect_error "bad time 'x'" "$plughost" edit "$tmp/b.json" --time x
expect_error "cannot read $tmp/missing.json" "$plughost" edit "$tmp/missing.json"
# A bad value is refused with the same words wherever a value is taken.
for bad in nan inf -inf 1e "" 1e39; do
  want="'$bad' is not a number"
  [[ $bad == 1e39 ]] && want="'1e39' is out of range for a number"
  expect_error "Size: $want" "$plughost" scene set "$tmp/b.json" --set "size=$bad"
  expect_error "Size: $want" "$plughost" scene set "$tmp/b.json" --key "size@1=$bad"
  expect_error "Size: $want" "$plughost" render "$tmp/b.json" --set "size=$bad" -o "$tmp/c.png"
  expect_error "--spin 1497=$bad: $want" "$plughost" edit "$tmp/b.json" --spin "1497=$bad"
  expect_error "--type 1491=$bad: $want" "$plughost" edit "$tmp/b.json" --type "1491=$bad"
done
expect_error "--width: 'wide' is not a whole number" "$plughost" render --width wide
expect_error "--port: '80x' is not a whole number" "$plughost" serve --port 80x --no-open
expect_error "--port takes 0 to 65535" "$plughost" serve --port 70000 --no-open
expect_error "bad time '99999999'" "$plughost" edit "$tmp/b.json" --time 99999999
[[ $(md5sum <"$tmp/b.json") == "$sum" ]] || fail "a failed edit changed the file"
[[ ! -e $tmp/c.json ]] || fail "a failed edit wrote its output"
expect_error "no utility 'Vede'. Utilities:" "$plughost" utility Vede

# The map tree: --open goes down to a sub-map by its place, --parent comes
# back, and what was changed below is saved with the scene.
"$plughost" scene new "$tmp/tree.json" --class Vede >/dev/null
out=$("$plughost" edit "$tmp/tree.json" --map checker --open Vede.Map --color 3101=0,255,0)
has "$out" 'Rollup "Checker Parameters" (open)'
has "$out" '3101  ColorSwatch     color 0,255,0'
has "$("$plughost" edit "$tmp/tree.json" --open vede.map)" '3101  ColorSwatch     color 0,255,0'
out=$("$plughost" edit "$tmp/tree.json" --open vede.map --parent)
has "${out##*After the actions:}" 'Rollup "Vede Parameters" (open)'
expect_error 'has no parent' "$plughost" edit "$tmp/tree.json" --parent
echo "plughost edit and utility: all checks passed"
