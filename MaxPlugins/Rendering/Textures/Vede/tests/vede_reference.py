#!/usr/bin/env python3
"""An independent model of the dirt texture's shading (coverage and bump),
written from its definition in plain Python, on top of the models of the
lattice noise and of the perturbation in the library's tests. Writes
vede_golden.txt, which the texture's tests compare with bit for bit.

Regenerate with:  python3 vede_reference.py > vede_golden.txt
"""
import math
import os
import random
import struct
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                '..', '..', '..', '..', 'Utilities', 'QuorlLib', 'tests'))
from noise_reference import bits, q3, single  # noqa: E402
from perturb_reference import hit_point  # noqa: E402

DEFAULT_SET = (single(1.0), single(0.0), single(1.0), single(0.0))  # high, low, lev, phase


def perturb_sets():
    # The texture's perturbation: primary size 0.5, frequency 2.5; secondary
    # size 0.5, frequency 15; the library's defaults for the rest.
    high, low, lev, phase = DEFAULT_SET
    return {1: (single(0.5), single(2.5), high, low, lev, phase),
            2: (single(0.5), single(15.0), high, low, lev, phase)}


def dirt_value(p, high, lo, alpha, map_mono):
    n = q3(*p)
    numerator = n * alpha * map_mono - lo
    width = high - lo
    if width == 0:
        width = 0.0001
    v = numerator / width
    if v < 0:
        return 0.0
    if v > 1:
        return 1.0
    if v >= 0:
        return single(v)
    return 0.0


def prelude(point, size, low, high, pert_on):
    lo = low if low < high else high
    s = single(0.0001) if size == 0 else size
    p = [single(c / s) for c in point]
    p = hit_point(0, pert_on, perturb_sets(), p)
    return p, lo


def mono(point, alpha, size, high, low, pert_on=1):
    p, lo = prelude(point, size, low, high, pert_on)
    return dirt_value(p, high, lo, alpha, 1.0)


# The host's vector arithmetic is single precision at every step.
def cross(a, b):
    return [single(single(a[1] * b[2]) - single(a[2] * b[1])),
            single(single(a[2] * b[0]) - single(a[0] * b[2])),
            single(single(a[0] * b[1]) - single(a[1] * b[0]))]


def normalize(a):
    l2 = single(single(single(a[0] * a[0]) + single(a[1] * a[1])) + single(a[2] * a[2]))
    length = single(math.sqrt(l2))
    if length == 0:
        return [0.0, 0.0, 0.0]
    return [single(c / length) for c in a]


def bump(point, normal, alpha, size, high, low, pert_on=1):
    p, lo = prelude(point, size, low, high, pert_on)
    n = list(normal)
    h = list(n)
    if n[0] != 0:
        h[1] = single(n[1] + 1.3)
    elif n[1] != 0:
        h[2] = single(n[2] + 3.7)
    elif n[2] != 0:
        h[0] = single(n[0] + 6.1)
    u = cross(n, h)
    v = cross(n, u)
    u, v = normalize(u), normalize(v)
    a = [single(p[i] + 0.001 * u[i]) for i in range(3)]
    b = [single(p[i] + 0.001 * v[i]) for i in range(3)]
    f0 = dirt_value(p, high, lo, alpha, 1.0)
    fa = dirt_value(a, high, lo, alpha, 1.0)
    fb = dirt_value(b, high, lo, alpha, 1.0)
    d1, d2 = f0 - fa, f0 - fb
    return [single(30.0 * (d1 * u[i] + d2 * v[i])) for i in range(3)]


def main():
    rng = random.Random(20261210)
    print('# kind | alpha size high low | x y z | nx ny nz | result (mono: 1 value, bump: 3)')
    print('# values as float bit patterns (hex)')
    settings = [
        (0.5, 10.0, 1.0, 0.0),    # the defaults
        (1.0, 4.0, 0.6, 0.3),
        (0.8, 0.0, 0.5, 0.5),     # size 0, collapsed band
        (1.0, 2.5, 2.0, -1.0),    # the dialog's limits
        (0.0, 10.0, 1.0, -0.5),   # no dirt, negative low
        (0.7, 1.0, 0.2, 0.9),     # low above high
    ]
    for i in range(300):
        alpha, size, high, low = (single(v) for v in settings[i % len(settings)])
        scale = [1.0, 20.0, 200.0][i % 3]
        point = [single(rng.uniform(-scale, scale)) for _ in range(3)]
        normal = [single(rng.uniform(-1.0, 1.0)) for _ in range(3)]
        if i % 7 == 0:
            normal[0] = 0.0
        if i % 11 == 0:
            normal = [0.0, 0.0, 0.0]
        head = ['%08x' % bits(v) for v in (alpha, size, high, low, *point, *normal)]
        if i % 2 == 0:
            print('mono', *head, '%08x' % bits(mono(point, alpha, size, high, low)))
        else:
            print('bump', *head, *('%08x' % bits(c) for c in bump(point, normal, alpha, size, high, low)))


if __name__ == '__main__':
    main()
