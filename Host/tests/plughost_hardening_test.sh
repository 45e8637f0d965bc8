#!/usr/bin/env bash
# plughost against inputs a user or a downloaded scene can give: each group
# asserts one line of error naming the file (or the clamped behaviour), and
# that nothing was written or lost.
#   plughost_hardening_test.sh PLUGHOST TEST_PLUGIN_FOLDER GROUP
# Groups: depth numbers outputs pictures threads plugins references inputs
# concurrent readonly nospace names writer mapverbs nocluster pieces. Big inputs are made here, not kept.
set -euo pipefail
plughost=$1
good=$2
group=$3
tmp=$(mktemp -d)
mounted=
cleanup() {
  if [[ -n $mounted ]]; then umount "$mounted" || true; fi
  chmod -R u+w "$tmp" 2>/dev/null || true
  rm -rf "$tmp"
}
trap cleanup EXIT
fail() { echo "FAIL ($group): $*"; exit 1; }
ph() { "$plughost" --plugins "$good" "$@"; }

# The command fails with exactly one line on standard error holding $1.
one_line_error() {
  local want=$1; shift
  local err
  if "$@" >/dev/null 2>"$tmp/err"; then fail "accepted: $*"; fi
  err=$(cat "$tmp/err")
  [[ $(wc -l <"$tmp/err") -eq 1 ]] || fail "not one line for '$*': $err"
  grep -qF -- "$want" <<<"$err" || fail "message for '$*' lacks '$want': $err"
}
# Nothing in the folder but the names given.
only_files() {
  local have want
  have=$(cd "$1" && ls -A | sort | tr '\n' ' ')
  shift
  want=$(printf '%s\n' "$@" | sort | tr '\n' ' ')
  [[ $have == "$want" ]] || fail "files left: '$have', expected '$want'"
}
# A chain of widgets, each holding the next in its third slot.
widget_chain() {
  /usr/bin/python3 - "$1" "$2" <<'PY'
import json, sys
n, path = int(sys.argv[1]), sys.argv[2]
objs = [{"index": i, "classId": ["0x5EC0AB01", "0x00000001"], "superClassId": "0x00000100",
         "refs": [None, None, i + 1 if i + 1 < n else None]} for i in range(n)]
json.dump({"format": "quorl-scene", "version": 1, "roots": [0], "objects": objs}, open(path, "w"))
PY
}

case $group in
depth)
  # Nesting is refused while reading, before anything is built on it.
  /usr/bin/python3 -c "print('{\"format\": \"quorl-scene\", \"version\": ' + '[' * 100000 + ']' * 100000 + '}')" >"$tmp/nested.json"
  one_line_error "$tmp/nested.json: line 1, column 69: values nested more than 32 levels deep" \
    ph scene show "$tmp/nested.json"
  widget_chain 5000 "$tmp/deep.json"
  cp "$tmp/deep.json" "$tmp/deep.orig"
  one_line_error "$tmp/deep.json: objects[4871]: references nest more than 128 objects deep from here" \
    ph scene set "$tmp/deep.json" --set "Size=2"
  cmp -s "$tmp/deep.json" "$tmp/deep.orig" || fail "a refused scene was changed"
  # Within the limit: every level is there by its path.
  widget_chain 120 "$tmp/ok.json"
  deepest=$(printf 'Extra.%.0s' $(seq 119))
  ph scene set "$tmp/ok.json" --set "${deepest}Part.Strength=0.5"
  ph scene show "$tmp/ok.json" | grep -c "Strength (float) = 0.5" | grep -qx 1 || fail "deepest part not set"
  ;;
numbers)
  ph scene new "$tmp/w.json" --class "Host Test Widget"
  sed 's/"value": 1.0}/"value": 1e400}/' "$tmp/w.json" >"$tmp/big.json"
  one_line_error "$tmp/big.json: line 22, column 87: not valid JSON: number overflow parsing '1e400'" \
    ph scene show "$tmp/big.json"
  # Tiling that is infinite, or keyed to overshoot to infinity, on a bitmap.
  "$plughost" render -q --width 8 --height 8 -o "$tmp/pic.png"
  "$plughost" scene new "$tmp/b.json" --class Bitmap
  /usr/bin/python3 - "$tmp/b.json" "$tmp/pic.png" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["objects"][0]["strings"]["file"] = sys.argv[2]
