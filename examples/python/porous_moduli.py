#!/usr/bin/python3
"""Effective Young's modulus and Poisson's ratio of a porous solid against
porosity, for spherical and for oblate spheroidal pores, by the Mori-Tanaka
scheme with the pores' compliance contribution tensors solved on the grid.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/porous_moduli.py [--levels 16,24,32,40,48] [-o porous_moduli.png]

Each pore is an exact void (E1 = 0), solved by a grid-refinement study
(contribution.study, the bounded formulation with the coefficient mean) and
extrapolated to h = 0 with an error bar H +- H_error. For pores alone
Mori-Tanaka is S = S0 + phi H / (1 - phi), linear in H, so the bars carry
over: the isotropic projection's 1/K and 1/G are sums of entries of S, and E
and nu follow from K and G monotonically; the moduli are printed and drawn
with the ranges the bars allow.

Oblate pores: spheroids with semi-axes a = 0.7 and c = 0.35 (aspect 1/2),
either aligned (the modulus along their short axis, E3 = 1/S33) or randomly
oriented. Mori-Tanaka is linear in H for pores, and the orientation average
of a fourth-rank tensor is its isotropic part, so the random case is the
isotropic projection of the aligned compliance.

For spheres the closed form of Mori-Tanaka (the Hashin-Shtrikman upper bound)
is drawn for comparison:
    K = 4 K0 G0 (1 - phi) / (4 G0 + 3 K0 phi),
    G = G0 (1 - phi) / (1 + phi 6 (K0 + 2 G0) / (9 K0 + 8 G0)).
"""

import argparse
import os
import time

# Before the extension loads OpenMP: threads that sleep rather than spin while
# they wait, which keeps these small solves quick on a machine busy with other
# work (docs/python.md, "OpenMP on a busy machine").
os.environ.setdefault("OMP_WAIT_POLICY", "passive")

import matplotlib  # noqa: E402

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402
import numpy as np  # noqa: E402

import contribution as cs  # noqa: E402
from contribution import effective as fx  # noqa: E402

E0, NU0 = 1.0, 0.3


def pore_study(shape, levels):
    """The exact void's H in the standard order with its error bar (half-widths, 6x6)."""
    s = cs.study(shape, levels, E0=E0, n0=NU0, E1=0.0, n1=NU0, measure_plans=False)
    if not all(level.conv_flag == 1 for level in s.levels):
        raise RuntimeError("a level of the pore's study did not converge")
    # The study keeps the solver's shear order; reorder to 23, 13, 12 (a permutation of rows and columns).
    order = [0, 1, 2] + [s.shear_order.index(pair) + 3 for pair in ("23", "13", "12")]
    return s, s.H[np.ix_(order, order)], s.H_error[np.ix_(order, order)]


def moduli_with_range(H, H_error, phi):
    """Mori-Tanaka for aligned pores and the isotropic projection, with the ranges the bars allow.

    Returns (S, moduli, (E_low, E_high), (nu_low, nu_high), (E3_low, E3_high))."""
    phases = [fx.CompliancePhase("pore", phi, H)]
    S = fx.mori_tanaka_compliance((E0, NU0), phases)
    S_error = fx.compliance_error(phases, [H_error])
    m, ranges = fx.isotropic_moduli_range(S, S_error)
    E3 = (1 / (S[2, 2] + S_error[2, 2]), 1 / (S[2, 2] - S_error[2, 2]) if S[2, 2] > S_error[2, 2] else np.inf)
    return S, m, ranges["E"], ranges["nu"], E3


def closed_form_spheres(porosity):
    K0, G0 = E0 / (3 * (1 - 2 * NU0)), E0 / (2 * (1 + NU0))
    K = 4 * K0 * G0 * (1 - porosity) / (4 * G0 + 3 * K0 * porosity)
    G = G0 * (1 - porosity) / (1 + porosity * 6 * (K0 + 2 * G0) / (9 * K0 + 8 * G0))
    return 9 * K * G / (3 * K + G), (3 * K - 2 * G) / (2 * (3 * K + G))


