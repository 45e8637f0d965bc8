#!/usr/bin/python3
"""The Python module's evaluation: one call on the 1,048,576 pixel centres of
quorl_bench's 1024 x 1024 flat render (a new Vede with its defaults, colour),
on one thread and on every core, the median of five calls each. Prints JSON;
scripts/bench.sh runs it beside quorl_bench and sets the ratios to the render
per pixel. Needs the build's module on PYTHONPATH (build/release/python)."""
import json
import statistics
import time

import numpy as np
import quorl

SIDE = 1024
EXTENT = 100.0  # the view's width in object units, as the render's

m = quorl.new_map('Vede')
centres = ((np.arange(SIDE, dtype=np.float32) + 0.5) / SIDE * 2 - 1) * (EXTENT / 2)
x, y = np.meshgrid(centres, centres[::-1])
points = np.stack([x, y, np.zeros_like(x)], axis=-1).reshape(-1, 3)

result = {'points': len(points)}
for threads in (1, 0):
    m.color(points[:4096], threads=threads)  # the first Update and the pages of the result
    times = []
    for _ in range(5):
        start = time.perf_counter()
        m.color(points, threads=threads)
        times.append(time.perf_counter() - start)
    result[f'ns_per_point/{threads}'] = statistics.median(times) * 1e9 / len(points)
print(json.dumps(result))
