#!/usr/bin/env python3
"""An independent model of the lattice noise, written from its definition in
plain Python (doubles, with struct rounding to single precision), used to
write the golden table noise_golden.txt that noise_test.cpp compares with.

Regenerate with:  python3 noise_reference.py > noise_golden.txt
"""
import math
import random
import struct

N, W = 43, 13


def single(x):
    try:
        return struct.unpack('<f', struct.pack('<f', x))[0]
    except OverflowError:  # rounds past the largest float
        return math.copysign(math.inf, x)


def bits(x):
    return struct.unpack('<I', struct.pack('<f', x))[0]


def draws(count, seed=1999):
    state, out = seed, []
    for _ in range(count):
        state = (state * 214013 + 2531011) & 0xFFFFFFFF
        out.append((state >> 16) & 0x7FFF)
    return out


TOTAL = N * N * N * W
DRAWS = draws(TOTAL)


def lat(x, y, z, w):
    # filled backwards: row-major position p holds draw TOTAL - 1 - p
    return DRAWS[TOTAL - 1 - (((x * N + y) * N + z) * W + w)]


def reduce(v, m):
    s = single(abs(float(v) + 10000.0))
    if not math.isfinite(s):
        # no cell number: infinities and NaN read cell 0 with fraction 0
        return 0, 1, 0.0, 0.0
    n = int(s)
    f = single(s - n)
    f2, f3 = single(f * f), single(f * f * f)
    return n % m, (n % m + 1) % m, f, single(f2 + f2 + f2 - f3 - f3)


def lerp(a, b, t):
    return a + (b - a) * t


def q2(x, y):
    x0, x1, _, tx = reduce(x, N)
    y0, y1, _, ty = reduce(y, N)
    a = single(lerp(lat(x0, y0, 0, 0), lat(x0, y1, 0, 0), ty))
    b = lerp(lat(x1, y0, 0, 0), lat(x1, y1, 0, 0), ty)
    return single(lerp(a, b, tx) / 32767)


def q3(x, y, z):
    x0, x1, _, tx = reduce(x, N)
    y0, y1, _, ty = reduce(y, N)
    z0, z1, _, tz = reduce(z, N)
    a = single(lerp(lat(x0, y0, z0, 0), lat(x1, y0, z0, 0), tx))
    b = single(lerp(lat(x0, y0, z1, 0), lat(x1, y0, z1, 0), tx))
    c = single(lerp(lat(x0, y1, z1, 0), lat(x1, y1, z1, 0), tx))
    d = lerp(lat(x0, y1, z0, 0), lat(x1, y1, z0, 0), tx)
    e = single(lerp(a, d, ty))
    g = lerp(b, c, ty)
    return single(lerp(e, g, tz) / 32767)


def q4(x, y, z, w):
    if w == 0 or math.isnan(w):
        return q3(x, y, z)
    x0, x1, _, tx = reduce(x, N)
    y0, y1, _, ty = reduce(y, N)
    z0, z1, _, tz = reduce(z, N)
    w0, w1, fw, _ = reduce(w, W)

    def A(i, j, k):
        return single(lerp(lat(i, j, k, w0), lat(i, j, k, w1), fw))

    b00 = single(lerp(A(x0, y0, z0), A(x0, y0, z1), tz))
    b01 = single(lerp(A(x0, y1, z0), A(x0, y1, z1), tz))
    b10 = single(lerp(A(x1, y0, z0), A(x1, y0, z1), tz))
    b11 = single(lerp(A(x1, y1, z0), A(x1, y1, z1), tz))
    c0 = single(lerp(b00, b01, ty))
    c1 = lerp(b10, b11, ty)
    return single(lerp(c0, c1, tx) / 32767)


def main():
    rng = random.Random(20261208)
    print('# kind x y z w -> result, all as float bit patterns (hex)')
    for i in range(600):
        scale = [1.0, 10.0, 100.0, 20000.0][i % 4]
        x, y, z, w = (single(rng.uniform(-scale, scale)) for _ in range(4))
        kind = ['q2', 'q3', 'q4'][i % 3]
        r = {'q2': lambda: q2(x, y), 'q3': lambda: q3(x, y, z), 'q4': lambda: q4(x, y, z, w)}[kind]()
        print(kind, *('%08x' % bits(v) for v in (x, y, z, w, r)))


if __name__ == '__main__':
    main()
