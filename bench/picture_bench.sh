#!/usr/bin/env bash
# Pictures written beside their shading (bench/picture_bench.cpp), in five
# rounds; prints the medians of each benchmark and of the ratios that
# matter, each taken inside one round: a PNG render on two threads against
# one, the writers' share of a two-thread render's wall time (the render
# written against the same render shaded only), and the default PNG's bytes
# and time a frame against the writer before the streaming one; and, for
# PNG 16 and float OpenEXR, the same without deflate. The shares
# are given in wall time and, steadier on a busy machine, in CPU time.
#   bench/picture_bench.sh BUILD_FOLDER [benchmark options]
set -euo pipefail
build=$1
shift
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
rounds=5
for round in $(seq "$rounds"); do
  "$build/bin/picture_bench" --benchmark_out="$out/$round.json" --benchmark_out_format=json "$@" >/dev/null 2>"$out/err" ||
    { cat "$out/err" >&2; exit 1; }
done
/usr/bin/python3 - "$out" "$rounds" <<'PY'
import json, os, statistics, sys
folder, rounds = sys.argv[1], int(sys.argv[2])
runs = []
for r in range(1, rounds + 1):
    data = json.load(open(os.path.join(folder, f"{r}.json")))
    runs.append({b["run_name"].removesuffix("/real_time").removesuffix("/process_time"): b for b in data["benchmarks"]})
unit = {"ns": 1e-6, "us": 1e-3, "ms": 1, "s": 1e3}
ms = lambda b: b["real_time"] * unit[b["time_unit"]]
# The process's CPU time, every thread's: the writer's cost even where a busy
# machine blurs the wall time.
cpu_ms = lambda b: b["cpu_time"] * unit[b["time_unit"]]
def median(f):
    values = []
    for run in runs:
        try:
            values.append(f(run))
        except KeyError:  # a benchmark left out by a filter
            pass
    return statistics.median(values) if values else float("nan")

print(f"picture writing, 1024x1024, medians of {rounds} rounds (wall time)")
for name in runs[0]:
    bytes_ = runs[0][name].get("bytes")
    frames = runs[0][name].get("frames", 1)
    t = median(lambda run, n=name: ms(run[n]) / frames)
    print(f"  {name:28}{t:9.1f} ms{' a frame' if frames > 1 else ''}" + (f"  {bytes_ / 1e3:8.1f} kB" if bytes_ else ""))
print(f"\nratios inside each round, median of {rounds}")
print(f"  png 8, 1 thread / 2 threads        {median(lambda run: ms(run['png 8/1']) / ms(run['png 8/2'])):.2f}x"
      f"   (goal: at least 1.8x)")
print(f"  shading alone, 1 thread / 2        {median(lambda run: ms(run['shade/1']) / ms(run['shade/2'])):.2f}x")
print(f"  png 8 before, 1 thread / 2         "
      f"{median(lambda run: ms(run['png 8 before/1']) / ms(run['png 8 before/2'])):.2f}x")
for name in ("png 8", "png 16", "exr half", "exr float", "png 8 small", "png 16 none", "exr float none"):
    share = median(lambda run, n=name: 1 - ms(run["shade/2"]) / ms(run[n + "/2"]))
    cpu = median(lambda run, n=name: 1 - cpu_ms(run["shade/2"]) / cpu_ms(run[n + "/2"]))
    print(f"  writing's share, {name + ', 2 threads':18}{100 * share:6.1f} %   (goal: at most 15 %)"
          f"   of the CPU time {100 * cpu:5.1f} %")
before, after = "png 8 before/2", "png 8/2"
print(f"  png 8 before / after, a picture   {median(lambda run: ms(run[before]) / ms(run[after])):.2f}x")
print(f"  png 8 before / after, a frame of a sequence "
      f"{median(lambda run: ms(run[before]) / (ms(run['png 8 sequence of 5/2']) / 5)):.2f}x")
print(f"  png 8 bytes, after / before       {median(lambda run: run[after]['bytes'] / run[before]['bytes']):.2f}x"
      f"   (small: {median(lambda run: run['png 8 small/2']['bytes'] / run[before]['bytes']):.2f}x)")
print(f"\nmachine: {os.cpu_count()} cpus; load average {os.getloadavg()[0]:.1f} at the end")
PY
