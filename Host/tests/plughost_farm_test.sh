#!/usr/bin/env bash
# plughost farm slurm on a real Slurm cluster of one node that the test starts
# itself (slurm_cluster.sh), as root.
#
#  - 24 frames in 6 chunks, the scene edited after submission: every frame
#    byte for byte a local render of the scene as submitted, all in the
#    manifest with their sizes and SHA-256;
#  - a 2048 x 2048 still in 16 tiles, one tile failing once and retried: the
#    assembled picture byte for byte a local render;
#  - a chunk that always fails: the check job fails, names the frames, and
#    writes no manifest;
#  - a second render into a folder that holds another's is refused, and one
#    whose farm folder was deleted renders the pictures again;
#  - a model's still in 4 tiles, the model named relative to the submitting
#    folder: the assembled picture byte for byte a local render, the model
#    frozen, the same pictures from an edited model refused;
#  - a bake of two UDIM tiles in 6 pieces, the model edited after
#    submission: texel for texel a local bake of the model as submitted, and
#    resumed when submitted again.
#
# The times of the 24-frame job and of the local render are printed (for
# information only: nothing here is timed as a test).
set -euo pipefail
plughost=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
samples=$2 # picture_samples: every sample of a picture, floats by their bits
here=$(cd "$(dirname "$0")" && pwd)
if [[ $(id -u) -ne 0 ]]; then
  echo "SKIP: the Slurm test starts munged, slurmctld and slurmd as root; run it as root"
  exit 77
fi
# shellcheck source=slurm_cluster.sh
source "$here/slurm_cluster.sh"
tmp=$(mktemp -d)
farm_pid=
trap '[[ -n $farm_pid ]] && kill "$farm_pid" 2>/dev/null; slurm_cluster_stop; rm -rf "$tmp"' EXIT
fail() {
  echo "FAIL: $*"
  exit 1
}
now() { date +%s.%N; }
since() { /usr/bin/python3 -c "import sys; print(f'{float(sys.argv[2]) - float(sys.argv[1]):.2f}')" "$1" "$(now)"; }

t0=$(now)
slurm_cluster_start "$tmp/cluster" || fail "no cluster"
echo "one-node cluster up in $(since "$t0") s"

farm() { "$plughost" farm slurm --poll 0.2 "$@"; }

# The manifest beside the pictures lists exactly the files given, each with
# its size and SHA-256.
check_manifest() {
  local manifest=$1
  shift
  [[ -f $manifest ]] || fail "no manifest $manifest"
  /usr/bin/python3 - "$manifest" "$@" <<'PY' || fail "manifest $manifest is wrong"
import hashlib, os, sys
manifest, files = sys.argv[1], sys.argv[2:]
rows = [l.rstrip('\n').split('\t') for l in open(manifest) if not l.startswith('#')]
assert [r[2] for r in rows] == [os.path.basename(f) for f in files], rows
for (size, sha, _), f in zip(rows, files):
    data = open(f, 'rb').read()
    assert int(size) == len(data) and sha == hashlib.sha256(data).hexdigest(), f
PY
}

scene=$tmp/dirt.json
"$plughost" scene new "$scene" --class Vede >/dev/null
"$plughost" scene set "$scene" --set "Vede Alpha=1" --set High=0.6 --set Low=0.35 --set Size=6 \
  --key "Perturb.Primary Perturb Phase@24=3" >/dev/null
cp "$scene" "$tmp/submitted.json"

# 24 frames in 6 chunks. The jobs are held until the scene has been edited.
seq=$tmp/seq
farm "$scene" --frames 1-24 --chunks 6 -o "$seq/dirt.####.png" --sbatch=--hold --wait >"$tmp/seq.out" 2>"$tmp/seq.err" &
farm_pid=$!
for _ in $(seq 600); do
  grep -q "check job" "$tmp/seq.out" && break
  sleep 0.1
done
read -r array check < <(sed -n 's/^render job \([0-9]*\) .*check job \([0-9]*\)$/\1 \2/p' "$tmp/seq.out")
[[ -n ${check:-} ]] || fail "no job ids printed: $(cat "$tmp/seq.out" "$tmp/seq.err")"
"$plughost" scene set "$scene" --set Size=2 >/dev/null
t0=$(now)
scontrol release "$array,$check"
wait "$farm_pid" || fail "24-frame job failed: $(cat "$tmp/seq.out" "$tmp/seq.err")"
farm_pid=
farm_time=$(since "$t0")
grep -q "6 of 6 tasks done" "$tmp/seq.err" || fail "no progress line: $(cat "$tmp/seq.err")"
mkdir "$tmp/local"
t0=$(now)
"$plughost" render "$tmp/submitted.json" --frames 1-24 -q -o "$tmp/local/dirt.####.png"
local_time=$(since "$t0")
frames=()
for f in $(seq -f %04g 1 24); do
  cmp -s "$seq/dirt.$f.png" "$tmp/local/dirt.$f.png" || fail "frame $f differs from a local render"
  frames+=("$seq/dirt.$f.png")
