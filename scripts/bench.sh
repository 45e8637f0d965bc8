#!/usr/bin/env bash
# Builds the release preset and runs the benchmarks: five repetitions each,
# then a table of medians, and for the noise functions the ratios to the
# peers' 3D noise measured in the same run; then how soon the editor's
# sample slot shows an edit (median of 50).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/build.sh release >/dev/null
out=$(mktemp)
trap 'rm -f "$out"' EXIT
build/release/bin/quorl_bench --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json "$@" >/dev/null
python3 - "$out" <<'PY'
import json, sys
data = json.load(open(sys.argv[1]))
med = {b['run_name']: b for b in data['benchmarks'] if b.get('aggregate_name') == 'median'}
peers = ['BM_stb_perlin_noise3', 'BM_libnoise_GradientCoherentNoise3D', 'BM_libnoise_ValueCoherentNoise3D']
def ns(b):
    scale = {'ns': 1, 'us': 1e3, 'ms': 1e6, 's': 1e9}[b['time_unit']]
    return b['real_time'] * scale
print(f"{'benchmark (median of 5)':44} {'time':>12}  " + '  '.join(f"{'/' + p[3:][:18]:>19}" for p in peers))
for name, b in med.items():
    t = ns(b)
    shown = f"{t / 1e6:9.2f} ms" if t > 1e5 else f"{t:9.2f} ns"
    # Ratios only where the peers do the same work: one 3D noise value.
    comparable = name.startswith('BM_qnoise') or name in peers
    ratios = '  '.join(f"{t / ns(med[p]):19.2f}" if comparable and p in med else f"{'-':>19}" for p in peers)
    print(f"{name:44} {shown:>12}  {ratios}")
print(f"\nmachine: {data['context'].get('num_cpus')} cpus at {data['context'].get('mhz_per_cpu')} MHz; "
      "ratios are time over the peer's time (above 1: slower than the peer)")
PY
echo
node bench/editor_latency.mjs build/release/bin/plughost
