# The module's values against plughost sample on the same points, and its
# noise against the library's golden table, to the last bit.
import os

import numpy as np
import quorl
from conftest import bits, plughost_sample

HERE = os.path.dirname(__file__)
GOLDEN = os.path.join(HERE, '../../../MaxPlugins/Utilities/QuorlLib/tests/noise_golden.txt')


def random_points(n, seed):
    rng = np.random.default_rng(seed)
    return rng.uniform(-60, 60, (n, 3)).astype(np.float32)


def test_every_value_is_plughost_samples_at_two_times(animated):
    m, scene = animated
    pts = random_points(200, 1)
    for time in (0, 10, '1200t'):
        for what in ('mono', 'color', 'perturbed'):
            got = getattr(m, what)(pts, time=time, threads=0)
            want = plughost_sample(scene, pts, what, time)
            np.testing.assert_array_equal(bits(got.reshape(len(pts), -1)), bits(want), err_msg=f'{what} at {time}')
        # Bump with a normal of its own for each half of the points.
        normals = np.repeat(np.array([[0, 0, 1], [0.6, -0.48, 0.64]], np.float32), len(pts) // 2, axis=0)
        got = m.bump(pts, normals, time=time)
        for half, normal in ((slice(0, 100), normals[0]), (slice(100, 200), normals[-1])):
            want = plughost_sample(scene, pts[half], 'bump', time, normal)
            np.testing.assert_array_equal(bits(got[half]), bits(want), err_msg=f'bump at {time}')


def test_float64_points_are_rounded_as_the_hosts_point_and_threads_change_nothing(animated):
    m, _ = animated
    pts = np.random.default_rng(2).uniform(-1e4, 1e4, (5000, 3))
    want = m.color(pts.astype(np.float32), time=10, threads=1)
    np.testing.assert_array_equal(bits(m.color(pts, time=10)), bits(want))
    np.testing.assert_array_equal(bits(m.color(pts.astype(np.float32), time=10, threads=3)), bits(want))


def test_noise_matches_the_librarys_golden_table():
    rows = [line.split() for line in open(GOLDEN) if line.strip() and not line.startswith('#')]
    for kind, dims in (('q2', 2), ('q3', 3), ('q4', 4)):
        table = np.array([[int(v, 16) for v in r[1:]] for r in rows if r[0] == kind], np.uint32)
        assert len(table) > 0
        coords = table[:, :4].view(np.float32)
        if dims == 4:
            got = quorl.noise(coords[:, :3], coords[:, 3])
        else:
            got = quorl.noise(coords[:, :dims])
        np.testing.assert_array_equal(bits(got), table[:, 4], err_msg=kind)
