"""solve_conductivity against the closed forms of steady conduction: a turned
ellipsoid (principal values and axes of R), the insulating penny crack, and
the arguments it refuses."""

import math

import numpy as np
import pytest

import contribution as cs


def carlson_rd(x, y, z):
    """Carlson's R_D(x, y, z) by duplication."""
    total, factor = 0.0, 1.0
    for _ in range(60):
        sx, sy, sz = math.sqrt(x), math.sqrt(y), math.sqrt(z)
        lam = sx * sy + sx * sz + sy * sz
        total += factor / (sz * (z + lam))
        factor /= 4
        x, y, z = (x + lam) / 4, (y + lam) / 4, (z + lam) / 4
    mu = (x + y + 3 * z) / 5
    return 3 * total + factor * mu ** -1.5


def depolarization(a, b, c):
    """Depolarization factors along the semi-axes a, b, c (they sum to 1)."""
    v = a * b * c / 3
    return np.array([v * carlson_rd(b * b, c * c, a * a), v * carlson_rd(a * a, c * c, b * b),
                     v * carlson_rd(a * a, b * b, c * c)])


def rotation(angles_degrees):
    """Body frame to grid: about x, then y, then z (R = Rz Ry Rx), as the shapes turn."""
    ax, ay, az = np.radians(angles_degrees)
    rx = np.array([[1, 0, 0], [0, np.cos(ax), -np.sin(ax)], [0, np.sin(ax), np.cos(ax)]])
    ry = np.array([[np.cos(ay), 0, np.sin(ay)], [0, 1, 0], [-np.sin(ay), 0, np.cos(ay)]])
    rz = np.array([[np.cos(az), -np.sin(az), 0], [np.sin(az), np.cos(az), 0], [0, 0, 1]])
    return rz @ ry @ rx


def test_depolarization_factors_sum_to_one_and_give_a_third_for_a_sphere():
    assert depolarization(0.5, 0.4, 0.3).sum() == pytest.approx(1, abs=1e-12)
    assert depolarization(1, 1, 1) == pytest.approx([1 / 3] * 3, abs=1e-12)


def test_turned_insulating_ellipsoid_has_the_principal_values_and_axes_of_the_closed_form():
    axes, angles, k0 = (0.5, 0.4, 0.3), (30, 20, 40), 2.0
    r = cs.solve_conductivity(cs.shapes.ellipsoid(40, axes=axes, angles=angles), k0=k0, k1=0.0, measure_plans=False)
    assert r.converged and r.formulation == "field" and len(r.load_cases) == 3
    assert np.allclose(r.R, r.R.T, rtol=0, atol=1e-12 * abs(r.R).max())
    assert np.allclose(r.K, -k0 ** 2 * r.R)
    # Insulator: K_i = -k0 / (1 - A_i), R_i = 1 / (k0 (1 - A_i)).
    expected = 1 / (k0 * (1 - depolarization(*axes)))
    values, vectors = np.linalg.eigh(r.R)
    order = np.argsort(expected)
    assert values == pytest.approx(expected[order], rel=0.15)
    body = rotation(angles)
    for column, axis in enumerate(order):
        cosine = abs(vectors[:, column] @ body[:, axis])
        assert math.degrees(math.acos(min(1.0, cosine))) < 3, f"axis {axis}"


def test_insulating_penny_crack_at_M_256_is_within_8_percent():
    r = cs.solve_conductivity(cs.shapes.penny(256, radius=0.5), k0=1.0, measure_plans=False)
    assert r.crack and len(r.load_cases) == 1 and r.converged
    assert r.R[2, 2] == pytest.approx(8 * 0.5 ** 3 / 3, rel=0.08)
    assert np.count_nonzero(r.R) == 1 and r.K[2, 2] == pytest.approx(-r.R[2, 2])


def test_perfect_conductor_and_refused_arguments():
    flags = cs.shapes.sphere(12)
    r = cs.solve_conductivity(flags, k0=1.0, k1=math.inf, measure_plans=False)
    assert r.formulation == "flux" and r.k1 == math.inf and r.K[0, 0] > 0
    with pytest.raises(ValueError, match="needs k1"):
        cs.solve_conductivity(flags, k0=1.0)
    with pytest.raises(ValueError, match="does not apply to a crack"):
        cs.solve_conductivity(cs.shapes.penny(12), k0=1.0, k1=0.0)
    with pytest.raises(ValueError, match="found k1"):
        cs.solve_conductivity(flags, k0=1.0, k1=-1.0)
    with pytest.raises(ValueError, match="found k0"):
        cs.solve_conductivity(flags, k0=0.0, k1=1.0)
    with pytest.raises(ValueError, match="3-D array"):
        cs.solve_conductivity(np.ones(5, dtype=bool), k0=1.0, k1=1.0)


