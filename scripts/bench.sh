#!/usr/bin/env bash
# Builds the release preset and runs the benchmarks for each noise path the
# library has (the reference "scalar" and each instruction set this processor
# runs), side by side. A path is chosen when the library loads, so each path
# runs in a process of its own; five rounds take the paths in turn, so that a
# change in the machine's load weighs on all of them alike. Prints, for each
# path, the median over the rounds of each benchmark, and of the ratios that
# matter, each taken inside one process: the noise to the peers' 3D noise, the
# texture sample to one stb noise call, the render on every core to the
# render on one thread, the render's pixels evaluated as points to the
# render. The Python module's call on those million points runs in each round
# beside them (bench/quorl_python_bench.py), against the render per pixel on
# as many threads. Then how soon the editor's sample slot shows an edit (the
# median of 50). Then a bake's throughput against the flat render's, pictures
# written against their shading alone (bench/picture_bench.sh), and a
# million-triangle model's render against the flat render, with its import
# and ray-tree build times.
#
#   scripts/bench.sh [benchmark options, e.g. --benchmark_filter=qnoise]
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
rounds=5

# The library names its paths and the one it picks in its note to the host.
note=$(env -u QUORLLIB_SIMD build/release/bin/plughost list | sed -n 's/^  note: \(noise path .*\)$/\1/p' | head -n 1)
paths=$(sed -n 's/.*QUORLLIB_SIMD=\([a-z0-9|]*\) overrides.*/\1/p' <<<"$note" | tr '|' ' ')
[[ -n $paths ]] || { echo "bench.sh: QuorlLib.dlu names no noise paths (note: '$note')" >&2; exit 1; }
echo "QuorlLib.dlu: $note"
for round in $(seq "$rounds"); do
  for path in $paths; do
    QUORLLIB_SIMD=$path build/release/bin/quorl_bench --benchmark_out="$out/$path.$round.json" \
      --benchmark_out_format=json "$@" >/dev/null 2>"$out/err" || { cat "$out/err" >&2; exit 1; }
    QUORLLIB_SIMD=$path PYTHONPATH=build/release/python /usr/bin/python3 bench/quorl_python_bench.py \
      >"$out/$path.$round.python.json" 2>"$out/err" || { cat "$out/err" >&2; exit 1; }
  done
done

/usr/bin/python3 - "$out" "$rounds" $paths <<'PY'
import json, os, statistics, sys
folder, rounds, paths = sys.argv[1], int(sys.argv[2]), sys.argv[3:]

def ns(b):
    # One thread's CPU time is steadier than wall time on a shared machine;
    # renders on several threads are timed by the wall clock.
    scale = {'ns': 1, 'us': 1e3, 'ms': 1e6, 's': 1e9}[b['time_unit']]
    return (b['real_time'] if b['run_name'].startswith(('render', 'points')) else b['cpu_time']) * scale

runs, python, names, context = {}, {}, [], {}
for p in paths:
    runs[p], python[p] = [], []
    for r in range(1, rounds + 1):
        data = json.load(open(os.path.join(folder, f'{p}.{r}.json')))
        # A path this processor cannot run falls back to another: leave it out.
        if f'noise path {p} ' not in data['context'].get('QuorlLib.dlu', ''):
            break
        runs[p].append({b['run_name']: b for b in data['benchmarks']})
        python[p].append(json.load(open(os.path.join(folder, f'{p}.{r}.python.json'))))
        names = names or [b['run_name'] for b in data['benchmarks']]
        context = data['context']
    if not runs[p]:
        print(f'(path {p} not run here)')
        del runs[p]

def median(p, f):
    values = [f(run) for run in runs[p]]
    values = [v for v in values if v is not None]
    return statistics.median(values) if values else None

def shown(t):
    return '-' if t is None else f'{t / 1e6:.1f} ms' if t > 1e5 else f'{t:.1f} ns'

