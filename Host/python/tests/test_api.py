# Shapes, dtypes, parameters, scenes and errors of the quorl module.
import errno
import os

import numpy as np
import pytest
import quorl
from conftest import bits


def test_shapes_and_dtypes():
    m = quorl.new_map('Vede')
    grid = np.random.default_rng(3).uniform(-50, 50, (4, 5, 3)).astype(np.float32)
    assert m.mono(grid).shape == (4, 5) and m.mono(grid).dtype == np.float32
    assert m.color(grid).shape == (4, 5, 4)
    assert m.bump(grid).shape == (4, 5, 3) and m.perturbed(grid).shape == (4, 5, 3)
    assert m.mono(np.zeros((0, 3), np.float32)).shape == (0,)
    assert quorl.noise(grid[..., :2]).shape == (4, 5)
    flat = m.mono(grid.reshape(-1, 3))
    # Any layout and byte order reads the same float32 values; whole numbers too.
    np.testing.assert_array_equal(bits(m.mono(grid[:, ::-1][:, ::-1])), bits(flat.reshape(4, 5)))
    np.testing.assert_array_equal(bits(m.mono(grid.astype('>f4')).ravel()), bits(flat))
    np.testing.assert_array_equal(bits(m.mono([[1, 2, 3]])), bits(m.mono(np.array([[1, 2, 3]], np.float32))))
    for bad in (np.zeros((4, 2), np.float32), np.zeros(5, np.float32), np.float32(1)):
        with pytest.raises(ValueError, match=r'points must have the shape \(N, 3\)'):
            m.mono(bad)
    for bad in (np.zeros((2, 3), complex), np.array([['a', 'b', 'c']]), np.zeros((2, 3), bool)):
        with pytest.raises(TypeError, match='points must be real numbers'):
            m.mono(bad)
    with pytest.raises(ValueError, match='normals must be one normal'):
        m.bump(grid, np.zeros((3, 3), np.float32))
    with pytest.raises(ValueError, match='phase must be one number'):
        quorl.noise(grid, np.zeros(3))
    with pytest.raises(ValueError, match='threads must be 0'):
        m.mono(grid, threads=-1)


def test_points_that_are_not_numbers_give_what_the_texture_gives():
    m = quorl.new_map('Vede')
    odd = np.array([[np.nan, 0, 0], [np.inf, -np.inf, 1], [3e38, -3e38, 1e-45], [1e300, 0, -1e300]])
    for what in ('mono', 'color', 'bump', 'perturbed'):
        every = getattr(m, what)(odd)
        alone = np.stack([getattr(m, what)(p[None])[0] for p in odd])
        np.testing.assert_array_equal(bits(every), bits(alone))
    assert quorl.noise(odd, np.array([np.nan, np.inf, 0, 1])).shape == (4,)


def test_parameters_by_plughosts_names_at_times():
    m = quorl.new_map('Vede')
    assert m.params()['Size'] == 'float' and m.params()['Vede Color'] == 'color'
    m['size'] = 0.1  # names compare as plughost compares them
    assert m['Size'] == float(np.float32(0.1))
    m['Vede Color'] = np.array([0.4, 0.25, 0.1], np.float32)
    assert m['Vede Color'] == tuple(float(v) for v in np.float32([0.4, 0.25, 0.1]))
    m['Map On'] = True
    assert m['Map On'] is True
    m.set_key('Size', 10, 3)
    m.set_key('Size', '3200t', 5)
    assert (m.value('Size', 0), m.value('Size', 10), m.value('Size', '3200t')) == (float(np.float32(0.1)), 3.0, 5.0)
    assert 3.0 < m.value('Size', 15) < 5.0
    with pytest.raises(quorl.UnknownNameError) as e:
        m['Sise'] = 1
    assert isinstance(e.value, KeyError) and str(e.value).startswith("unknown parameter 'Sise'. The parameters are:")
    for bad, message in ((np.nan, "Size: 'nan' is not a number"), ('abc', "Size: 'abc' is not a number"),
                         (1e39, r"Size: '1e\+39' is out of range")):
        with pytest.raises(ValueError, match=message):
            m['Size'] = bad
    with pytest.raises(TypeError, match='a parameter value is'):
        m['Size'] = object()
    with pytest.raises(ValueError, match="bad time '1.5'"):
        m.value('Size', '1.5')
    with pytest.raises(TypeError, match='a time is a whole frame number'):
        m.value('Size', 1.5)
    with pytest.raises(quorl.UnknownNameError, match="no texture map class 'Nope'"):
        quorl.new_map('Nope')
    with pytest.raises(ValueError, match='a perturbed point needs a map with'):
        quorl.new_map('Checker').perturbed(np.zeros((1, 3)))
    assert 'Vede' in [c.name for c in quorl.classes()]
    assert all(f.loaded for f in quorl.plugin_files())


def test_scenes_save_whole_and_load_or_refuse(tmp_path, animated):
    m, path = animated
    again = quorl.open_scene(str(path)).map()
    assert again.value('Size', 10) == 2.5 and again.class_name == 'Vede'
    with pytest.raises(quorl.UnknownNameError, match="no map 'Nope'"):
        again.scene.map('Nope')
    with pytest.raises(FileNotFoundError) as e:
        quorl.open_scene(str(tmp_path / 'missing.json'))
    assert e.value.errno == errno.ENOENT and 'missing.json' in e.value.strerror
    with pytest.raises(IsADirectoryError):
        quorl.open_scene(str(tmp_path))
    corrupt = tmp_path / 'corrupt.json'
    corrupt.write_text('{"format": "quorl-scene", "version": 2, "objects": [')
    with pytest.raises(ValueError, match='corrupt.json'):
        quorl.open_scene(str(corrupt))
    with pytest.raises(OSError):
        m.scene.save(str(tmp_path / 'no-folder' / 'a.json'))
    with pytest.raises(OSError):
        m.scene.save(str(tmp_path))
    assert sorted(os.listdir(tmp_path)) == ['animated.json', 'corrupt.json']


def test_bakes_refuse_what_they_cannot_bake_with_the_hosts_words():
    models = os.environ['GEOMETRY_TEST_MODELS']
    m = quorl.new_map('Vede')
    with pytest.raises(ValueError, match=r"nouv.obj: mesh 0 .* has no UVs"):
        m.bake(os.path.join(models, 'nouv.obj'))
    with pytest.raises(ValueError, match=r"truncated.glb"):
        m.bake(os.path.join(models, 'hostile', 'truncated.glb'))
    with pytest.raises(FileNotFoundError, match='no-such.glb'):
        m.bake(os.path.join(models, 'no-such.glb'))
    with pytest.raises(ValueError, match="unknown what 'height'"):
        m.bake(os.path.join(models, 'plane.obj'), what='height')


def test_renders_refuse_what_the_renderer_refuses():
    m = quorl.new_map('Vede')
    for kwargs, words in (({'view': 'torus'}, "unknown view 'torus'"), ({'channel': 'all'}, "needs pass_='data'"),
                          ({'pass_': 'beauty'}, "unknown pass 'beauty'"), ({'width': 0}, 'between 1 and 16384'),
                          ({'bump_amount': float('nan')}, 'finite'), ({'threads': -1}, 'threads must be 0')):
        with pytest.raises(ValueError, match=words):
            m.render(**kwargs)
    assert m.render(width=3, height=2, channel='bump', pass_='data').shape == (2, 3, 3)
