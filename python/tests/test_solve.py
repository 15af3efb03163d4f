"""solve_inhomogeneity and solve_crack: the console program's numbers, the
grid's index convention, repeatability, errors, progress and interruption."""

import math
import os
import signal
import threading

import numpy as np
import pytest

import contribution as cs
from conftest import console_result, input_flags

# Two processes may measure different FFTW plans, which round each convolution
# differently (~1e-16 relative). BiCGSTAB carries that into its iterates:
# measured up to ~1e-15 of the largest entry for inhomogeneities and ~1e-9 for
# cracks (a worse conditioned operator). The bounds keep two orders of margin;
# a real difference (component order, kernel, one node more or less) is
# 1e-3 or larger.
INHOMOGENEITY_RTOL = 1e-12
CRACK_RTOL = 1e-7


def assert_close(actual, expected, rtol, what):
    expected = np.asarray(expected, dtype=float)
    scale = np.abs(expected).max()
    assert np.abs(np.asarray(actual) - expected).max() <= rtol * scale, what


@pytest.mark.parametrize("E1", [10.0, 0.2], ids=["stiff", "soft"])
def test_sphere_equals_console_program(tmp_path, E1):
    M = 12
    flags, _ = input_flags(["sphere", "--radius", 0.5, "--M", M, "--E1", E1], tmp_path)
    console = console_result(tmp_path)
    result = cs.solve_inhomogeneity(cs.shapes.sphere(M, radius=0.5), E0=1, n0=0.3, E1=E1, n1=0.3, precision="double")
    assert result.precision == "double"

    assert result.formulation == console["formulation"]
    assert result.shear_order == (("12", "13", "23") if E1 > 1 else ("23", "13", "12"))
    for name, ours in (("H_tensor", result.H), ("N_tensor", result.N), ("mean_field", result.mean_field)):
        assert_close(ours, console[name], INHOMOGENEITY_RTOL, name)
    assert result.conv_flag == console["conv_flag"] == 1
    assert result.symmetry_flag == console["symmetry_flag"]
    assert [c.iterations for c in result.load_cases] == [c["iterations"] for c in console["load_cases"]]
    assert all(c.converged and c.breakdown == "none" for c in result.load_cases)
    assert result.box == (tuple(console["box"]["offset"]), tuple(console["box"]["extent"]))
    assert result.M == M and result.h == console["h"]
    assert result.elapsed_seconds > 0


def test_mixed_precision_is_the_default_and_agrees_with_double():
    flags = cs.shapes.sphere(12, radius=0.5)
    mixed = cs.solve_inhomogeneity(flags, 1, 0.3, 10, 0.3, measure_plans=False)
    double = cs.solve_inhomogeneity(flags, 1, 0.3, 10, 0.3, measure_plans=False, precision="double")
    assert mixed.precision == "mixed" and double.precision == "double"
    assert_close(mixed.H, double.H, 2e-6, "H")
    with pytest.raises(ValueError, match="expected 'double' or 'mixed'"):
        cs.solve_inhomogeneity(flags, 1, 0.3, 10, 0.3, precision="single")


@pytest.mark.parametrize("kernel", ["exact", "specified"])
def test_penny_crack_equals_console_program(tmp_path, kernel):
    M = 16
    input_flags(["penny", "--radius", 0.5, "--M", M], tmp_path)
    console = console_result(tmp_path, kernel=kernel)
    result = cs.solve_crack(cs.shapes.penny(M, radius=0.5), E0=1, n0=0.3, kernel=kernel, precision="double")

    assert console["kernel"] == result.kernel == kernel
    for name, ours in (("H_tensor", result.H), ("N_tensor", result.N), ("max_opening", result.max_opening)):
        assert_close(ours, console[name], CRACK_RTOL, name)
    assert result.conv_flag == console["conv_flag"] == 1
    assert result.formulation == "crack" and result.shear_order == ("23", "13", "12")
    assert np.array_equal(result.H_standard, result.H)


