#!/usr/bin/env bash
# plughost scene: creates, edits, shows and re-saves scene files of the tests'
# own plug-in classes (and of Perturb where QuorlLib.dlu lists it), and turns
# every user error into one message, a non-zero exit and no file written.
source "$(dirname "$0")/helpers.sh"
plughost=$1
good=$2   # the tests' own plug-in file
named=$3  # the same with a string table and a parameter-name table
moved=$4  # and again with the strings renumbered and the block moved
ph() { "$plughost" --no-default-plugins --plugins "$good" "$@"; }

# Create, show.
ph scene new "$tmp/a.json" --class "host-test WIDGET"
out=$(ph scene show "$tmp/a.json")
has "$out" "Host Test Widget  class 0x5EC0AB01, 0x00000001"
has "$out" "  Size (float) = 1"
has "$out" "  Tint (color) = 1,0.5,0.25"
has "$out" "  Part: Host Test Part"
has "$out" "    Strength (float) = 0.75"
has "$out" "  Extra: none"

# Set and key, by path, by end of path, case and spacing aside; -o keeps the input.
cp "$tmp/a.json" "$tmp/a.orig"
ph scene set "$tmp/a.json" --set size=2.5 --set "PART.strength=0.1" --set "tint=0,0.5,1" --set enabled=off \
  --key "Size@10=5" --key "strength@330t=1e-3" -o "$tmp/b.json"
cmp -s "$tmp/a.json" "$tmp/a.orig" || fail "-o changed the input"
out=$(ph scene show "$tmp/b.json")
has "$out" "  Size (float) keys: 0=2.5, 10=5"
has "$out" "  Tint (color) = 0,0.5,1"
has "$out" "  Enabled (bool) = off"
has "$out" "    Strength (float) keys: 0=0.1, 330t=0.001"

# Without -o the file itself is saved; load and save again is byte-identical.
ph scene set "$tmp/b.json" --set count=7
has "$(ph scene show "$tmp/b.json")" "  Count (int) = 7"
ph scene set "$tmp/b.json" -o "$tmp/c.json"
cmp "$tmp/b.json" "$tmp/c.json" || fail "load and save changed the file"

# User errors: one message, non-zero exit, nothing written.
sum=$(md5sum <"$tmp/b.json")
expect_error "unknown parameter 'nope'. The parameters are:" ph scene set "$tmp/b.json" --set nope=1
expect_error "  Part.Strength (float)" ph scene set "$tmp/b.json" --set nope=1
expect_error "Count: 'many' is not a whole number" ph scene set "$tmp/b.json" --set count=many -o "$tmp/d.json"
expect_error "bad time '1.5'" ph scene set "$tmp/b.json" --key size@1.5=2 -o "$tmp/d.json"
expect_error "Offset is not animatable" ph scene set "$tmp/b.json" --key offset@2=1,2,3 -o "$tmp/d.json"
expect_error "--set 'size' is not NAME=VALUE" ph scene set "$tmp/b.json" --set size
[[ $(md5sum <"$tmp/b.json") == "$sum" ]] || fail "a failed set changed the file"
[[ ! -e $tmp/d.json ]] || fail "a failed set wrote its output"
expect_error "unknown class 'Gadget'. Classes that can be placed in a scene:" \
  ph scene new "$tmp/d.json" --class Gadget
expect_error "  Host Test Widget (HostTestClasses.dlo)" ph scene new "$tmp/d.json" --class Gadget
expect_error "class 'Host Test Tool' (super class 0x00001020) cannot be placed in a scene" \
  ph scene new "$tmp/d.json" --class "host test tool"
[[ ! -e $tmp/d.json ]] || fail "a failed new wrote a file"
expect_error "cannot read $tmp/none.json: No such file or directory" ph scene show "$tmp/none.json"
head -c 200 "$tmp/b.json" >"$tmp/cut.json"
expect_error "$tmp/cut.json: line 10, column 19: not valid JSON: " ph scene show "$tmp/cut.json"
expect_error "cannot save $tmp/no/such/out.json: No such file or directory" \
  ph scene set "$tmp/b.json" -o "$tmp/no/such/out.json"
# Without its plug-in file the scene's classes are unknown.
expect_error "objects[0]: unknown class 'Host Test Widget'" \
  "$plughost" --no-default-plugins scene show "$tmp/b.json"
ls -A "$tmp" | grep -q '^\.' && fail "temporary files left: $(ls -A "$tmp")"

# A class that does not name its parameters: without a table they are
# numbered, and still set, shown and saved. With a table beside the file they
# have the names of the plug-in's strings, and a copy whose strings and block
# moved shows the same names: only its table differs.
ph scene new "$tmp/plain.json" --class "Host Test Plain"
ph scene set "$tmp/plain.json" --set "parameter 1=5"
has "$(ph scene show "$tmp/plain.json")" "  Parameter 1 (int) = 5"
for plugins in "$named" "$moved"; do
  pn() { "$plughost" --no-default-plugins --plugins "$plugins" "$@"; }
  pn scene new "$tmp/named.json" --class "Host Test Plain"
  pn scene set "$tmp/named.json" --set "plain size=2"
  out=$(pn scene show "$tmp/named.json")
  has "$out" "  Plain Size (float) = 2"
  has "$out" "  Plain Count (int) = 2"