width = max((len(n) for n in names), default=10) + 2
print(f'\nmedians of {rounds} rounds (CPU time; renders and points wall time)')
print(f"{'benchmark':{width}}" + ''.join(f'{p:>12}' for p in runs))
for n in names:
    print(f'{n:{width}}' + ''.join(f'{shown(median(p, lambda run: ns(run[n]) if n in run else None)):>12}' for p in runs))

ratios = []
for n in names:
    if n.startswith('qnoise'):
        ratios.append((n, 'stb_perlin_noise3 chain' if n.endswith('chain') else 'stb_perlin_noise3'))
for peer in ('libnoise ValueCoherentNoise3D', 'libnoise GradientCoherentNoise3D'):
    ratios += [('qnoise3', peer), ('qnoise3 chain', peer + ' chain')]
ratios += [(n, 'stb_perlin_noise3') for n in ('EvalMono', 'EvalMono animated', 'PerturbHitPoint')]
ratios.append(('render 1024x1024/1/real_time', 'render 1024x1024/0/real_time'))
ratios += [(f'points 1M color/{t}/real_time', f'render 1024x1024/{t}/real_time') for t in (1, 0)]

def label(a, b):
    if a.startswith('render'):
        return 'render 1 thread / all threads'
    if a.startswith('points'):
        return 'points / render, ' + ('1 thread' if '/1/' in a else 'all threads')
    return f'{a} / {b}'

rwidth = max(len(label(a, b)) for a, b in ratios) + 2
print(f'\nratios inside each run, median of {rounds} (time over time)')
print(f"{'':{rwidth}}" + ''.join(f'{p:>12}' for p in runs))
for a, b in ratios:
    cells = [median(p, lambda run: ns(run[a]) / ns(run[b]) if a in run and b in run else None) for p in runs]
    print(f'{label(a, b):{rwidth}}' + ''.join(f"{'-' if c is None else f'{c:.2f}x':>12}" for c in cells))
# The module's call against the render in the same round, per point and per
# pixel, on one thread and on every core.
print(f'\nthe Python module: m.color on {python[next(iter(runs))][0]["points"]} points, median of {rounds} rounds')
print(f"{'':{rwidth}}" + ''.join(f'{p:>12}' for p in runs))
for t, name in ((1, 'one thread'), (0, 'every core')):
    render = f'render 1024x1024/{t}/real_time'
    per_pixel = lambda run: ns(run[render]) / (1024 * 1024) if render in run else None
    rows = [(f'ns a point, {name}', lambda p, i: python[p][i][f'ns_per_point/{t}']),
            (f'render ns a pixel, {name}', lambda p, i: per_pixel(runs[p][i])),
            (f'point / pixel, {name}', lambda p, i: python[p][i][f'ns_per_point/{t}'] / per_pixel(runs[p][i])
             if per_pixel(runs[p][i]) else None)]
    for label_, f in rows:
        cells = []
        for p in runs:
            values = [v for v in (f(p, i) for i in range(len(runs[p]))) if v is not None]
            cells.append(statistics.median(values) if values else None)
        unit = 'x' if label_.startswith('point') else ''
        print(f'{label_:{rwidth}}' + ''.join(f"{'-' if c is None else f'{c:.2f}{unit}':>12}" for c in cells))
threads = next((f"{run[n]['threads']:.0f}" for rs in runs.values() for run in rs for n in run
                if n.startswith('render 1024x1024/0')), '?')
print(f"\nmachine: {context.get('num_cpus')} cpus at {context.get('mhz_per_cpu')} MHz; the render on all threads "
      f"used {threads}; load average {os.getloadavg()[0]:.1f} at the end")
PY
echo
node bench/editor_latency.mjs build/release/bin/plughost
node bench/editor_page_latency.mjs build/release/bin/plughost
echo
bench/bake_bench.sh build/release
echo
bench/picture_bench.sh build/release
echo
bench/mesh_bench.sh build/release