def test_estimated_plans_repeat_bit_for_bit():
    sphere = cs.shapes.ellipsoid(10, axes=(0.7, 0.5, 0.4), angles=(10, 20, 30))
    crack = cs.shapes.ellipse(14, axes=(0.6, 0.3), angle=25)
    first = cs.solve_inhomogeneity(sphere, 1, 0.3, 0.3, 0.25, measure_plans=False)
    second = cs.solve_inhomogeneity(sphere, 1, 0.3, 0.3, 0.25, measure_plans=False)
    for name in ("H", "N", "mean_field"):
        assert np.array_equal(getattr(first, name), getattr(second, name)), name
    first = cs.solve_crack(crack, 1, 0.3, measure_plans=False)
    second = cs.solve_crack(crack, 1, 0.3, measure_plans=False)
    assert np.array_equal(first.H, second.H) and np.array_equal(first.max_opening, second.max_opening)


@pytest.mark.parametrize("E1", [5.0, 0.2], ids=["stiffness", "compliance"])
def test_quarter_turn_about_z_permutes_the_standard_order(E1):
    # The ellipsoid with semi-axes a, b, c along x, y, z and the one with b, a, c
    # are each other turned by 90 degrees about z; on the grid that is the
    # exchange of the first two flag indices. In the standard order the turn
    # exchanges 11 with 22 and 23 with 13, which pins both the [i, j, k]
    # convention and the reordering of either formulation.
    flags = cs.shapes.ellipsoid(12, axes=(0.7, 0.45, 0.3))
    turned = np.transpose(flags, (1, 0, 2))
    assert np.array_equal(turned, cs.shapes.ellipsoid(12, axes=(0.45, 0.7, 0.3)))
    # In double precision: the single-precision rounding of the mixed path
    # differs between the two orientations at ~1e-9.
    a = cs.solve_inhomogeneity(flags, 1, 0.3, E1, 0.3, measure_plans=False, precision="double")
    b = cs.solve_inhomogeneity(turned, 1, 0.3, E1, 0.3, measure_plans=False, precision="double")
    p = [1, 0, 2, 4, 3, 5]
    for name in ("H_standard", "N_standard", "mean_field_standard"):
        ta, tb = getattr(a, name), getattr(b, name)
        assert_close(tb, ta[np.ix_(p, p)], 1e-9, name)
        # The shapes differ, so the unturned tensor is not already symmetric under the exchange.
        assert np.abs(ta[np.ix_(p, p)] - ta).max() > 1e-3 * np.abs(ta).max(), name


def test_crack_opening_is_indexed_like_the_plane():
    M = 20
    flags = cs.shapes.ellipse(M, axes=(0.6, 0.3), center=(0.2, -0.3))
    result = cs.solve_crack(flags, 1, 0.3, keep_opening=True)
    N = M + 1
    assert result.opening.shape == (3, 3, N, N)
    normal = result.opening[2, 2]
    assert normal.max() == result.max_opening[2, 2]
    # The opening is symmetric about the ellipse's centre, so its centroid is the centre, x first.
    x = cs.node_coordinates(M)
    weight = normal / normal.sum()
    assert weight.sum(axis=1) @ x == pytest.approx(0.2, abs=1e-6)
    assert weight.sum(axis=0) @ x == pytest.approx(-0.3, abs=1e-6)
    # Nothing opens outside the box of the crack's nodes.
    (i0, j0, _), (ni, nj, _) = result.box
    outside = np.ones((N, N), bool)
    outside[i0:i0 + ni, j0:j0 + nj] = False
    assert np.all(result.opening[:, :, outside] == 0)
    assert cs.solve_crack(flags, 1, 0.3).opening is None


def test_flags_of_any_integer_type_or_layout_give_the_same_result():
    flags = cs.shapes.spheroid(10, axes=(0.6, 0.3), angles=(0, 30, 0))
    reference = cs.solve_inhomogeneity(flags, 1, 0.3, 0.5, 0.3, measure_plans=False)
    for variant in (flags.astype(np.int64), np.ascontiguousarray(flags).astype(np.uint8), flags.tolist()):
        again = cs.solve_inhomogeneity(variant, 1, 0.3, 0.5, 0.3, measure_plans=False)
        assert np.array_equal(again.H, reference.H)


