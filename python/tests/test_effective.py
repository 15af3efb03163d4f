"""contribution.effective: sums, closed forms of micromechanics, and the
concentration tensors of solved inhomogeneities."""

import numpy as np
import pytest

import contribution as cs
from contribution import effective as fx


def isotropic_fourth_rank(alpha, beta):
    """alpha J + beta K as a compliance-like 6x6 matrix (standard order,
    engineering shear): J_ijkl = d_ij d_kl / 3, K = I - J, S44 = 4 T_2323."""
    t = np.zeros((6, 6))
    t[:3, :3] = alpha / 3 + beta * (np.eye(3) - 1 / 3)
    t[3:, 3:] = 2 * beta * np.eye(3)
    return t


def spherical_pore_H(E0, nu0):
    """Eshelby's spherical pore: the dilute extra compliance per unit porosity
    is (3K0 + 4G0)/(4G0 K0) in the bulk (1/K = 1/K0 + phi (3K0+4G0)/(4 G0 K0))
    and 15(1 - nu0)/((7 - 5 nu0) G0) in shear (1/G = 1/G0 + phi ...)."""
    K0, G0 = E0 / (3 * (1 - 2 * nu0)), E0 / (2 * (1 + nu0))
    # J/(3K) + K/(2G) is the compliance of (K, G): alpha = extra 1/K / 3, beta = extra 1/G / 2.
    return isotropic_fourth_rank((3 * K0 + 4 * G0) / (4 * G0 * K0) / 3, 15 * (1 - nu0) / ((7 - 5 * nu0) * G0) / 2)


@pytest.mark.parametrize("E, nu", [(1.0, 0.3), (210.0, 0.0), (3.5, -0.4), (0.02, 0.49)])
def test_isotropic_projections_return_the_moduli(E, nu):
    expected = fx.moduli_of((E, nu))
    assert expected.K == pytest.approx(E / (3 * (1 - 2 * nu)), rel=1e-14)
    assert expected.G == pytest.approx(E / (2 * (1 + nu)), rel=1e-14)
    C, S = fx.isotropic_stiffness((E, nu)), fx.isotropic_compliance((E, nu))
    np.testing.assert_allclose(C @ S, np.eye(6), atol=1e-12)
    for moduli in (fx.isotropic_projection_of_stiffness(C), fx.isotropic_projection_of_compliance(S)):
        np.testing.assert_allclose(moduli, expected, rtol=1e-12, atol=1e-14)
    np.testing.assert_allclose(fx.inverse(C), S, rtol=1e-12, atol=1e-12 * np.abs(S).max())


@pytest.fixture(scope="module")
def soft_sphere():
    return cs.solve_inhomogeneity(cs.shapes.sphere(10, radius=0.5), E0=2.0, n0=0.3, E1=0.6, n1=0.25, measure_plans=False)


@pytest.mark.parametrize("count, phi", [(1, 0.1), (3, 0.05), (7, 0.02)])
def test_nia_of_identical_spheres_is_n_times_the_weighted_sphere(soft_sphere, count, phi):
    r = soft_sphere
    S = fx.nia_compliance(r.matrix, [fx.compliance_phase(r, phi)] * count)
    expected = fx.isotropic_compliance(r.matrix) + count * phi * r.H_standard
    np.testing.assert_allclose(S, expected, rtol=1e-13, atol=1e-15 * np.abs(expected).max())
    C = fx.nia_stiffness(r.matrix, [fx.stiffness_phase(r, phi)] * count)
    expected = fx.isotropic_stiffness(r.matrix) + count * phi * r.N_standard
    np.testing.assert_allclose(C, expected, rtol=1e-13, atol=1e-15 * np.abs(expected).max())
    # Plain tuples serve as phases too.
    np.testing.assert_allclose(fx.nia_compliance((2.0, 0.3), [("inhomogeneity", phi, r.H_standard, np.eye(6))]),
                               fx.nia_compliance(r.matrix, [fx.compliance_phase(r, phi)]), rtol=1e-15)


@pytest.mark.parametrize("nu0", [0.2, 0.35])
@pytest.mark.parametrize("phi", [0.05, 0.2, 0.45])
def test_mori_tanaka_of_spherical_pores_equals_its_closed_form(nu0, phi):
    E0 = 2.5
    K0, G0 = E0 / (3 * (1 - 2 * nu0)), E0 / (2 * (1 + nu0))
    # Mori-Tanaka for spherical pores (the Hashin-Shtrikman upper bound of a porous solid):
    K = 4 * K0 * G0 * (1 - phi) / (4 * G0 + 3 * K0 * phi)
    G = G0 * (1 - phi) / (1 + phi * 6 * (K0 + 2 * G0) / (9 * K0 + 8 * G0))
    H = spherical_pore_H(E0, nu0)
    S = fx.mori_tanaka_compliance((E0, nu0), [fx.CompliancePhase("pore", phi, H)])
    moduli = fx.isotropic_projection_of_compliance(S)
    assert moduli.K == pytest.approx(K, rel=1e-12)
    assert moduli.G == pytest.approx(G, rel=1e-12)
    assert moduli.E == pytest.approx(9 * K * G / (3 * K + G), rel=1e-12)
    # The strain form with N = -C0 H C0 is the same scheme: its stiffness inverts S.
    C0 = fx.isotropic_stiffness((E0, nu0))
    C = fx.mori_tanaka_stiffness((E0, nu0), [fx.StiffnessPhase("pore", phi, -C0 @ H @ C0)])
    np.testing.assert_allclose(C @ S, np.eye(6), atol=1e-12)


