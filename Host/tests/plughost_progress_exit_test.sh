#!/usr/bin/env bash
# What a farm manager reads of a render: progress lines on a standard error
# that is no terminal, and an exit status that tells a bad input (not worth a
# retry) from a failure while running.
#   plughost_progress_exit_test.sh PLUGHOST
source "$(dirname "$0")/helpers.sh"
plughost=$1

# Standard error is a pipe here: plain lines, percents that only grow, the
# frame and its place among the pictures, and always the last line at 100%.
"$plughost" render --frames 4-6 --width 96 --height 64 -o "$tmp/seq.png" 2>&1 >/dev/null | cat >"$tmp/lines"
grep -vqE '^plughost: progress [0-9]+% frame [4-6] \([1-3]/3\)$' "$tmp/lines" && fail "not a progress line: $(cat "$tmp/lines")"
[[ $(tail -n 1 "$tmp/lines") == "plughost: progress 100% frame 6 (3/3)" ]] || fail "no last line: $(cat "$tmp/lines")"
sed -E 's/.* ([0-9]+)%.*/\1/' "$tmp/lines" | sort -n -c || fail "percents go back: $(cat "$tmp/lines")"
[[ $("$plughost" render --width 16 --height 16 -o "$tmp/one.png" 2>&1) == "plughost: progress 100%" ]] ||
  fail "a single picture's last line"
for quiet in -q "--progress none"; do
  # shellcheck disable=SC2086
  [[ -z $("$plughost" render $quiet --width 16 --height 16 -o "$tmp/one.png" 2>&1) ]] || fail "$quiet printed"
done
[[ -z $("$plughost" render -q --progress lines --width 16 --height 16 -o "$tmp/one.png" 2>&1) ]] ||
  fail "-q did not silence --progress lines"

# exits WANTED COMMAND...: the command ends with that status.
exits() {
  local wanted=$1 status=0
  shift
  "$@" >/dev/null 2>"$tmp/err" </dev/null || status=$?
  [[ $status == "$wanted" ]] || fail "exit status $status, not $wanted: $* ($(cat "$tmp/err"))"
}
# Bad input or options: 2, which no retry mends.
exits 2 "$plughost" render --no-such-option
exits 2 "$plughost" render --width
exits 2 "$plughost" render --view plane -o "$tmp/x.png"
exits 2 "$plughost" render --progress sometimes -o "$tmp/x.png"
exits 2 "$plughost" render "$tmp/missing.json" -o "$tmp/x.png"
exits 2 "$plughost" render --set "nosuch=1" -o "$tmp/x.png"
exits 2 "$plughost" render --map "$tmp/missing.png" -o "$tmp/x.png"
exits 2 "$plughost" render --class NoSuchClass -o "$tmp/x.png"
exits 2 "$plughost" render -o "$tmp/x.tif"
exits 2 "$plughost" scene set "$tmp/missing.json" --set Size=2
exits 2 "$plughost" utility NoSuchUtility
exits 2 bash -c "echo '1 2' | '$plughost' sample"
exits 2 "$plughost" assemble --width 8 --height 8 --tiles 0 -o "$tmp/a.png"
exits 2 "$plughost" farm check --frames 0-1 --tiles 4 -o "$tmp/a.png"
exits 2 "$plughost" farm slurm --retries -1 -o "$tmp/f.png"
# A failure while running: 1, which another try may mend.
exits 1 "$plughost" render -q -o /dev/full
exits 1 "$plughost" scene new /dev/full --class Vede
# Tiles not there yet may come with another try.
exits 1 "$plughost" assemble --width 8 --height 8 --tiles 4 -o "$tmp/a.png"
[[ ! -e $tmp/x.png && ! -e $tmp/x.tif ]] || fail "a failed render left a picture"
exits 0 "$plughost" --help
echo "plughost progress and exit status: ok"