ONES = np.ones((6, 6, 6), bool)
BAD_INPUTS = [
    (lambda: cs.solve_inhomogeneity(np.ones((6, 6), int), 1, 0.3, 2, 0.3), "must be a 3-D array"),
    (lambda: cs.solve_inhomogeneity(np.ones((6, 6, 5), int), 1, 0.3, 2, 0.3), "N nodes along every axis"),
    (lambda: cs.solve_inhomogeneity(np.ones((1, 1, 1), int), 1, 0.3, 2, 0.3), "found N = 1 nodes per axis"),
    (lambda: cs.solve_inhomogeneity(np.zeros((6, 6, 6), int), 1, 0.3, 2, 0.3), "the inhomogeneity is empty"),
    (lambda: cs.solve_inhomogeneity(ONES, 0, 0.3, 2, 0.3), "found E0 = 0, expected a Young's modulus > 0"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, -1, 0.3), "found E1 = -1"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.5, 2, 0.3), "found n0 = 0.5, expected a Poisson's ratio in (-1, 0.5)"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 2, -1), "found n1 = -1"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 2, 0.3, tol=-1), "found tol = -1"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 2, 0.3, threads=-2), "found threads = -2"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 2, 0.3, threads=100000), "found threads = 100000, expected 0"),
    (lambda: cs.solve_crack(np.ones((6, 6), int), 1, 0.3, threads=1025), "found threads = 1025"),
    (lambda: cs.solve_inhomogeneity(ONES, 1e-320, 0.3, 2, 0.3), "a subnormal number has lost its digits"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 1e-320, 0.3), "found E1 = 9.9998886718268301e-321, expected a Young"),
    (lambda: cs.solve_inhomogeneity(ONES, 1, 0.3, 1e308, 0.3), "expected a contrast between 1e-100 and 1e100"),
    (lambda: cs.solve_crack(np.ones((6, 6, 6), int), 1, 0.3), "must be a 2-D array"),
    (lambda: cs.solve_crack(np.zeros((6, 6), int), 1, 0.3), "the crack is empty"),
    (lambda: cs.solve_crack(np.ones((6, 6), int), 1, float("nan")), "found n0 = nan"),
    (lambda: cs.solve_crack(np.ones((6, 6), int), 1, 0.3, kernel="truncated"), "expected 'exact' or 'specified'"),
]