def run(levels, output):
    started = time.monotonic()
    sphere, H_sphere, err_sphere = pore_study(cs.shapes.define("sphere", radius=0.5), levels)
    oblate, H_oblate, err_oblate = pore_study(cs.shapes.define("spheroid", axes=(0.7, 0.35)), levels)
    print(f"levels M = {levels}: sphere {sum(l.elapsed_seconds for l in sphere.levels):.1f} s, oblate spheroid "
          f"{sum(l.elapsed_seconds for l in oblate.levels):.1f} s; void sphere H11 = {H_sphere[0, 0]:.4f} "
          f"+- {err_sphere[0, 0]:.4f}")

    porosity = np.linspace(0, 0.5, 11)
    spheres = [moduli_with_range(H_sphere, err_sphere, phi) for phi in porosity]
    oblates = [moduli_with_range(H_oblate, err_oblate, phi) for phi in porosity]
    exact_E, exact_nu = closed_form_spheres(porosity)

    print(" porosity  E/E0 sphere [range] (closed form)  E/E0 oblate random  E3/E0 aligned   "
          "nu sphere [range] (closed form)  nu oblate  closed form within the bars")
    for i, phi in enumerate(porosity):
        (_, ms, E_rng, nu_rng, _), (_, mo, _, _, E3_rng) = spheres[i], oblates[i]
        slack = 1e-12  # rounding, where the range is a point (porosity 0)
        inside = (E_rng[0] - slack <= exact_E[i] <= E_rng[1] + slack
                  and nu_rng[0] - slack <= exact_nu[i] <= nu_rng[1] + slack)
        E3 = 1 / oblates[i][0][2, 2]
        print(f"   {phi:4.2f}     {ms.E:.4f} [{E_rng[0]:.4f}, {E_rng[1]:.4f}] ({exact_E[i]:.4f})   {mo.E:.4f}"
              f"           {E3:.4f}       {ms.nu:.4f} [{nu_rng[0]:.4f}, {nu_rng[1]:.4f}] ({exact_nu[i]:.4f})   "
              f"{mo.nu:.4f}     {'yes' if inside else 'NO'}")

    figure, (left, right) = plt.subplots(1, 2, figsize=(10, 4.2), constrained_layout=True)
    label = f"spheres, solved (M = {levels[0]}...{levels[-1]}, extrapolated)"
    E_s = np.array([m.E for _, m, _, _, _ in spheres])
    # Clipped at zero: at porosity 0 the range is a point, up to rounding.
    E_bars = np.maximum(np.array([[m.E - r[0], r[1] - m.E] for _, m, r, _, _ in spheres]).T, 0)
    left.plot(porosity, exact_E / E0, "k-", label="spheres, closed form")
    left.errorbar(porosity, E_s / E0, yerr=E_bars / E0, fmt="o", color="C0", capsize=3, label=label)
    left.plot(porosity, [m.E / E0 for _, m, _, _, _ in oblates], "s-", color="C1", label="oblate 1:2, random")
    left.plot(porosity, [1 / S[2, 2] / E0 for S, _, _, _, _ in oblates], "^--", color="C2",
              label="oblate 1:2, aligned: E along axis")
    left.set(xlabel="porosity", ylabel="E / E0", title="Young's modulus (Mori-Tanaka)", ylim=(0, 1.02))
    left.legend()
    nu_s = np.array([m.nu for _, m, _, _, _ in spheres])
    nu_bars = np.maximum(np.array([[m.nu - r[0], r[1] - m.nu] for _, m, _, r, _ in spheres]).T, 0)
    right.plot(porosity, exact_nu, "k-", label="spheres, closed form")
    right.errorbar(porosity, nu_s, yerr=nu_bars, fmt="o", color="C0", capsize=3, label=label)
    right.plot(porosity, [m.nu for _, m, _, _, _ in oblates], "s-", color="C1", label="oblate 1:2, random")
    right.set(xlabel="porosity", ylabel="Poisson's ratio", title=f"Poisson's ratio (matrix nu0 = {NU0})")
    right.legend()
    for axes in (left, right):
        axes.grid(alpha=0.3)
    figure.savefig(output, dpi=110)
    print(f"wrote {output} in {time.monotonic() - started:.1f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--levels", default="16,24,32,40,48",
                        help="grid levels of each pore's study, increasing, at least three (default 16,24,32,40,48)")
    parser.add_argument("-o", "--output", default="porous_moduli.png", help="the PNG to write")
    arguments = parser.parse_args()
    run([int(M) for M in arguments.levels.split(",")], arguments.output)


if __name__ == "__main__":
    main()