def test_effective_conductivity_of_solved_pores_and_the_crack_cross_property_ratio():
    k0, phi = 1.0, 0.1
    pore = cs.solve_conductivity(cs.shapes.sphere(24), k0=k0, k1=0.0, measure_plans=False)
    phase = cs.effective.conduction_phase(pore, phi)
    assert phase.kind == "pore"
    # For spheres Mori-Tanaka and Maxwell are Hashin-Shtrikman's 2 (1 - phi) / (2 + phi) (here with the
    # grid's R, 6 % short at M = 24).
    mt = cs.effective.mori_tanaka_conductivity(k0, [phase])
    assert mt == pytest.approx(2 * (1 - phi) / (2 + phi), rel=0.01)
    assert cs.effective.maxwell_conductivity(k0, [phase]) == pytest.approx(2 * (1 - phi) / (2 + phi), rel=0.01)
    assert cs.effective.nia_conductivity(k0, [phase]) < mt < cs.effective.nia_resistivity(k0, [phase])
    # A crack's normal opening and potential jump solve the same operator.
    flags, E0, n0 = cs.shapes.ellipse(48, axes=(0.5, 0.3)), 2.0, 0.25
    elastic = cs.solve_crack(flags, E0=E0, n0=n0, measure_plans=False)
    conduction = cs.solve_conductivity(flags, k0=k0, measure_plans=False)
    ratio = cs.effective.crack_cross_property_ratio(elastic, conduction)
    assert ratio == pytest.approx(2 * (1 - n0 ** 2) * k0 / E0, rel=1e-5)


def test_conductivity_ranges_carry_the_bars_of_R():
    # Randomly oriented insulating penny cracks of density rho: R33 = 8a^3/(3 k0) with a bar e gives the
    # non-interaction conductivity k0 (1 - rho k0 (R33 +- e)/3) and resistivity form 1/(1/k0 + rho (R33 +- e)/3).
    k0, a, rho, e = 2.0, 0.5, 0.9, 0.03
    R33 = 8 * a ** 3 / (3 * k0)
    crack = cs.effective.ConductionPhase("crack", rho, np.diag([0.0, 0.0, R33]))
    bar = np.diag([0.0, 0.0, e])
    low, high = cs.effective.conductivity_range(k0, [crack], [bar], scheme="nia")
    assert (low, high) == pytest.approx((k0 - k0 ** 2 * rho * (R33 + e) / 3, k0 - k0 ** 2 * rho * (R33 - e) / 3))
    assert cs.effective.nia_conductivity(k0, [crack]) / k0 == pytest.approx(1 - 8 / 9 * rho * a ** 3)
    low, high = cs.effective.conductivity_range(k0, [crack], [bar], scheme="nia_resistivity")
    assert (low, high) == pytest.approx((1 / (1 / k0 + rho * (R33 + e) / 3), 1 / (1 / k0 + rho * (R33 - e) / 3)))
    for scheme in ("mori_tanaka", "maxwell"):
        low, high = cs.effective.conductivity_range(k0, [crack], [bar], scheme=scheme)
        assert low < cs.effective.conductivity_range(k0, [crack], [0 * bar], scheme=scheme)[0] < high
    # A bar past the resistivity form's pole (1/k reaching 0) leaves it unbounded.
    assert math.isinf(cs.effective.conductivity_range(k0, [crack], [np.diag([0.0, 0.0, 40.0])],
                                                      scheme="nia_resistivity")[1])
    conductor = cs.effective.ConductionPhase("inhomogeneity", 0.1, -3 / k0 ** 2 * np.eye(3), math.inf)
    with pytest.raises(ValueError, match="different k1"):
        cs.effective.conductivity_range(k0, [crack, conductor], [bar, bar])
    with pytest.raises(ValueError, match="error tensors"):
        cs.effective.conductivity_range(k0, [crack], [])
    with pytest.raises(ValueError, match="scheme must be"):
        cs.effective.conductivity_range(k0, [crack], [bar], scheme="voigt")