u, v = doc["objects"][1]["paramBlock"]["params"]
u["value"] = "inf"
del v["value"]
v["keys"] = [{"time": 0, "value": -3.4e38}, {"time": 160, "value": 3.4e38}, {"time": 320, "value": 3.4e38}]
json.dump(doc, open(sys.argv[1], "w"))
PY
  "$plughost" render "$tmp/b.json" --frames 0-2 -q --width 16 --height 16 -o "$tmp/tiled.#.png"
  [[ -s $tmp/tiled.0.png && -s $tmp/tiled.1.png && -s $tmp/tiled.2.png ]] || fail "endless tiling not rendered"
  # Frames whose times do not fit in 32-bit ticks, and huge ranges, are
  # refused before anything is expanded or rendered.
  one_line_error "frame range '16777216' is outside frames -13421772 to 13421772" \
    "$plughost" render --frames 16777216 -o "$tmp/f.png"
  one_line_error "too many frames in '0-13000000' (at most 100000)" \
    "$plughost" render --frames 0-13000000 -o "$tmp/f.#.png"
  one_line_error "frame range '0-500000000' is outside frames -13421772 to 13421772" \
    "$plughost" render --frames 0-500000000 -o "$tmp/f.#.png"
  one_line_error "bad time '16777216'" "$plughost" render --time 16777216 -o "$tmp/f.png"
  [[ -z $(ls "$tmp" | grep '^f\.') ]] || fail "a refused render wrote"
  # Seconds to wait are bounded, so that the sleep can neither overflow nor spin.
  for poll in 3e38 86401 0 -1 nan; do
    one_line_error "'$poll' is" "$plughost" farm slurm --poll "$poll" -o "$tmp/f.png"
  done
  ;;
outputs)
  hashes=$(printf '#%.0s' $(seq 40))
  "$plughost" render -q --width 8 --height 8 --frames 1-3 -o "$tmp/long.$hashes.png"
  [[ $(ls "$tmp" | grep -c '^long\.0\{39\}[123]\.png$') == 3 ]] || fail "frames lost to one name: $(ls "$tmp")"
  "$plughost" render -q --width 8 --height 8 -o /dev/null
  [[ -c /dev/null ]] || fail "/dev/null was replaced"
  mkfifo "$tmp/fifo"
  one_line_error "cannot write $tmp/fifo: it is a FIFO that nobody reads" \
    timeout 60 "$plughost" render -q --width 8 --height 8 -o "$tmp/fifo"
  cat "$tmp/fifo" >"$tmp/through.png" &
  reader=$!
  "$plughost" render -q --width 8 --height 8 -o "$tmp/fifo"
  wait $reader
  [[ -p $tmp/fifo ]] || fail "the FIFO was replaced"
  [[ $(head -c 4 "$tmp/through.png" | od -An -c | tr -d ' ') == '211PNG' ]] || fail "no picture came through the FIFO"
  mkdir "$tmp/folder"
  one_line_error "cannot write $tmp/folder: it is a folder" "$plughost" render -q -o "$tmp/folder"
  # Two renders to one name at once: both finish, and the file is one of
  # them, whole.
  "$plughost" render -q --view flat -o "$tmp/flat.png"
  "$plughost" render -q --view sphere -o "$tmp/sphere.png"
  for round in 1 2 3; do
    "$plughost" render -q --view flat -o "$tmp/one.png" &
    a=$!
    "$plughost" render -q --view sphere -o "$tmp/one.png" &
    b=$!
    wait $a || fail "the first of two renders failed"
    wait $b || fail "the second of two renders failed"
    cmp -s "$tmp/one.png" "$tmp/flat.png" || cmp -s "$tmp/one.png" "$tmp/sphere.png" || fail "a mixed picture"
  done
  rm -f "$tmp"/long.* "$tmp/through.png" "$tmp/err"
  only_files "$tmp" fifo folder flat.png sphere.png one.png
  ;;
