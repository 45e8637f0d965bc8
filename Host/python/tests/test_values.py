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


def test_a_bake_holds_the_maps_values_at_the_texels_object_points():
    # The test plane's UVs are (x + 1) / 2, (y + 1) / 2: texel (i, j) of a
    # 32-texel tile, row 0 at the top, shows the point worked out here exactly.
    models = os.environ['GEOMETRY_TEST_MODELS']
    m = quorl.new_map('Vede')
    m['Size'] = 0.25
    tiles = m.bake(os.path.join(models, 'plane.glb'), what='mono', size=32, threads=2)
    assert list(tiles) == [1001] and tiles[1001].shape == (32, 32) and tiles[1001].dtype == np.float32
    u = (np.arange(32, dtype=np.float32) + np.float32(0.5)) / np.float32(32)
    x, y = np.meshgrid(2 * u - 1, 2 * (1 - u) - 1)
    pts = np.stack([x, y, np.zeros_like(x)], axis=-1).astype(np.float32)
    np.testing.assert_array_equal(bits(tiles[1001]), bits(m.mono(pts)))
    colour = m.bake(os.path.join(models, 'sphere.glb'), uv=2, size=8, what='color')
    assert sorted(colour) == [1001, 1002, 1011, 1012] and colour[1012].shape == (8, 8, 4)


def test_a_data_render_holds_the_maps_values_at_its_pixel_centres(animated):
    # The flat view, 100 units wide, looks down at z = 0: pixel (i, j), row 0
    # at the top, shows the point worked out here in single precision.
    m, _ = animated
    w, h = 24, 16
    f = np.float32
    u = (np.arange(w, dtype=f) + f(0.5)) / f(w)
    v = f(1) - (np.arange(h, dtype=f) + f(0.5)) / f(h)
    sx = (u * f(2) - f(1)) * f(50)
    sy = (v * f(2) - f(1)) * f(50) * (f(h) / f(w))
    pts = np.stack([np.tile(sx, h), np.repeat(sy, w), np.zeros(w * h, f)], axis=1)
    layers = m.render(channel='all', pass_='data', width=w, height=h, time=10, threads=3)
    assert sorted(layers) == ['bump', 'color', 'coverage']
    for name, want in (('coverage', m.mono(pts, time=10)), ('color', m.color(pts, time=10)),
                       ('bump', m.bump(pts, time=10))):
        got = layers[name]
        assert got.dtype == np.float32 and got.shape[:2] == (h, w)
        np.testing.assert_array_equal(bits(got.reshape(w * h, -1)), bits(want.reshape(w * h, -1)), err_msg=name)
    mono = m.render(channel='mono', pass_='data', width=w, height=h, time=10)
    np.testing.assert_array_equal(bits(mono), bits(layers['coverage']))
    # What the slot shows: opaque, the same on one thread, lit on the sphere
    # through the bump amount.
    shown = m.render(view='sphere', channel='bump', width=32, height=32, time=10)
    assert shown.shape == (32, 32, 4) and np.all(shown[..., 3] == 1)
    np.testing.assert_array_equal(bits(m.render(view='sphere', channel='bump', width=32, height=32, time=10,
                                                 threads=1)), bits(shown))
    flat = m.render(view='sphere', channel='bump', width=32, height=32, time=10, bump_amount=0)
    assert np.abs(flat - shown).max() > 0.01
