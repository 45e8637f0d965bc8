#!/usr/bin/env python3
"""An independent model of the hit-point perturbation and of the host's
noise4, written from their definitions in plain Python (doubles, with struct
rounding to single precision), used to write perturb_golden.txt, which
perturb_test.cpp compares with bit for bit.

Regenerate with:  python3 perturb_reference.py > perturb_golden.txt
"""
import math
import random
import struct

from noise_reference import bits, q4, single

# ---- the host's noise4: value noise, period 256, quintic fade ---------------


def mix32(h):
    h ^= h >> 16
    h = (h * 0x7FEB352D) & 0xFFFFFFFF
    h ^= h >> 15
    h = (h * 0x846CA68B) & 0xFFFFFFFF
    h ^= h >> 16
    return h


def corner(i, j, k, l):
    return (mix32(i | (j << 8) | (k << 16) | (l << 24)) >> 8) * (2.0 / 16777215.0) - 1.0


def host_axis(v):
    x = math.fmod(v, 256.0) if math.isfinite(v) else 0.0
    if x < 0:
        x += 256.0
    c = math.floor(x)
    f = x - c
    c0 = int(c) & 255
    return c0, (c0 + 1) & 255, f * f * f * (f * (f * 6.0 - 15.0) + 10.0)


def lerp(a, b, t):
    return a + (b - a) * t


def noise4(x, y, z, w):
    X, Y, Z, Wc = host_axis(x), host_axis(y), host_axis(z), host_axis(w)

    def ax(j, k, l):
        return lerp(corner(X[0], j, k, l), corner(X[1], j, k, l), X[2])

    def ay(k, l):
        return lerp(ax(Y[0], k, l), ax(Y[1], k, l), Y[2])

    def az(l):
        return lerp(ay(Z[0], l), ay(Z[1], l), Z[2])

    v = lerp(az(Wc[0]), az(Wc[1]), Wc[2])
    return single(min(1.0, max(-1.0, v)))


# ---- the perturbation --------------------------------------------------------

STEP = single(1.085)
DIVISOR = single(2.17)
OFFSETS = {
    1: [None, (-6.2, 7.7, 11.1), (24.3, -53.6, 6.8)],
    2: [(52.8, 19.6, -4.3), (46.0, -58.1, 8.2), (-12.9, -23.8, 12.4)],
}


def unit_lattice(q, phase):
    return single((q4(q[0], q[1], q[2], phase) + 1) / 2)


def unit_host(q, phase):
    return single((noise4(q[0], q[1], q[2], phase) + 1) / 2)


def octaves(unit, q, phase, levels):
    if bits(levels) == bits(1.0):
        return unit(q, phase)
    if levels >= 121:  # the 121st scale would overflow: counted as 120
        levels = 120.0
    total, scale, rest = 0.0, 1.0, levels
    while rest >= 1:
        total = single(total + unit([single(scale * c) for c in q], phase) / scale)
        scale = single(scale + scale * STEP)
        rest = single(rest - 1)
    if rest > 0:
        total = single(total + unit([single(scale * c) for c in q], phase) * rest / scale)
        scale = single(scale / DIVISOR)
        total = single(total * ((1 - rest) * scale / (2 * scale - 1) + rest * 2 * scale / (4 * scale - 1)))
    else:
        scale = single(scale / DIVISOR)
        total = single(total * scale / (2 * scale - 1))
    return total


def hit_point(clamped, on, sets, p):
    """sets: {1: (size, freq, high, low, lev, phase), 2: ...}; p: [x, y, z]."""
    p = list(p)
    if on == 0:
        return p
    unit = unit_host if clamped else unit_lattice
    for which in (1, 2):
        size, freq, high, low, lev, phase = sets[which]
        if size == 0 or math.isnan(size):
            continue
        for axis in range(3):
            off = OFFSETS[which][axis]
            src = p if off is None else [single(p[i] + single(off[i])) for i in range(3)]
            q = [single(freq * c) for c in src]
            v = octaves(unit, q, phase, lev)
            if clamped:
                v = low if v < low else (high if v > high else v)
            p[axis] = single(p[axis] + v * size)
    return p


# ---- golden table ------------------------------------------------------------

DEFAULT = (2.0, 0.5, 1.0, 0.0, 1.0, 0.0)


def with_(base, **kw):
    names = ('size', 'freq', 'high', 'low', 'lev', 'phase')
    return tuple(single(kw.get(n, v)) for n, v in zip(names, base))


