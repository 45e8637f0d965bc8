#!/usr/bin/env bash
# Builds the release preset and runs the benchmarks once for each noise path
# the library has (the reference "scalar" and each instruction set this
# processor runs), five repetitions each. Prints the medians side by side and,
# for each path, the ratios that matter measured in that same run: each noise
# to the peers' 3D noise, the texture sample to one stb noise call, and the
# render on every core to the render on one thread.
#
#   scripts/bench.sh [benchmark options, e.g. --benchmark_filter=qnoise]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT

# The library names its paths and the one it picks in its note to the host.
note=$(env -u QUORLLIB_SIMD build/release/bin/plughost list | sed -n 's/^  note: \(noise path .*\)$/\1/p' | head -n 1)
paths=$(sed -n 's/.*QUORLLIB_SIMD=\([a-z0-9|]*\) overrides.*/\1/p' <<<"$note" | tr '|' ' ')
[[ -n $paths ]] || { echo "bench.sh: QuorlLib.dlu names no noise paths (note: '$note')" >&2; exit 1; }
echo "QuorlLib.dlu: $note"
for path in $paths; do
  # Repetitions in random order, so that a change in the machine's load
  # weighs on every benchmark of the run alike.
  QUORLLIB_SIMD=$path build/release/bin/quorl_bench --benchmark_repetitions=5 \
    --benchmark_enable_random_interleaving=true --benchmark_report_aggregates_only=true \
    --benchmark_out="$out/$path.json" --benchmark_out_format=json \
    "$@" >/dev/null 2>"$out/$path.err" || { cat "$out/$path.err" >&2; exit 1; }
done

python3 - "$out" $paths <<'PY'
import json, os, sys
folder, paths = sys.argv[1], sys.argv[2:]
runs = {}
for p in paths:
    data = json.load(open(os.path.join(folder, p + '.json')))
    # A path this processor cannot run falls back to another: leave it out.
    if f'noise path {p} ' not in data['context'].get('QuorlLib.dlu', ''):
        print(f'(path {p} not run here)')
        continue
    medians = [b for b in data['benchmarks'] if b.get('aggregate_name') == 'median']
    # In the order the program lists them (the repetitions ran shuffled).
    medians.sort(key=lambda b: (b['family_index'], b['per_family_instance_index']))
    runs[p] = ({b['run_name']: b for b in medians}, data['context'])

def ns(b):
    # One thread's CPU time is steadier than wall time on a shared machine;
    # renders on several threads are timed by the wall clock.
    scale = {'ns': 1, 'us': 1e3, 'ms': 1e6, 's': 1e9}[b['time_unit']]
    return (b['real_time'] if b['run_name'].startswith('render') else b['cpu_time']) * scale

def shown(t):
    return f'{t / 1e6:.1f} ms' if t > 1e5 else f'{t:.1f} ns'

names = list(next(iter(runs.values()))[0]) if runs else []
width = max(len(n) for n in names) + 2 if names else 10
print(f"\nmedians of 5 (CPU time; renders wall time)")
print(f"{'benchmark':{width}}" + ''.join(f'{p:>12}' for p in runs))
for n in names:
    print(f'{n:{width}}' + ''.join(f"{shown(ns(m[n])) if n in m else '-':>12}" for m, _ in runs.values()))

# Ratios inside each run.
ratios = []
for n in names:
    if n.startswith('qnoise'):
        peer = 'stb_perlin_noise3 chain' if n.endswith('chain') else 'stb_perlin_noise3'
        ratios.append((f'{n} / {peer}', n, peer))
for peer in ('libnoise ValueCoherentNoise3D', 'libnoise GradientCoherentNoise3D'):
    for suffix in ('', ' chain'):
        ratios.append((f'qnoise3{suffix} / {peer}{suffix}', 'qnoise3' + suffix, peer + suffix))
for n in ('EvalMono', 'EvalMono animated', 'PerturbHitPoint'):
    ratios.append((f'{n} / stb_perlin_noise3', n, 'stb_perlin_noise3'))
ratios.append(('render 1 thread / all threads', 'render 1024x1024/1/real_time', 'render 1024x1024/0/real_time'))
rwidth = max(len(r[0]) for r in ratios) + 2
print(f"\nratios in the same run (time over time)")
print(f"{'':{rwidth}}" + ''.join(f'{p:>12}' for p in runs))
for label, a, b in ratios:
    cells = [f'{ns(m[a]) / ns(m[b]):.2f}x' if a in m and b in m else '-' for m, _ in runs.values()]
    print(f'{label:{rwidth}}' + ''.join(f'{c:>12}' for c in cells))
ctx = next(iter(runs.values()))[1] if runs else {}
threads = next((f"{m[n]['threads']:.0f}" for m, _ in runs.values() for n in m if n.startswith('render 1024x1024/0')), '?')
print(f"\nmachine: {ctx.get('num_cpus')} cpus at {ctx.get('mhz_per_cpu')} MHz; the render on all threads used {threads}; "
      f"load average {os.getloadavg()[0]:.1f} at the end")
PY