pictures)
  # A header claiming 32767 x 32768 pixels, in 69 bytes.
  /usr/bin/python3 - "$tmp/bomb.png" <<'PY'
import struct, sys, zlib
def chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
ihdr = struct.pack(">IIBBBBB", 32767, 32768, 8, 6, 0, 0, 0)
open(sys.argv[1], "wb").write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", b"") + chunk(b"IEND", b""))
PY
  [[ $(stat -c %s "$tmp/bomb.png") -lt 70 ]] || fail "the bomb is not small"
  one_line_error "--map $tmp/bomb.png: the picture is 32767 x 32768 pixels, more than the pixel budget of 67108864" \
    "$plughost" render --map "$tmp/bomb.png" -o "$tmp/out.png"
  "$plughost" render -q --width 32 --height 32 -o "$tmp/map.png"
  one_line_error "more than the pixel budget of 1000" \
    "$plughost" --max-pixels 1000 render --map "$tmp/map.png" -o "$tmp/out.png"
  [[ ! -e $tmp/out.png ]] || fail "a refused render wrote"
  "$plughost" --max-pixels 1024 render -q --map "$tmp/map.png" -o "$tmp/out.png"
  [[ -s $tmp/out.png ]] || fail "a picture within the budget was refused"
  ;;
threads)
  "$plughost" render -q --width 64 --height 64 --threads 1 -o "$tmp/one.png"
  "$plughost" render -q --width 64 --height 64 --threads 2000 -o "$tmp/many.png" 2>"$tmp/err"
  grep -q "^plughost: note: --threads 2000 is more than the [0-9]* this machine offers; rendering with [0-9]*$" \
    "$tmp/err" || fail "no note of the clamp: $(cat "$tmp/err")"
  cmp -s "$tmp/one.png" "$tmp/many.png" || fail "the picture depends on the thread count"
  ;;
plugins)
  # Damaged copies of the texture beside a good library: each is reported
  # and skipped, the host goes on.
  plugins=$(dirname "$("$plughost" list | sed -n 's/^  loaded from \(.*Vede.dlt\)$/\1/p')")
  size=$(stat -c %s "$plugins/Vede.dlt")
  mkdir "$tmp/bad"
  cp "$plugins/QuorlLib.dlu" "$tmp/bad/"
  for cut in 64 200 1000 $((size / 4)) $((size / 3)) $((size / 2)); do
    head -c "$cut" "$plugins/Vede.dlt" >"$tmp/bad/Vede.dlt"
    out=$("$plughost" --no-default-plugins --plugins "$tmp/bad" list) || fail "list died on a file cut at $cut"
    grep -A1 '^Vede.dlt$' <<<"$out" | grep -q 'failed to load: ' || fail "cut at $cut not reported: $out"
  done
  # A relocation aimed far outside the image, and one whose address is wild.
  /usr/bin/python3 - "$plugins/Vede.dlt" "$tmp/bad" <<'PY'