done
check_manifest "$seq/dirt.manifest.txt" "${frames[@]}"
"$plughost" render "$scene" --time 1 -q -o "$tmp/edited.png"
cmp -s "$tmp/edited.png" "$seq/dirt.0001.png" && fail "the edit after submission made no difference to test"
echo "24 frames of 256 x 256 in 6 chunks: $farm_time s on the cluster (release to manifest), $local_time s rendered here"

# Another render into the same folder is refused, and submits nothing.
if out=$(farm "$scene" --frames 1-24 --chunks 6 -o "$seq/dirt.####.png" 2>&1); then
  fail "a second render into $seq was accepted"
fi
grep -q "another render" <<<"$out" || fail "refusal does not say why: $out"

# A 2048 x 2048 still in 16 tiles; the first run of tile 5 fails.
cat >"$tmp/flaky-plughost" <<EOF
#!/bin/sh
case " \$* " in
*" --tile 5/16 "*) mkdir "$tmp/tile-5-failed" 2>/dev/null && { echo "injected failure" >&2; exit 1; } ;;
esac
exec "$plughost" "\$@"
EOF
chmod +x "$tmp/flaky-plughost"
still=$tmp/still
farm "$tmp/submitted.json" --width 2048 --height 2048 --tiles 16 -o "$still/big.png" \
  --plughost "$tmp/flaky-plughost" --wait >"$tmp/still.out" 2>&1 || fail "still failed: $(cat "$tmp/still.out")"
[[ -d $tmp/tile-5-failed ]] || fail "tile 5 never failed"
grep -q "requeued for retry 1 of 2" "$still/big.farm/logs/task-5.log" || fail "tile 5 was not requeued"
"$plughost" render "$tmp/submitted.json" --width 2048 --height 2048 -q -o "$tmp/big.png"
cmp -s "$tmp/big.png" "$still/big.png" || fail "the assembled still differs from a local render"
check_manifest "$still/big.manifest.txt" "$still/big.png"

# A chunk that always fails: frame 6 is a FIFO that nobody reads, which a
# render writes in place or not at all. (A folder in the way would be
# refused already when the job is submitted.)
bad=$tmp/bad
mkdir -p "$bad"
mkfifo "$bad/dirt.0006.png"
if farm "$tmp/submitted.json" --frames 1-8 --chunks 4 --width 32 --height 32 --retries 1 -o "$bad/dirt.####.png" \
  --wait >"$tmp/bad.out" 2>&1; then
  fail "a render with a frame missing reported success"
fi
grep -q "frames missing or broken: 6$" "$tmp/bad.out" || fail "the missing frame is not named: $(cat "$tmp/bad.out")"
grep -q "frames missing or broken: 6$" "$bad/dirt.farm/check.log" || fail "the check job does not name the frame"
[[ $(grep -c "requeued for retry" "$bad/dirt.farm/logs/task-3.log") == 1 ]] || fail "chunk 3 not retried once"
[[ -e $bad/dirt.manifest.txt ]] && fail "a manifest was written for an incomplete render"

# A model named from the submitting folder is frozen for the tasks: the
# model's still in 4 tiles is byte for byte a local render, and the same
# pictures from an edited model are refused.
models=$(dirname "$plughost")/../Host/geometry/models
cp "$models/cube.glb" "$tmp/cube.glb"
(cd "$tmp" && farm submitted.json --mesh cube.glb --width 96 --height 64 --tiles 4 -o "$tmp/model/cube.png" \
  --wait >"$tmp/model.out" 2>&1) || fail "the model's still failed: $(cat "$tmp/model.out")"
cmp -s "$tmp/cube.glb" "$tmp/model/cube.farm/model/cube.glb" || fail "the model was not frozen"
"$plughost" render "$tmp/submitted.json" --mesh "$tmp/cube.glb" --width 96 --height 64 -q -o "$tmp/cube.png"
cmp -s "$tmp/cube.png" "$tmp/model/cube.png" || fail "the model's assembled still differs from a local render"
cp "$models/sphere.glb" "$tmp/cube.glb"
rc=0
(cd "$tmp" && farm submitted.json --mesh cube.glb --width 96 --height 64 --tiles 4 -o "$tmp/model/cube.png" \
  >"$tmp/model-again.out" 2>&1) || rc=$?
[[ $rc == 2 ]] && grep -q "another render" "$tmp/model-again.out" ||
  fail "an edited model into the same pictures was taken (exit $rc): $(cat "$tmp/model-again.out")"

# A folder whose name holds one of Slurm's % patterns still gets its logs
# and pictures where it says.
pct=$tmp/take%u%%
mkdir -p "$pct"
farm "$tmp/submitted.json" --frames 1-2 --width 16 --height 16 -o "$pct/d.#.png" --wait >"$tmp/pct.out" 2>&1 ||
  fail "a render into $pct failed: $(cat "$tmp/pct.out")"