@pytest.mark.parametrize("call, message", BAD_INPUTS, ids=[m for _, m in BAD_INPUTS])
def test_bad_arguments_raise_value_error_with_the_message(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert message in str(caught.value)


@pytest.mark.parametrize("arguments", [dict(threads="4"), dict(threads=2.0), dict(threads=True), dict(E0="1"),
                                       dict(tol=None)], ids=str)
def test_arguments_of_the_wrong_type_raise_type_error(arguments):
    values = dict(E0=1, n0=0.3, E1=2, n1=0.3)
    values.update(arguments)
    with pytest.raises(TypeError):
        cs.solve_inhomogeneity(ONES, **values)


def test_float_flags_are_refused_as_a_type_error():
    with pytest.raises(TypeError, match="bool or integer"):
        cs.solve_inhomogeneity(np.ones((6, 6, 6)), 1, 0.3, 2, 0.3)


def test_a_problem_larger_than_the_memory_allowed_is_refused():
    with pytest.raises(cs.ResourceError):
        cs.solve_inhomogeneity(cs.shapes.sphere(16), 1, 0.3, 2, 0.3, machine_memory_bytes=1000)


def test_progress_reports_every_stage_and_matches_the_result():
    events = []
    result = cs.solve_inhomogeneity(cs.shapes.sphere(10), 1, 0.3, 3, 0.3, progress=events.append)
    assert events[0].kind == "kernel_ready"
    finished = [e for e in events if e.kind == "load_case_finished"]
    assert [e.load_case for e in finished] == [1, 2, 3, 4, 5, 6]
    assert [e.status for e in finished] == result.load_cases
    for lc, case in enumerate(result.load_cases, start=1):
        iterations = [e for e in events if e.kind == "iteration" and e.load_case == lc]
        assert [e.iteration for e in iterations] == list(range(1, case.iterations + 1))
        assert iterations[-1].error == case.error


def test_progress_returning_false_cancels_and_an_exception_propagates():
    def stop_at_third(event):
        return not (event.kind == "iteration" and event.iteration == 3)

    with pytest.raises(cs.Cancelled):
        cs.solve_crack(cs.shapes.penny(16), 1, 0.3, progress=stop_at_third)

    def fail(event):
        if event.kind == "iteration":
            raise ZeroDivisionError("from the callback")

    with pytest.raises(ZeroDivisionError, match="from the callback"):
        cs.solve_inhomogeneity(cs.shapes.sphere(10), 1, 0.3, 3, 0.3, progress=fail)

    def solve_again(event):
        cs.solve_crack(cs.shapes.penny(8), 1, 0.3)

    with pytest.raises(RuntimeError, match="cannot be started from a progress callback"):
        cs.solve_inhomogeneity(cs.shapes.sphere(8), 1, 0.3, 3, 0.3, progress=solve_again)
    # The module is usable afterwards.
    assert cs.solve_inhomogeneity(cs.shapes.sphere(8), 1, 0.3, 3, 0.3).converged


def test_sigint_during_a_solve_raises_keyboard_interrupt_within_one_iteration():
    # A timer thread sends SIGINT to the process once the solve has iterated;
    # the binding's callback sees the signal at the next iteration at the latest.
    iterations = []
    started = threading.Event()
    sent_after = []

    def progress(event):
        if event.kind == "iteration":
            iterations.append(event)
            if len(iterations) == 3:
                started.set()

    def interrupt():
        started.wait(timeout=30)
        sent_after.append(len(iterations))
        os.kill(os.getpid(), signal.SIGINT)

    previous = signal.signal(signal.SIGINT, signal.default_int_handler)
    timer = threading.Thread(target=interrupt)
    timer.start()
    try:
        with pytest.raises(KeyboardInterrupt):
            # About 60 iterations in all: the signal comes early in the solve.
            cs.solve_inhomogeneity(cs.shapes.sphere(20), 1, 0.3, 10, 0.3, tol=1e-10, progress=progress)
    finally:
        timer.join()
        signal.signal(signal.SIGINT, previous)
    assert sent_after and sent_after[0] >= 3
    assert len(iterations) - sent_after[0] <= 1


def test_solves_from_two_threads_side_by_side_agree_with_one_alone():
    flags = cs.shapes.sphere(10, radius=0.6)
    reference = cs.solve_inhomogeneity(flags, 1, 0.3, 4, 0.3, measure_plans=False, threads=1).H
    results = [None, None]

    def solve(slot):
        results[slot] = cs.solve_inhomogeneity(flags, 1, 0.3, 4, 0.3, measure_plans=False, threads=1).H

    threads = [threading.Thread(target=solve, args=(slot,)) for slot in range(2)]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    assert all(np.array_equal(r, reference) for r in results)


@pytest.mark.parametrize("limit, near", [(0.0, 1e-9), (math.inf, 1e9)])
def test_void_and_rigid_inclusions_are_exact_limits(limit, near):
    flags = cs.shapes.sphere(10, radius=0.5)
    exact = cs.solve_inhomogeneity(flags, 1, 0.3, limit, 0.3, measure_plans=False, mean_field="coefficient")
    close = cs.solve_inhomogeneity(flags, 1, 0.3, near, 0.3, measure_plans=False, formulation="bounded",
                                   mean_field="coefficient")
    assert exact.formulation == ("stiffness" if limit == 0 else "compliance")
    assert exact.formulation_rule == "specified" and exact.mean_field_estimate == "coefficient"
    assert np.all(np.isfinite(exact.H))
    np.testing.assert_allclose(exact.H, close.H, rtol=0, atol=1e-6 * abs(exact.H[0, 0]))
    assert max(c.iterations for c in exact.load_cases) <= 12


def test_unknown_contrast_options_raise_value_error():
    with pytest.raises(ValueError, match="formulation must be"):
        cs.solve_inhomogeneity(ONES, 1, 0.3, 2, 0.3, formulation="dual")
    with pytest.raises(ValueError, match="mean_field must be"):
        cs.solve_inhomogeneity(ONES, 1, 0.3, 2, 0.3, mean_field="average")