import struct, sys
data = bytearray(open(sys.argv[1], "rb").read())
phoff, = struct.unpack_from("<Q", data, 32)
phnum, = struct.unpack_from("<H", data, 56)
dyn = [struct.unpack_from("<IIQQQQQQ", data, phoff + 56 * i) for i in range(phnum)]
dyn = [p for p in dyn if p[0] == 2][0]
tags = {}
for k in range(dyn[5] // 16):
    tag, val = struct.unpack_from("<qQ", data, dyn[2] + 16 * k)
    tags.setdefault(tag, val)
rela = tags[7]  # DT_RELA: the loaded image starts at file offset 0 here
for name, field in (("far", 0), ("wild", 16)):
    copy = bytearray(data)
    value, = struct.unpack_from("<Q", copy, rela + field)
    struct.pack_into("<Q", copy, rela + field, value ^ (1 << 40))
    open(sys.argv[2] + "/Vede-" + name + ".dlt", "wb").write(copy)
PY
  rm "$tmp/bad/Vede.dlt"
  out=$("$plughost" --no-default-plugins --plugins "$tmp/bad" list) || fail "list died on a bad relocation"
  grep -A1 '^Vede-far.dlt$' <<<"$out" | grep -q 'damaged ELF image: relocation 0 would write outside the image' ||
    fail "wild relocation not reported: $out"
  grep -A1 '^Vede-wild.dlt$' <<<"$out" | grep -q 'damaged ELF image: relocation 0 points outside the image' ||
    fail "wild address not reported: $out"
  grep -q '^3 plug-in file(s), 2 failed to load' <<<"$out" || fail "wrong totals: $out"
  "$plughost" --plugins "$tmp/bad" render -q --width 8 --height 8 -o "$tmp/still.png" 2>"$tmp/err" ||
    fail "a damaged file stopped the render: $(cat "$tmp/err")"
  [[ -s $tmp/still.png ]] || fail "no picture"
  # A module's start-up complaint is made once, not again by the check that
  # first opens it in a child process.
  QUORLLIB_SIMD=bogus "$plughost" list >/dev/null 2>"$tmp/simd.err"
  [[ $(grep -c "QUORLLIB_SIMD=bogus is not one of" "$tmp/simd.err") == 1 ]] ||
    fail "the start-up complaint: $(cat "$tmp/simd.err")"
  ;;
references)
  ph scene new "$tmp/w.json" --class "Host Test Widget"
  # The widget's block (object 1) given a reference: blocks have none.
  /usr/bin/python3 - "$tmp/w.json" <<'PY'
import json, sys
doc = json.load(open(sys.argv[1]))
doc["objects"][1]["refs"] = [3]
json.dump(doc, open(sys.argv[1], "w"), indent=1)
PY
  cp "$tmp/w.json" "$tmp/w.orig"
  one_line_error "$tmp/w.json: objects[1].refs: a parameter block has no references, the file gives 1" \
    ph scene set "$tmp/w.json" --set Size=2
  cmp -s "$tmp/w.json" "$tmp/w.orig" || fail "a refused scene was changed"
  ;;
inputs)
  one_line_error "cannot read /dev/zero: it is a character device, not a regular file" ph scene show /dev/zero
  mkfifo "$tmp/fifo"
  one_line_error "cannot read $tmp/fifo: it is a FIFO, not a regular file" timeout 60 "$plughost" scene show "$tmp/fifo"
  truncate -s 80M "$tmp/huge.json"
  one_line_error "cannot read $tmp/huge.json: it is 83886080 bytes, more than the limit of 67108864" \
    ph scene show "$tmp/huge.json"
  # A flat scene of 100,000 objects loads (in time linear in its size),
  # the last one's value with it.
  /usr/bin/python3 - "$tmp/flat.json" <<'PY'
import json, sys
n = 100000
objs = [{"index": i, "classId": ["0x5EC0AB01", "0x00000002"], "superClassId": "0x00000100", "refs": [None]}
        for i in range(n)]
objs[-1]["refs"] = [n]
objs.append({"index": n, "classId": ["0x00F00BA1", "0x00000001"], "superClassId": "0x00000082", "refs": [],
             "paramBlock": {"version": 1, "params": [{"id": 0, "type": "float", "animatable": True, "value": 0.25}]}})
json.dump({"format": "quorl-scene", "version": 1, "roots": list(range(n)), "objects": objs}, open(sys.argv[1], "w"))
PY
  ph scene show "$tmp/flat.json" >"$tmp/shown"
  head -1 "$tmp/shown" | grep -q ": 100000 root object(s)" || fail "flat scene: $(head -1 "$tmp/shown")"
  [[ $(grep -c "Strength (float) = 0.25" "$tmp/shown") == 1 ]] || fail "the last object's value was lost"
  ;;
concurrent)
  ph scene new "$tmp/w.json" --class "Host Test Widget"
  pids=()
  for i in $(seq 1 20); do
    ph scene set "$tmp/w.json" --key "Size@$i=$i" &
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || fail "an edit failed"; done
  keys=$(ph scene show "$tmp/w.json" | grep "^  Size (float) keys:" | tr ',' '\n' | grep -c "=")
  [[ $keys == 21 ]] || fail "edits lost: $keys keys of 21 kept"
  only_files "$tmp" w.json
  ;;