@pytest.mark.parametrize("E1", [0.2, 5.0], ids=["compliance", "stiffness"])
def test_concentration_tensors_reproduce_the_solved_tensors(E1):
    # dS B and dC A are the solver's contrast product before it zeroes entries
    # below 1e-3 E0 and symmetrizes (docs/effective.md, section 3), so they
    # match H and N to that bound; reading mean_field in the wrong order or
    # as B = m^T is off by about 0.1 for this turned ellipsoid.
    flags = cs.shapes.ellipsoid(12, axes=(0.8, 0.5, 0.4), angles=(30, 20, 40))
    r = cs.solve_inhomogeneity(flags, 1.0, 0.3, E1, 0.3, measure_plans=False)
    B, A = fx.concentration_tensors(r)
    dS = fx.isotropic_compliance(r.inhomogeneity) - fx.isotropic_compliance(r.matrix)
    dC = fx.isotropic_stiffness(r.inhomogeneity) - fx.isotropic_stiffness(r.matrix)
    np.testing.assert_allclose(dS @ B, r.H_standard, atol=2e-3)
    np.testing.assert_allclose(dC @ A, r.N_standard, atol=2e-3)
    np.testing.assert_allclose(B, fx.stress_from_strain_concentration(A, r.matrix, r.inhomogeneity), atol=1e-12)
    phase = fx.compliance_phase(r, 0.1)
    assert phase.kind == "inhomogeneity" and np.array_equal(phase.B, B)
    assert fx.compliance_phase(r, 0.1, kind="pore").B is None


def test_crack_results_are_phases_by_number_density():
    r = cs.solve_crack(cs.shapes.penny(12), E0=1, n0=0.25, measure_plans=False)
    phase = fx.compliance_phase(r, 0.3)
    assert phase.kind == "crack" and np.array_equal(phase.H, r.H)
    # Cracks alone: Mori-Tanaka equals the non-interaction approximation.
    np.testing.assert_allclose(fx.mori_tanaka_compliance(r.matrix, [phase]), fx.nia_compliance(r.matrix, [phase]),
                               rtol=1e-14)
    with pytest.raises(ValueError, match="expected 'crack'"):
        fx.compliance_phase(r, 0.3, kind="pore")


BAD = [
    (lambda: fx.moduli_of((1.0, 0.5)), "Poisson's ratio must lie in (-1, 0.5)"),
    (lambda: fx.isotropic_stiffness((0.0, 0.3)), "Young's modulus must be positive"),
    (lambda: fx.inverse(np.zeros((6, 6))), "singular"),
    (lambda: fx.inverse(np.eye(5)), "must be a 6x6 array, found shape (5, 5)"),
    (lambda: fx.nia_compliance((1, 0.3), [("pore", -0.1, np.eye(6))]), "phase 1: the weight must be finite and not"),
    (lambda: fx.nia_compliance((1, 0.3), [("bubble", 0.1, np.eye(6))]), "found kind 'bubble'"),
    (lambda: fx.mori_tanaka_compliance((1, 0.3), [("pore", 0.6, np.eye(6)), ("pore", 0.4, np.eye(6))]),
     "the volume fractions sum to 1"),
    (lambda: fx.mori_tanaka_compliance((1, 0.3), [("pore", 0.1, np.eye(6)), ("inhomogeneity", 0.1, np.eye(6))]),
     "phase 2: an inhomogeneity needs its concentration tensor B"),
    (lambda: fx.tensor_to_standard_order(np.eye(6), "voigt"), "found origin 'voigt'"),
    (lambda: fx.stress_concentration(np.eye(6), (1, 0.3), (2, 0.3)), "E1/E0 > 1 is solved under the stiffness"),
]


@pytest.mark.parametrize("call, message", BAD, ids=[b[1] for b in BAD])
def test_bad_input_raises_value_error(call, message):
    with pytest.raises(ValueError) as caught:
        call()
    assert message in str(caught.value)


def test_moduli_ranges_from_error_bars():
    """Pores' H bars through Mori-Tanaka: a zero bar gives a point, a bar gives
    a range around the moduli that moves the right way with each entry."""
    K0, G0 = 1 / (3 * (1 - 2 * 0.3)), 1 / (2 * 1.3)
    H = np.zeros((6, 6))
    H[:3, :3] = 0.3 / K0 / 9  # an isotropic pore-like H: 1/K rises by 0.3/K0 per unit weight
    H[:3, :3] += np.eye(3) * 0.5 / G0 / 3 - 0.5 / G0 / 9
    H[3:, 3:] = np.eye(3) * 0.5 / G0
    phases = [fx.CompliancePhase("pore", 0.2, H)]
    S = fx.mori_tanaka_compliance((1.0, 0.3), phases)
    m, point = fx.isotropic_moduli_range(S, fx.compliance_error(phases, [np.zeros((6, 6))]))
    for name in ("K", "G", "E", "nu"):
        assert point[name][0] == pytest.approx(getattr(m, name), rel=1e-12)
        assert point[name][1] == pytest.approx(getattr(m, name), rel=1e-12)
    error = 0.05 * np.abs(H)
    S_error = fx.compliance_error(phases, [error])
    np.testing.assert_allclose(S_error, 0.2 * error / 0.8)
    np.testing.assert_allclose(fx.compliance_error(phases, [error], scheme="nia"), 0.2 * error)
    m, ranges = fx.isotropic_moduli_range(S, S_error)
    for name in ("K", "G", "E", "nu"):
        low, high = ranges[name]
        assert low < getattr(m, name) < high, name
    # The ends are the moduli of the compliances at the ends of the bars (isotropic S: exact).
    assert 1 / ranges["K"][0] == pytest.approx(1 / m.K + S_error[:3, :3].sum(), rel=1e-12)
    with pytest.raises(ValueError, match="inhomogeneity"):
        fx.compliance_error([fx.CompliancePhase("inhomogeneity", 0.1, H, np.eye(6))], [error])
