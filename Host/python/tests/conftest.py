# What the quorl tests share: the build's plughost (PLUGHOST, set by ctest),
# its sample verb on points, and float32 bit patterns.
import os
import subprocess

import numpy as np
import pytest
import quorl


def bits(a):
    """The float32 bit patterns of an array, for comparisons to the last bit."""
    a = np.ascontiguousarray(a)
    assert a.dtype == np.float32, a.dtype
    return a.view(np.uint32)


def plughost_sample(scene, points, what, time=0, normal=None):
    """plughost sample on the scene file at float32 points: its values as float32, one row a point."""
    # Nine significant digits read back as the same float32.
    text = ''.join('%.9g %.9g %.9g\n' % tuple(float(c) for c in p) for p in points)
    args = [os.environ['PLUGHOST'], 'sample', str(scene), '--what', what, '--time', str(time)]
    if normal is not None:
        args += ['--normal', ','.join('%.9g' % c for c in normal)]
    out = subprocess.run(args, input=text, capture_output=True, text=True, check=True).stdout
    return np.array([[float(v) for v in line.split()] for line in out.splitlines()], dtype=np.float32)


@pytest.fixture
def animated(tmp_path):
    """A Vede with keys on its own block and on its perturbation's, saved; the map and its file."""
    m = quorl.new_map('Vede')
    m['Size'] = 4
    m.set_key('Size', 10, 2.5)
    m.set_key('Perturb.Primary Perturb Phase', '2400t', 3)
    m.set_key('Vede Color', 10, (0.9, 0.2, 0.1))
    m.set_key('Low', 10, 0.1)
    path = tmp_path / 'animated.json'
    m.scene.save(str(path))
    return m, path