readonly | nospace)
  # A small file system of our own: a tmpfs, mounted here as root. Without
  # root, a folder without write permission stands in for a read-only one.
  dir=$tmp/fs
  mkdir "$dir"
  if [[ $(id -u) -eq 0 ]] && mount -t tmpfs -o size=256k tmpfs "$dir" 2>/dev/null; then
    mounted=$dir
  elif [[ $group == nospace || $(id -u) -eq 0 ]]; then
    echo "skipped ($group): mounting a small tmpfs needs root and the right to mount"
    exit 77
  fi
  ph scene new "$dir/w.json" --class "Host Test Widget"
  "$plughost" render -q --width 8 --height 8 -o "$dir/pic.png"
  cp "$dir/w.json" "$tmp/w.orig"
  cp "$dir/pic.png" "$tmp/pic.orig"
  if [[ $group == readonly ]]; then
    reason="Permission denied"
    if [[ -n $mounted ]]; then
      mount -o remount,ro "$mounted"
      reason="Read-only file system"
    else
      chmod a-w "$dir"
    fi
    one_line_error "cannot save $dir/w.json: $reason" ph scene set "$dir/w.json" --set Size=2
    one_line_error "cannot write $dir/pic.png: " "$plughost" render -q -o "$dir/pic.png"
    grep -q "$reason" "$tmp/err" || fail "render does not say why: $(cat "$tmp/err")"
    [[ -n $mounted ]] || chmod u+w "$dir"
  else
    # Fill it all but a few kilobytes: the save runs out of space half-way.
    dd if=/dev/zero of="$dir/filler" bs=1k count=$(($(df -k --output=avail "$dir" | tail -1) - 2)) 2>/dev/null
    one_line_error "cannot write $dir/pic.png: No space left on device" \
      "$plughost" render -q --width 512 --height 512 -o "$dir/pic.png"
    one_line_error "cannot save $dir/w.json: No space left on device" \
      ph scene set "$dir/w.json" --set Size=2 --set "Part.Strength=0.123456789" --key "Size@5=3" --key "Size@7=4"
    rm "$dir/filler"
  fi
  cmp -s "$dir/w.json" "$tmp/w.orig" || fail "the scene was changed"
  cmp -s "$dir/pic.png" "$tmp/pic.orig" || fail "the picture was changed"
  only_files "$dir" w.json pic.png
  ;;
names)
  # Names from a file reach the terminal escaped, in a listing and in an error.
  "$plughost" scene new "$tmp/c.json" --class Checker
  "$plughost" scene rename "$tmp/c.json" $'a\nb\e[2J\a\u0085\\'
  want='Checker "a\nb\x1B[2J\x07\x85\\"'
  "$plughost" scene show "$tmp/c.json" | grep -qxF "$want  class 0x00000200, 0x00000000" ||
    fail "scene show: $("$plughost" scene show "$tmp/c.json" | sed -n 2p)"
  if "$plughost" scene reset "$tmp/c.json" --map $'x\e]0;' 2>"$tmp/err"; then fail "a missing map was found"; fi
  grep -qF "no map 'x\x1B]0;' in" "$tmp/err" || fail "the name asked for: $(cat -A "$tmp/err")"
  grep -qxF "  $want" "$tmp/err" || fail "the list of maps: $(cat -A "$tmp/err")"
  ! grep -q $'[\x01-\x09\x0b-\x1f\x7f]' "$tmp/err" || fail "a control character reached the terminal"
  ;;
writer)
  # A chain of maps as long as the reader takes; a copy or instance that
  # makes it longer is refused by the writer and the file is kept.
  "$plughost" scene new "$tmp/one.json" --class Vede
  /usr/bin/python3 - "$tmp/one.json" "$tmp/chain.json" 126 <<'PY'
import json, sys
one, n = json.load(open(sys.argv[1])), int(sys.argv[3])
size, objs = len(one["objects"]), []
for k in range(n + 1):  # n chained maps, then one map on its own
    for o in one["objects"]:
        o = json.loads(json.dumps(o))
        o["index"] += k * size
        o["refs"] = [r + k * size if r is not None else None for r in o["refs"]]
        objs.append(o)
    if 0 < k < n:
        objs[(k - 1) * size]["refs"][3] = k * size
