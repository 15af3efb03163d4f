"""The solved fields as arrays: result.field of an inhomogeneity and
result.opening of a crack, held against Eshelby's uniform interior field and
the penny crack's elliptical opening."""

import numpy as np
import pytest

import contribution as cs

AXES = (0.7, 0.5, 0.35)


@pytest.mark.parametrize("E1", [10.0, 0.1], ids=["stiff", "soft"])
def test_field_inside_an_ellipsoid_is_uniform_away_from_its_surface(E1):
    M = 24
    flags = cs.shapes.ellipsoid(M, axes=AXES)
    r = cs.solve_inhomogeneity(flags, 1, 0.3, E1, 0.3, keep_field=True, measure_plans=False)
    N = M + 1
    assert r.field.shape == (6, 6, N, N, N)
    x = cs.node_coordinates(M)
    X, Y, Z = np.meshgrid(x, x, x, indexing="ij")
    # The core: nodes at most 0.6 of the way to the surface, two grid steps or more inside.
    core = (X / AXES[0]) ** 2 + (Y / AXES[1]) ** 2 + (Z / AXES[2]) ** 2 < 0.6 ** 2
    assert core.sum() > 150
    for load in range(6):
        own = r.field[load, load][core]
        # Eshelby: uniform inside. The staircase surface and the Gaussians leave
        # about 1-3 % scatter at M = 24 (a field read on swapped axes or a
        # shifted box scatters by tens of per cent, as the core then reaches outside).
        assert own.std() < 0.04 * abs(own.mean()), f"load {r.components[load]}"
        # A shear load gives that shear alone, a normal load no shear (axes
        # along x, y, z): on average over the core; node by node the staircase
        # leaves couplings of either sign, up to 12 % at M = 24.
        others = [c for c in range(6) if c != load and (load >= 3 or c >= 3)]
        coupled = r.field[load][others][:, core]
        assert np.abs(coupled.mean(axis=1)).max() < 0.005 * abs(own.mean()), f"load {load}"
        assert np.abs(coupled).max() < 0.2 * abs(own.mean()), f"load {load}"
    # Averaged over the inhomogeneity it is the reported mean field, whose rows
    # and columns are in the formulation's order: the field's are standard.
    inside = flags.astype(bool)
    np.testing.assert_allclose(r.field[:, :, inside].mean(axis=2), r.mean_field_standard, rtol=0, atol=1.01e-6)
    assert cs.solve_inhomogeneity(flags, 1, 0.3, E1, 0.3, measure_plans=False).field is None


def test_penny_crack_opens_like_the_square_root_of_a2_minus_r2():
    M, a, nu = 48, 0.5, 0.3
    r = cs.solve_crack(cs.shapes.penny(M, radius=a), 1, nu, keep_opening=True, measure_plans=False)
    x = cs.node_coordinates(M)
    X, Y = np.meshgrid(x, x, indexing="ij")
    R = np.hypot(X, Y)
    core = R < 0.7 * a
    profile = np.sqrt(a * a - R[core] ** 2)
    # Sneddon: normal opening 8 (1 - nu^2) / (pi E) sqrt(a^2 - r^2) under a unit
    # normal traction, tangential opening 16 (1 - nu^2) / (pi (2 - nu) E) sqrt(a^2 - r^2)
    # along a unit shear traction.
    for load, factor in ((2, 8 * (1 - nu**2) / np.pi), (0, 16 * (1 - nu**2) / (np.pi * (2 - nu))),
                         (1, 16 * (1 - nu**2) / (np.pi * (2 - nu)))):
        ratio = r.opening[load, load][core] / (factor * profile)
        # The shape within 3 %; the amplitude converges from above at first order
        # (1.09 at M = 48, 1.15 at M = 32).
        assert np.abs(ratio / ratio.mean() - 1).max() < 0.04, f"load {load}"
        assert 1.0 < ratio.mean() < 1.13, f"load {load}: {ratio.mean()}"
        # No coupling: a normal load opens no shear component and vice versa.
        assert np.abs(r.opening[load][[c for c in range(3) if c != load]][:, core]).max() < 0.02 * ratio.mean() * factor * a