def cases():
    origin = (0.0, 0.0, 0.0)
    off = with_(DEFAULT, size=0.0)
    named = [
        ('defaults', 0, DEFAULT, DEFAULT, origin),
        ('primary-only', 0, DEFAULT, off, origin),
        ('vede', 0, with_(DEFAULT, size=0.5, freq=2.5), with_(DEFAULT, size=0.5, freq=15.0), origin),
        ('levels-2', 0, with_(DEFAULT, lev=2.0), off, origin),
        ('levels-2.5', 0, with_(DEFAULT, lev=2.5), off, origin),
        ('levels-3', 0, with_(DEFAULT, lev=3.0), off, (1.5, -2.25, 7.0)),
        ('levels-1.0000001', 0, with_(DEFAULT, lev=1.0000001), off, origin),
        ('levels-0.5', 0, with_(DEFAULT, lev=0.5), off, origin),
        ('levels-0', 0, with_(DEFAULT, lev=0.0), off, (0.25, 0.5, 0.75)),
        ('levels-negative', 0, with_(DEFAULT, lev=-3.0), off, (0.25, 0.5, 0.75)),
        ('levels-nan', 0, with_(DEFAULT, lev=math.nan), off, (0.25, 0.5, 0.75)),
        ('levels-40', 0, with_(DEFAULT, lev=40.0), DEFAULT, (3.0, -1.0, 2.0)),
        ('levels-120', 0, with_(DEFAULT, lev=120.0), DEFAULT, (3.0, -1.0, 2.0)),
        ('levels-120.5', 0, with_(DEFAULT, lev=120.5), DEFAULT, (3.0, -1.0, 2.0)),
        ('levels-1000', 0, with_(DEFAULT, lev=1000.0), DEFAULT, (3.0, -1.0, 2.0)),
        ('levels-inf', 0, with_(DEFAULT, lev=math.inf), DEFAULT, (3.0, -1.0, 2.0)),
        ('phase', 0, with_(DEFAULT, phase=0.75), with_(DEFAULT, phase=5.5, lev=2.25), (10.0, 20.0, -30.0)),
        ('freq-nan', 0, with_(DEFAULT, freq=math.nan), off, (0.25, 0.5, 0.75)),
        ('phase-nan', 0, with_(DEFAULT, phase=math.nan), off, (0.25, 0.5, 0.75)),
        ('far', 0, DEFAULT, DEFAULT, (-1.0e6, 3.0e9, 2.5e30)),
        ('infinite-point', 0, DEFAULT, DEFAULT, (math.inf, -math.inf, 1.0)),
        ('host-infinite-point', 1, DEFAULT, with_(DEFAULT, lev=2.5), (math.inf, -math.inf, 1.0)),
        ('host-defaults', 1, DEFAULT, DEFAULT, origin),
        ('host-levels-2.5', 1, with_(DEFAULT, lev=2.5, high=0.9, low=0.2), with_(DEFAULT, lev=3.0), (1.0, 2.0, 3.0)),
        ('host-levels-1000', 1, with_(DEFAULT, lev=1000.0), with_(DEFAULT, lev=121.0), (3.0, -1.0, 2.0)),
        ('host-levels-120', 1, with_(DEFAULT, lev=120.0), with_(DEFAULT, lev=120.0), (3.0, -1.0, 2.0)),
    ]
    for name, clamped, s1, s2, p in named:
        yield name, clamped, 1, s1, s2, tuple(single(c) for c in p)

    rng = random.Random(20261209)
    for i in range(200):
        def noise_set():
            lev = rng.choice([1.0, 2.0, 3.0, rng.uniform(1.0, 6.0), rng.uniform(0.0, 1.0)])
            phase = rng.choice([0.0, rng.uniform(0.0, 20.0)])
            low = rng.uniform(0.0, 1.0)
            return (single(rng.choice([0.0, rng.uniform(0.0, 4.0), -rng.uniform(0.0, 4.0)])),
                    single(rng.uniform(0.0, 20.0)), single(rng.uniform(low, 1.0)), single(low),
                    single(lev), single(phase))
        p = tuple(single(rng.uniform(-50.0, 50.0)) for _ in range(3))
        yield 'random', i % 2, 1, noise_set(), noise_set(), p


def main():
    print('# name clamped on | p1 size freq high low lev phase | p2 ... | x y z | result x y z')
    print('# values as float bit patterns (hex); clamped 1 is PPerturbHitPoint with the host noise')
    for name, clamped, on, s1, s2, p in cases():
        r = hit_point(clamped, on, {1: s1, 2: s2}, p)
        fields = [name, str(clamped), str(on)] + ['%08x' % bits(v) for v in (*s1, *s2, *p, *r)]
        print(' '.join(fields))


if __name__ == '__main__':
    main()