one["objects"], one["roots"] = objs, [0, n * size]
json.dump(one, open(sys.argv[2], "w"))
PY
  "$plughost" scene show "$tmp/chain.json" >/dev/null || fail "the longest chain does not load"
  cp "$tmp/chain.json" "$tmp/chain.orig"
  for verb in instance copy; do
    one_line_error "references would nest more than 128 objects deep" \
      "$plughost" scene $verb "$tmp/chain.json" --map "Vede" --into "Vede #2"
    cmp -s "$tmp/chain.json" "$tmp/chain.orig" || fail "$verb replaced the file"
  done
  only_files "$tmp" one.json chain.json chain.orig err
  ;;
mapverbs)
  # Every map verb holds the lock that scene set takes: none drops another's key.
  "$plughost" scene new "$tmp/c.json" --class Checker
  pids=()
  for i in $(seq 1 12); do
    "$plughost" scene set "$tmp/c.json" --key "U Tiling@$i=$i" &
    pids+=($!)
    case $((i % 4)) in
    0) "$plughost" scene rename "$tmp/c.json" "n$i" & ;;
    1) "$plughost" scene channel "$tmp/c.json" $((i % 16)) & ;;
    2) "$plughost" scene copy "$tmp/c.json" -o "$tmp/copy$i.json" & ;;
    3) "$plughost" scene reset "$tmp/c.json" --map nothing 2>/dev/null & ;;
    esac
    pids+=($!)
  done
  for p in "${pids[@]}"; do wait "$p" || true; done
  keys=$("$plughost" scene show "$tmp/c.json" | grep "^  U Tiling (float) keys:" | tr ',' '\n' | grep -c "=")
  [[ $keys == 13 ]] || fail "edits lost: $keys keys of 13 kept"
  ;;
nocluster)
  # A farm render with no cluster to take it fails in one line and leaves
  # no farm folder behind.
  mkdir "$tmp/bin" "$tmp/out"
  printf '#!/bin/sh\necho "sbatch: error: no controller" >&2\necho "sbatch: fatal: giving up" >&2\nexit 1\n' >"$tmp/bin/sbatch"
  chmod +x "$tmp/bin/sbatch"
  one_line_error "sbatch failed: sbatch: error: no controller; sbatch: fatal: giving up" \
    env PATH="$tmp/bin:$PATH" "$plughost" farm slurm --frames 1-2 -o "$tmp/out/d.#.png"
  [[ -z $(ls -A "$tmp/out") ]] || fail "left behind: $(ls -A "$tmp/out")"
  # A bad model is refused at submission (bad input), before any farm folder.
  printf 'glTF\002\000\000\000' >"$tmp/bad.glb"
  one_line_error "bad.glb" env PATH="$tmp/bin:$PATH" "$plughost" farm slurm --mesh "$tmp/bad.glb" -o "$tmp/out/m.png"
  rc=0
  env PATH="$tmp/bin:$PATH" "$plughost" farm slurm --mesh "$tmp/bad.glb" -o "$tmp/out/m.png" 2>/dev/null || rc=$?
  [[ $rc == 2 ]] || fail "a bad model at submission exited $rc, not 2"
  [[ -z $(ls -A "$tmp/out") ]] || fail "left behind: $(ls -A "$tmp/out")"
  # A task that failed on bad input (2) is not requeued; one that failed
  # while running (1) or crashed is, while it has retries.
  printf '#!/bin/sh\necho 42\n' >"$tmp/bin/sbatch"
  printf '#!/bin/sh\necho "$*" >>"%s/requeued"\n' "$tmp" >"$tmp/bin/scontrol"
  printf '#!/bin/sh\nexit "$FAKE_EXIT"\n' >"$tmp/bin/fake-plughost"
  chmod +x "$tmp/bin/sbatch" "$tmp/bin/scontrol" "$tmp/bin/fake-plughost"
  env PATH="$tmp/bin:$PATH" "$plughost" farm slurm --frames 1-2 --plughost "$tmp/bin/fake-plughost" \
    -o "$tmp/out/d.#.png" >/dev/null || fail "the farm render was not submitted"
  for status in 2 1 139 0; do
    rm -f "$tmp/requeued"
    got=0
    env PATH="$tmp/bin:$PATH" FAKE_EXIT=$status SLURM_ARRAY_JOB_ID=42 SLURM_ARRAY_TASK_ID=1 SLURM_RESTART_COUNT=0 \
      sh "$tmp/out/d.farm/task.sh" 2>"$tmp/err" || got=$?
    [[ $got == "$status" ]] || fail "the task exited $got, not $status"
    if [[ $status == 1 || $status == 139 ]]; then
      [[ $(cat "$tmp/requeued" 2>/dev/null) == "requeue 42_1" ]] || fail "exit $status was not requeued"
    else
      [[ ! -e $tmp/requeued ]] || fail "exit $status was requeued"
    fi
  done
  grep -q "^plughost farm: task 1 failed on bad input (exit 2); not requeued$" <(
    env PATH="$tmp/bin:$PATH" FAKE_EXIT=2 SLURM_ARRAY_TASK_ID=1 sh "$tmp/out/d.farm/task.sh" 2>&1
  ) || fail "no word that bad input is not retried"
  ;;
