#!/usr/bin/env bash
# The command line's edges: the scripts run where they are called, frame
# patterns in the spellings other tools use, and sample's column names.
source "$(dirname "$0")/helpers.sh"
plughost=$1
repo=$2

# scripts/run.sh called from another folder takes the caller's paths and
# writes nothing into the checkout. A copy of the script runs in a checkout
# of its own whose install and build steps only say that they ran.
mkdir -p "$tmp/checkout/scripts" "$tmp/checkout/build/release/bin" "$tmp/caller"
cp "$repo/scripts/run.sh" "$tmp/checkout/scripts/"
for step in install-deps build; do
  printf '#!/usr/bin/env bash\ntouch "%s/ran-%s"\n' "$tmp" "$step" >"$tmp/checkout/scripts/$step.sh"
  chmod +x "$tmp/checkout/scripts/$step.sh"
done
ln -s "$plughost" "$tmp/checkout/build/release/bin/plughost"
"$plughost" scene new "$tmp/caller/dirt.json" --class Vede >/dev/null
(cd "$tmp/caller" && bash ../checkout/scripts/run.sh dirt.json --width 8 --height 8 -q -o small.png) ||
  fail "run.sh from another folder failed"
[[ -f $tmp/ran-install-deps && -f $tmp/ran-build ]] || fail "run.sh skipped its install or build step"
[[ -s $tmp/caller/small.png ]] || fail "the picture is not where the caller asked for it"
[[ -z $(find "$tmp/checkout" -newer "$tmp/caller/dirt.json" -type f) ]] || fail "run.sh wrote into the checkout"

# Frame patterns: runs of #, printf's %0Nd and %d, and runs of @.
cd "$tmp"
for pattern in 'a.%03d.png:a.009.png a.010.png' 'b.@@.png:b.09.png b.10.png' 'c.%d.png:c.9.png c.10.png'; do
  "$plughost" render --frames 9-10 --width 4 --height 4 -q -o "${pattern%%:*}" || fail "render -o ${pattern%%:*}"
  for want in ${pattern#*:}; do [[ -s $want ]] || fail "-o ${pattern%%:*} did not write $want: $(ls)"; done
done

# sample --header names the columns of each kind of value.
for what in 'mono:mono' 'color:r g b a' 'bump:bump.x bump.y bump.z' 'perturbed:perturbed.x perturbed.y perturbed.z'; do
  out=$(echo "1 2 3" | "$plughost" sample --what "${what%%:*}" --header)
  [[ $(sed -n 1p <<<"$out") == "${what#*:}" ]] || fail "sample --what ${what%%:*} --header: $out"
  [[ $(sed -n 2p <<<"$out" | wc -w) == $(wc -w <<<"${what#*:}") ]] || fail "columns and names differ: $out"
done

# A choice is set by its name or value, shown by its name, and nothing else
# is taken. The names are the texts of the coordinates rollup's buttons.
"$plughost" scene new "$tmp/c.json" --class Vede >/dev/null
expect_error "'7' is not one of its choices: Object XYZ (0), World XYZ (1)" \
  "$plughost" scene set "$tmp/c.json" --set "Coordinate Source=7"
"$plughost" scene set "$tmp/c.json" --set "coordinate source=world xyz"
has "$("$plughost" scene show "$tmp/c.json")" "Coordinate Source (int) = World XYZ"
"$plughost" scene set "$tmp/c.json" --set "Coordinate Source=0"
has "$("$plughost" scene show "$tmp/c.json")" "Coordinate Source (int) = Object XYZ"
