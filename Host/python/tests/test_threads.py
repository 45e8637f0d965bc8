# The module's threads: the GIL is released while the render threads shade,
# and an edit from another Python thread waits for the evaluation.
import threading
import time

import numpy as np
import quorl


def test_other_python_threads_run_while_a_large_evaluation_runs():
    m = quorl.new_map('Vede')
    pts = np.random.default_rng(4).uniform(-50, 50, (400_000, 3)).astype(np.float32)
    stamps, stop = [], threading.Event()

    def count():
        while not stop.is_set():
            stamps.append(time.perf_counter())

    counter = threading.Thread(target=count)
    counter.start()
    try:
        while len(stamps) < 10:  # the counter runs before the evaluation starts
            time.sleep(0.001)
        start = time.perf_counter()
        m.color(pts, threads=1)
        end = time.perf_counter()
    finally:
        stop.set()
        counter.join()
    # Away from the ends, where the GIL changes hands around the call.
    inside = [s for s in stamps if start + (end - start) / 4 < s < end - (end - start) / 4]
    assert len(inside) > 100, f'{len(inside)} steps of the other thread in {end - start:.3f} s'


def test_an_edit_waits_for_the_evaluation_of_its_scene():
    m = quorl.new_map('Vede')
    pts = np.random.default_rng(5).uniform(-50, 50, (200_000, 3)).astype(np.float32)
    before = m.mono(pts)
    m['Size'] = 3
    after = m.mono(pts)
    m['Size'] = 10
    result = {}
    evaluation = threading.Thread(target=lambda: result.setdefault('mono', m.mono(pts, threads=1)))
    evaluation.start()
    m['Size'] = 3  # before the evaluation or after it, never during it
    evaluation.join()
    got = result['mono'].view(np.uint32)
    assert np.array_equal(got, before.view(np.uint32)) or np.array_equal(got, after.view(np.uint32))