pieces)
  # Tile counts near the top of an int: one line each, not a crash.
  for cmd in "render -q --tile 1/2147483647 -o $tmp/t.png" "assemble -o $tmp/t.png --tiles 2147483647" \
    "farm check -o $tmp/t.png --frames 0 --tiles 2147483647" \
    "render -q --width 16384 --height 16384 --tile 2147483646/2147483647 -o $tmp/t.png"; do
    # shellcheck disable=SC2086 # the words of the command
    one_line_error "(one a pixel), not 2147483647" "$plughost" $cmd
  done
  # Checking a 16384 x 16384 still with no tiles there names them missing
  # within a memory cap far below the gigabyte the picture would take. (A
  # sanitizer's shadow memory needs no cap to be told apart.)
  cap="ulimit -v 400000;"
  if ldd "$plughost" | grep -q "lib[at]san"; then cap=; fi
  for cmd in "farm check -o $tmp/big.png --frames 0" "assemble -o $tmp/big.png"; do
    if out=$(bash -c "$cap \"\$@\"" - "$plughost" $cmd --width 16384 --height 16384 --tiles 16 2>&1); then
      fail "$cmd passed with no tiles"
    fi
    grep -q "16 of 16 tiles missing or broken" <<<"$out" || fail "$cmd under a memory cap: $out"
  done
  [[ -z $(ls -A "$tmp" | grep -v '^err$') ]] || fail "left behind: $(ls -A "$tmp")"
  # A picture another render left under the same name is not complete: a
  # piece renders it again, and the check does not certify it.
  ph render -q --frames 0-1 --width 16 --height 16 -o "$tmp/f.#.png"
  out=$(ph render -q --frames 0-1 --width 16 --height 16 --set Size=2 --chunk 1/1 -o "$tmp/f.#.png" 2>&1)
  grep -q "kept" <<<"$out" && fail "a picture of another render was kept: $out"
  out=$(ph render -q --frames 0-1 --width 16 --height 16 --set Size=2 --chunk 1/1 -o "$tmp/f.#.png" 2>&1)
  grep -q "f.1.png is complete; kept" <<<"$out" || fail "a picture of this render was not kept: $out"
  if out=$(ph farm check -o "$tmp/f.#.png" --frames 0-1 --width 16 --height 16 --fingerprint 0123 2>&1); then
    fail "farm check certified pictures of another render"
  fi
  grep -q "f.0.png: made by another render" <<<"$out" || fail "farm check message: $out"
  # The check holds a few rows of a picture, so a picture over the pixel
  # budget is still found complete (the budget is for the pictures maps read).
  ph --max-pixels 100 farm check -o "$tmp/f.#.png" --frames 0-1 --width 16 --height 16 >/dev/null ||
    fail "pictures over the pixel budget were not found complete"
  ;;
*) fail "unknown group" ;;
esac
echo "plughost hardening, $group: ok"