done
tables=$(cat "$named"/*.param-names.json "$moved"/*.param-names.json | tr -d ' \n')
has "$tables" '"reference":0,"names":[{"param":0,"string":10},{"param":1,"string":11}]'
has "$tables" '"reference":2,"names":[{"param":0,"string":210},{"param":1,"string":207}]'

# Perturb, once QuorlLib.dlu lists it: its parameters by the names it gives.
if "$plughost" list | grep -qF '"QuorlLib::Perturbation"'; then
  "$plughost" scene new "$tmp/p.json" --class QuorlLib::Perturbation
  "$plughost" scene set "$tmp/p.json" --set "Primary Perturb Size=0.5" --key "perturb on@3=off"
  out=$("$plughost" scene show "$tmp/p.json")
  has "$out" "  Primary Perturb Size (float) = 0.5"
  has "$out" "  Perturb On (bool) keys: 0=on, 3=off"
  "$plughost" scene set "$tmp/p.json" -o "$tmp/p2.json"
  cmp "$tmp/p.json" "$tmp/p2.json" || fail "Perturb scene changed on load and save"
  # A block of the previous layout (version 100, without "Perturb Size" and
  # "Perturb On") is converted on load: saved values stay, the two new ones
  # take the defaults.
  "$plughost" scene new "$tmp/p3.json" --class QuorlLib::Perturbation
  "$plughost" scene set "$tmp/p3.json" --key "Primary Perturb Size@2=0.5"
  sed -e 's/"version": 101/"version": 100/' -e '/"id": 1[23],/d' -e '/"id": 11,/s/},$/}/' "$tmp/p3.json" >"$tmp/p100.json"
  grep -qF '"version": 100' "$tmp/p100.json" || fail "no version 100 block made"
  "$plughost" scene set "$tmp/p100.json" -o "$tmp/p101.json"
  cmp "$tmp/p3.json" "$tmp/p101.json" || fail "version 100 did not convert to the current layout"
else
  echo "QuorlLib.dlu lists no Perturb class yet: its part of this test is skipped"
fi
# A texture's sub-map slot must hold a map: a file that puts its perturbation
# object there is refused, not evaluated as a map.
if "$plughost" list | grep -q '"Vede": public'; then
  "$plughost" scene new "$tmp/v.json" --class Vede >/dev/null
  /usr/bin/python3 - "$tmp/v.json" "$tmp/bad-sub.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
vede = doc['objects'][doc['roots'][0]]
vede['refs'][3] = vede['refs'][2]  # the perturbation, where the sub-map goes
json.dump(doc, open(sys.argv[2], 'w'))
PY
  if out=$("$plughost" scene show "$tmp/bad-sub.json" 2>&1); then fail "a non-map sub-map was accepted"; fi
  grep -q "takes a texture map as its sub-map 0" <<<"$out" || fail "sub-map message: $out"
  "$plughost" scene show "$tmp/v.json" >/dev/null || fail "the untouched texture scene no longer loads"
  "$plughost" edit "$tmp/v.json" --map checker -o "$tmp/v-map.json" >/dev/null 2>&1 || fail "edit --map failed"
  "$plughost" scene show "$tmp/v-map.json" | grep -q "Map: Checker  place Vede.Map$" || fail "a real sub-map did not load, or shows no place"

  # The map verbs. A name and a channel survive saving and loading; a copy
  # keeps them and gets its own parameters; an instance is the same map.
  "$plughost" scene rename "$tmp/v.json" "Dirt A"
  "$plughost" scene channel "$tmp/v.json" 3
  "$plughost" scene set "$tmp/v.json" --set size=4
  "$plughost" scene copy "$tmp/v.json"
  "$plughost" scene rename "$tmp/v.json" "Dirt B" --map "Vede #2"
  "$plughost" scene reset "$tmp/v.json" --map "dirt b"
  "$plughost" scene instance "$tmp/v.json" --map "Dirt A" --into "Dirt B"
  out=$("$plughost" scene show "$tmp/v.json" | grep -E '^Vede|^  Size|Map:')
  [[ $out == 'Vede "Dirt A"  channel 3  class 0x761983AE, 0x9B35C99C
  Size (float) = 4
  Map: none
Vede #2 "Dirt B"  channel 3  class 0x761983AE, 0x9B35C99C
  Size (float) = 10
  Map: Vede "Dirt A"  channel 3  (shared: shown above)' ]] || fail "after the map verbs:"$'\n'"$out"
  sum=$(md5sum <"$tmp/v.json")
  expect_error "a map cannot show itself" "$plughost" scene instance "$tmp/v.json" --map "Dirt B" --into "Dirt A"
  expect_error "'16' is out of range for an effects channel (0 to 15)" "$plughost" scene channel "$tmp/v.json" 16
  expect_error "no map 'nope' in the scene. Its maps:" "$plughost" scene reset "$tmp/v.json" --map nope
  expect_error "there is no slot 1" "$plughost" scene copy "$tmp/v.json" --into "Dirt A" --slot 1
  expect_error "instance needs --into" "$plughost" scene instance "$tmp/v.json"
  [[ $(md5sum <"$tmp/v.json") == "$sum" ]] || fail "a failed map verb changed the file"
fi
echo "plughost scene: ok"
