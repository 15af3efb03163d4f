#!/usr/bin/python3
"""Effective Young's modulus and Poisson's ratio of a porous solid against
porosity, for spherical and for oblate spheroidal pores, by the Mori-Tanaka
scheme with the pores' compliance contribution tensors solved on the grid.

    PYTHONPATH=build/python /usr/bin/python3 examples/python/porous_moduli.py [--M 16] [-o porous_moduli.png]

A pore is modelled as an inhomogeneity with E1 = 1e-3 E0 (docs/effective.md,
section 6: pores converge slowly and from above, so at modest grids the
solved H is too large and the moduli come out somewhat low; much smaller E1
converge worse). For pores alone Mori-Tanaka is S = S0 + phi H / (1 - phi).

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
PORE_E = 1e-3 * E0  # the pores' stand-in modulus


def pore_H(flags):
    """The pore's H in the standard order, solved with the pore's stand-in material."""
    result = cs.solve_inhomogeneity(flags, E0, NU0, PORE_E, NU0, measure_plans=False)
    if not result.converged:
        raise RuntimeError(f"the pore's solve did not converge: {result.load_cases}")
    if result.symmetry_flag != 1:
        print("note: the pore's contrast product failed the solver's symmetry test (H is not symmetrized); "
              "refine the grid")
    return result, result.H_standard


def mori_tanaka_moduli(H, porosity):
    """Aligned pores: S = S0 + phi H/(1 - phi); returns the compliance for each porosity."""
    return [fx.mori_tanaka_compliance((E0, NU0), [fx.CompliancePhase("pore", phi, H)]) for phi in porosity]


def closed_form_spheres(porosity):
    K0, G0 = E0 / (3 * (1 - 2 * NU0)), E0 / (2 * (1 + NU0))
    K = 4 * K0 * G0 * (1 - porosity) / (4 * G0 + 3 * K0 * porosity)
    G = G0 * (1 - porosity) / (1 + porosity * 6 * (K0 + 2 * G0) / (9 * K0 + 8 * G0))
    return 9 * K * G / (3 * K + G), (3 * K - 2 * G) / (2 * (3 * K + G))


def run(M, output):
    started = time.monotonic()
    sphere, H_sphere = pore_H(cs.shapes.sphere(M, radius=0.5))
    oblate, H_oblate = pore_H(cs.shapes.spheroid(M, axes=(0.7, 0.35)))
    print(f"M = {M}: sphere {sphere.elapsed_seconds:.1f} s, oblate spheroid {oblate.elapsed_seconds:.1f} s "
          f"(iterations {[c.iterations for c in sphere.load_cases]}, {[c.iterations for c in oblate.load_cases]})")

    porosity = np.linspace(0, 0.5, 11)
    sphere_moduli = [fx.isotropic_projection_of_compliance(S) for S in mori_tanaka_moduli(H_sphere, porosity)]
    oblate_S = mori_tanaka_moduli(H_oblate, porosity)
    random_moduli = [fx.isotropic_projection_of_compliance(S) for S in oblate_S]
    aligned_E3 = np.array([1 / S[2, 2] for S in oblate_S])
    exact_E, exact_nu = closed_form_spheres(porosity)

    print(" porosity  E/E0 sphere (closed form)  E/E0 oblate random  E3/E0 aligned   nu sphere (closed form)  nu oblate")
    for i, phi in enumerate(porosity):
        print(f"   {phi:4.2f}     {sphere_moduli[i].E:.4f} ({exact_E[i]:.4f})        {random_moduli[i].E:.4f}"
              f"           {aligned_E3[i]:.4f}       {sphere_moduli[i].nu:.4f} ({exact_nu[i]:.4f})        "
              f"{random_moduli[i].nu:.4f}")

    figure, (left, right) = plt.subplots(1, 2, figsize=(10, 4.2), constrained_layout=True)
    left.plot(porosity, exact_E / E0, "k-", label="spheres, closed form")
    left.plot(porosity, [m.E / E0 for m in sphere_moduli], "o", color="C0", label=f"spheres, solved (M = {M})")
    left.plot(porosity, [m.E / E0 for m in random_moduli], "s-", color="C1", label="oblate 1:2, random")
    left.plot(porosity, aligned_E3 / E0, "^--", color="C2", label="oblate 1:2, aligned: E along axis")
    left.set(xlabel="porosity", ylabel="E / E0", title="Young's modulus (Mori-Tanaka)", ylim=(0, 1.02))
    left.legend()
    right.plot(porosity, exact_nu, "k-", label="spheres, closed form")
    right.plot(porosity, [m.nu for m in sphere_moduli], "o", color="C0", label=f"spheres, solved (M = {M})")
    right.plot(porosity, [m.nu for m in random_moduli], "s-", color="C1", label="oblate 1:2, random")
    right.set(xlabel="porosity", ylabel="Poisson's ratio", title=f"Poisson's ratio (matrix nu0 = {NU0})")
    right.legend()
    for axes in (left, right):
        axes.grid(alpha=0.3)
    figure.savefig(output, dpi=110)
    print(f"wrote {output} in {time.monotonic() - started:.1f} s")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--M", type=int, default=16, help="grid intervals per axis (default 16)")
    parser.add_argument("-o", "--output", default="porous_moduli.png", help="the PNG to write")
    arguments = parser.parse_args()
    run(arguments.M, arguments.output)


if __name__ == "__main__":
    main()