[[ -s $pct/d.1.png && -s $pct/d.2.png && -s $pct/d.manifest.txt && -s $pct/d.farm/check.log ]] ||
  fail "pictures or logs not where the folder says: $(ls -R "$tmp" | head -40)"

# With the farm folder deleted, another render into the same pictures does
# not take the first one's as its own: its tasks render them again, and the
# manifest certifies the new ones.
rm -rf "$pct/d.farm"
farm "$tmp/submitted.json" --frames 1-2 --width 16 --height 16 --set Size=2 -o "$pct/d.#.png" --wait \
  >"$tmp/again.out" 2>&1 || fail "the second render into $pct failed: $(cat "$tmp/again.out")"
"$plughost" render "$tmp/submitted.json" --frames 1-2 --width 16 --height 16 --set Size=2 -q -o "$tmp/again.#.png"
for f in 1 2; do cmp -s "$pct/d.$f.png" "$tmp/again.$f.png" || fail "frame $f of the first render was kept"; done
check_manifest "$pct/d.manifest.txt" "$pct/d.1.png" "$pct/d.2.png"

# A bake of two UDIM tiles in 3 tiles each, 6 tasks, held until the model
# has been edited: the check job joins the pieces of the model as submitted,
# texel for texel a local bake of it, and lists both UDIM tiles' files. The
# same bake submitted again keeps every piece; with the edited model it is
# refused.
cp "$models/udims.obj" "$tmp/two.obj"
cp "$tmp/two.obj" "$tmp/two-submitted.obj"
bake=("$tmp/two.obj" --size 48 --margin 6 --set size=0.5 -o "$tmp/baked/dirt.exr")
"$plughost" farm bake "${bake[@]}" --tiles 3 --sbatch=--hold >"$tmp/bake.out" 2>&1 ||
  fail "farm bake failed: $(cat "$tmp/bake.out")"
read -r array check < <(sed -n 's/^bake job \([0-9]*\) .*check job \([0-9]*\)$/\1 \2/p' "$tmp/bake.out")
[[ -n ${check:-} ]] || fail "no job ids printed: $(cat "$tmp/bake.out")"
grep -q "(6 pieces: 2 UDIM tile(s) x 3 tile(s))" "$tmp/bake.out" || fail "not 6 pieces: $(cat "$tmp/bake.out")"
sed -i 's/^v 4 -1 0$/v 4 -1 2/' "$tmp/two.obj"
scontrol release "$array,$check"
for _ in $(seq 1500); do
  [[ -z $(squeue --noheader --jobs="$array,$check" 2>/dev/null) ]] && break
  sleep 0.2
done
check_manifest "$tmp/baked/dirt.manifest.txt" "$tmp/baked/dirt.1001.exr" "$tmp/baked/dirt.1002.exr"
"$plughost" bake "$tmp/two-submitted.obj" --size 48 --margin 6 --set size=0.5 -q -o "$tmp/local-bake.exr"
"$plughost" bake "$tmp/two.obj" --size 48 --margin 6 --set size=0.5 -q -o "$tmp/edited-bake.exr"
for f in local-bake.1001 local-bake.1002 edited-bake.1002 baked/dirt.1001 baked/dirt.1002; do
  "$samples" "$tmp/$f.exr" >"$tmp/$f.samples" || fail "cannot read $f.exr"
done
for u in 1001 1002; do
  cmp -s "$tmp/local-bake.$u.samples" "$tmp/baked/dirt.$u.samples" ||
    fail "UDIM tile $u baked on the farm differs from a local bake"
done
cmp -s "$tmp/edited-bake.1002.samples" "$tmp/baked/dirt.1002.samples" &&
  fail "the model's edit made no difference to test"
rc=0
"$plughost" farm bake "${bake[@]}" --tiles 3 >"$tmp/again.out" 2>&1 || rc=$?
[[ $rc == 2 ]] && grep -q "another bake" "$tmp/again.out" || fail "the edited model was taken (exit $rc): $(cat "$tmp/again.out")"
cp "$tmp/two-submitted.obj" "$tmp/two.obj"
"$plughost" farm bake "${bake[@]}" --tiles 3 --poll 0.2 --wait >"$tmp/again.out" 2>&1 ||
  fail "the bake submitted again failed: $(cat "$tmp/again.out")"
grep -q "bake job [0-9]*: 6 of 6 tasks done" "$tmp/again.out" || fail "no progress line: $(cat "$tmp/again.out")"
for t in 1 2 3 4 5 6; do
  grep -q "is complete; kept" "$tmp/baked/dirt.farm/logs/task-$t.log" || fail "task $t of the bake did not resume"
done
echo "plughost farm slurm: ok"
