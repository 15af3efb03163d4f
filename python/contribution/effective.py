"""Effective elastic properties from contribution tensors.

Binds the library's contribution/effective.h; docs/effective.md derives every
formula and lists what was verified. Results of contribution.solve_* feed in
through compliance_phase / stiffness_phase.

Conventions (all functions, inputs and results):
- 6x6 numpy arrays t[row, column] in the STANDARD order 11, 22, 33, 23, 13, 12
  (Voigt order; x = 1, y = 2, z = 3) with ENGINEERING shear strains: strain
  vectors (e11, e22, e33, 2 e23, 2 e13, 2 e12), stress vectors (s11, s22,
  s33, s23, s13, s12). A stiffness carries G on its shear diagonal, its
  compliance 1/G. Solver results are reordered by their H_standard,
  N_standard and mean_field_standard properties (or tensor_to_standard_order,
  mean_field_to_standard_order here).
- H maps a remote stress to the extra average strain, N a remote strain to
  the extra average stress; N = -C0 H C0. An inhomogeneity's or pore's H and
  N are per unit volume of it: their weight is the volume fraction. A crack's
  H is the opening integral, not divided by any volume: its weight is the
  number density of cracks, in the length unit of the grid cube [-1, 1]^3
  (penny cracks of radius a: rho H depends only on rho a^3).
- Concentration tensors: B maps a remote stress to the inhomogeneity's
  average stress, A a remote engineering strain to its average engineering
  strain; H = dS B, N = dC A with dS = S1 - S0, dC = C1 - C0; B = C1 A S0.
- A material is a Material(E, nu) or any pair (E, nu).
- Kinds of phase: "inhomogeneity" (weight: volume fraction, needs its
  concentration tensor for Mori-Tanaka), "pore" (volume fraction; empty:
  B = 0, A = -S0 N), "crack" (number density; occupies no volume).

Bad input (a non-finite entry, a negative weight, volume fractions summing to
1 or more where a scheme needs less, E <= 0, nu outside (-1, 0.5), a singular
matrix) raises ValueError.
"""

from __future__ import annotations

import math
from typing import NamedTuple, Optional, Sequence

import numpy as np

from . import _contribution as _c
from ._solve import CrackResult, InhomogeneityResult, Material

__all__ = [
    "Material", "IsotropicModuli", "CompliancePhase", "StiffnessPhase", "Concentration",
    "formulation_of", "tensor_to_standard_order", "mean_field_to_standard_order",
    "isotropic_stiffness", "isotropic_compliance", "moduli_of", "inverse",
    "isotropic_projection_of_stiffness", "isotropic_projection_of_compliance",
    "stress_concentration", "strain_concentration", "stress_from_strain_concentration",
    "strain_from_stress_concentration", "concentration_tensors",
    "nia_compliance", "nia_stiffness", "mori_tanaka_compliance", "mori_tanaka_stiffness",
    "compliance_phase", "stiffness_phase", "compliance_error", "isotropic_moduli_range",
    "ConductionPhase", "nia_conductivity", "nia_resistivity", "mori_tanaka_conductivity", "maxwell_conductivity",
    "conductivity_range", "conduction_phase", "crack_cross_property_ratio",
]


class IsotropicModuli(NamedTuple):
    """Bulk modulus K, shear modulus G, and the E = 9KG/(3K+G), nu = (3K-2G)/(2(3K+G)) they imply."""

    K: float
    G: float
    E: float
    nu: float


class CompliancePhase(NamedTuple):
    """One family of identical, identically oriented members, in compliance terms.

    kind: "inhomogeneity", "pore" or "crack"; weight: volume fraction
    (inhomogeneity, pore) or number density (crack); H: 6x6 standard order;
    B: stress concentration tensor, read for inhomogeneities only.
    """

    kind: str
    weight: float
    H: np.ndarray
    B: Optional[np.ndarray] = None


class StiffnessPhase(NamedTuple):
    """The same in stiffness terms: N, and the strain concentration tensor A (inhomogeneities only)."""

    kind: str
    weight: float
    N: np.ndarray
    A: Optional[np.ndarray] = None


class Concentration(NamedTuple):
    """Stress (B) and strain (A) concentration tensors of one inhomogeneity, standard order."""

    B: np.ndarray
    A: np.ndarray


def _pair(material) -> tuple:
    E, nu = material
    return float(E), float(nu)


# ------------------------------------------------------------------ orders --

def formulation_of(matrix, inhomogeneity) -> str:
    """The solver's formulation for these materials: "stiffness" if E1/E0 > 1, else "compliance"."""
    return _c.formulation_of(_pair(matrix), _pair(inhomogeneity))


def tensor_to_standard_order(t, origin: str) -> np.ndarray:
    """A result's printed H or N in the standard order.

    origin: "compliance", "stiffness" (shear 12, 13, 23 becomes 23, 13, 12)
    or "crack"; the first and last are already standard and return unchanged.
    """
    return _c.tensor_to_standard_order(t, origin)


def mean_field_to_standard_order(mean_field, origin: str) -> np.ndarray:
    """A result's mean_field with rows and columns in the standard order.

    The solver's component order is 11, 22, 33, 12, 13, 23 under the
    compliance formulation and 11, 22, 33, 23, 13, 12 under the stiffness
    formulation; no factor of 2 is applied. A crack has no mean_field.
    """
    return _c.mean_field_to_standard_order(mean_field, origin)


# ------------------------------------------------------ isotropic tensors --

def isotropic_stiffness(material) -> np.ndarray:
    """C0 of (E, nu): [l+2G l l; l l+2G l; l l l+2G] + diag(G, G, G), l = nu E/((1+nu)(1-2nu))."""
    return _c.isotropic_stiffness(_pair(material))


def isotropic_compliance(material) -> np.ndarray:
    """S0 of (E, nu): [1 -nu -nu; -nu 1 -nu; -nu -nu 1]/E + diag(1/G, 1/G, 1/G)."""
    return _c.isotropic_compliance(_pair(material))


def moduli_of(material) -> IsotropicModuli:
    """K = E/(3(1-2nu)), G = E/(2(1+nu)), with E and nu."""
    return IsotropicModuli(*_c.moduli_of(_pair(material)))


def isotropic_projection_of_stiffness(C) -> IsotropicModuli:
    """The isotropic part of a stiffness, nearest to C in the norm of the full fourth-rank tensor:
    K = (C11+C22+C33 + 2(C12+C13+C23))/9, G = ((C11+C22+C33) - (C12+C13+C23) + 3(C44+C55+C66))/15."""
    return IsotropicModuli(*_c.isotropic_projection_of_stiffness(C))


def isotropic_projection_of_compliance(S) -> IsotropicModuli:
    """The moduli of the isotropic part of a compliance: 1/K = S11+S22+S33 + 2(S12+S13+S23),
    1/G = (4((S11+S22+S33) - (S12+S13+S23)) + 3(S44+S55+S66))/15.

    For an anisotropic tensor this differs from projecting its inverse (they
    agree to first order in the anisotropy): project the tensor a scheme
    produced, the compliance of the compliance schemes.
    """
    return IsotropicModuli(*_c.isotropic_projection_of_compliance(S))


def inverse(t) -> np.ndarray:
    """The 6x6 inverse (a compliance from a stiffness and back); singular or non-finite input raises ValueError."""
    return _c.inverse(t)


# ------------------------------------------------- concentration tensors --

def stress_concentration(mean_field_standard, matrix, inhomogeneity) -> np.ndarray:
    """B = dS_t^-1 m^T dS_t from a compliance-formulation mean_field m in standard order (E1/E0 <= 1).

    dS_t is the compliance contrast on tensor components (docs/effective.md,
    section 3); dS B is the solver's H before its cleaning and symmetrization.
    Rejects the stiffness formulation and equal bulk or equal shear moduli.
    """
    return _c.stress_concentration(mean_field_standard, _pair(matrix), _pair(inhomogeneity))


def strain_concentration(mean_field_standard, matrix, inhomogeneity) -> np.ndarray:
    """A = dC^-1 m^T dC from a stiffness-formulation mean_field in standard order (E1/E0 > 1)."""
    return _c.strain_concentration(mean_field_standard, _pair(matrix), _pair(inhomogeneity))


def stress_from_strain_concentration(A, matrix, inhomogeneity) -> np.ndarray:
    """B = C1 A S0."""
    return _c.stress_from_strain_concentration(A, _pair(matrix), _pair(inhomogeneity))


def strain_from_stress_concentration(B, matrix, inhomogeneity) -> np.ndarray:
    """A = S1 B C0."""
    return _c.strain_from_stress_concentration(B, _pair(matrix), _pair(inhomogeneity))


def concentration_tensors(result: InhomogeneityResult) -> Concentration:
    """B and A of a solved inhomogeneity, from its mean_field under either formulation."""
    m = result.mean_field_standard
    if result.formulation == "compliance":
        B = stress_concentration(m, result.matrix, result.inhomogeneity)
        return Concentration(B, strain_from_stress_concentration(B, result.matrix, result.inhomogeneity))
    A = strain_concentration(m, result.matrix, result.inhomogeneity)
    return Concentration(stress_from_strain_concentration(A, result.matrix, result.inhomogeneity), A)


# ------------------------------------------------------------- schemes --

def _tuples(phases: Sequence, tensor: str, concentration: str) -> list:
    out = []
    for p in phases:
        if isinstance(p, (CompliancePhase, StiffnessPhase)):
            t, c = getattr(p, tensor, None), getattr(p, concentration, None)
            if t is None:
                raise ValueError(f"found a {type(p).__name__} where a phase with {tensor} is needed")
            out.append((p.kind, float(p.weight), t, c))
        else:
            kind, weight, t, *rest = p
            out.append((kind, float(weight), t, rest[0] if rest else None))
    return out


def nia_compliance(matrix, phases: Sequence[CompliancePhase]) -> np.ndarray:
    """Non-interaction approximation in compliance: S = S0 + sum w_i H_i (volume fractions sum to <= 1)."""
    return _c.nia_compliance(_pair(matrix), _tuples(phases, "H", "B"))


def nia_stiffness(matrix, phases: Sequence[StiffnessPhase]) -> np.ndarray:
    """Non-interaction approximation in stiffness: C = C0 + sum w_i N_i.

    A different approximation from nia_compliance (each is linear in the
    concentrations in its own variable), not its inverse.
    """
    return _c.nia_stiffness(_pair(matrix), _tuples(phases, "N", "A"))


def mori_tanaka_compliance(matrix, phases: Sequence[CompliancePhase]) -> np.ndarray:
    """Mori-Tanaka: S = S0 + (sum w_i H_i) [c0 I + sum_inhomogeneities phi_i B_i]^-1.

    c0 = 1 - (sum of volume fractions of inhomogeneities and pores) must be
    positive. Pores and cracks alone: S = S0 + (sum w_i H_i)/c0. Several
    families of different shapes or orientations can give a non-symmetric
    tensor; it is returned as computed.
    """
    return _c.mori_tanaka_compliance(_pair(matrix), _tuples(phases, "H", "B"))


def mori_tanaka_stiffness(matrix, phases: Sequence[StiffnessPhase]) -> np.ndarray:
    """Mori-Tanaka in strain form: C = C0 + (sum w_i N_i) [c0 I + sum_inhomogeneities phi_i A_i
    - sum_pores,cracks w_i S0 N_i]^-1. For consistent inputs the inverse of mori_tanaka_compliance."""
    return _c.mori_tanaka_stiffness(_pair(matrix), _tuples(phases, "N", "A"))


# ------------------------------------------------ phases from the solver --

def _kind_of(result, kind: Optional[str]) -> str:
    if isinstance(result, CrackResult):
        if kind not in (None, "crack"):
            raise ValueError(f"found kind {kind!r} for a crack result, expected 'crack'")
        return "crack"
    if not isinstance(result, InhomogeneityResult):
        raise TypeError(f"expected a result of solve_inhomogeneity or solve_crack, found {type(result).__name__}")
    if kind not in (None, "inhomogeneity", "pore"):
        raise ValueError(f"found kind {kind!r} for an inhomogeneity result, expected 'inhomogeneity' or 'pore'")
    return kind or "inhomogeneity"


def compliance_phase(result, weight: float, kind: Optional[str] = None) -> CompliancePhase:
    """A CompliancePhase from a solver result: H in standard order, B from its mean_field.

    kind: "crack" for a crack result (the default there; weight = number
    density); for an inhomogeneity result "inhomogeneity" (default; weight =
    volume fraction) or "pore" (a cavity modelled by a small E1: only H is
    used, B = 0).
    """
    kind = _kind_of(result, kind)
    B = concentration_tensors(result).B if kind == "inhomogeneity" else None
    return CompliancePhase(kind, float(weight), result.H_standard, B)


def stiffness_phase(result, weight: float, kind: Optional[str] = None) -> StiffnessPhase:
    """A StiffnessPhase from a solver result: N in standard order, A from its mean_field (kinds as compliance_phase)."""
    kind = _kind_of(result, kind)
    A = concentration_tensors(result).A if kind == "inhomogeneity" else None
    return StiffnessPhase(kind, float(weight), result.N_standard, A)


def compliance_error(phases: Sequence[CompliancePhase], H_errors: Sequence, scheme: str = "mori_tanaka") -> np.ndarray:
    """Entrywise error of the effective compliance of pores and cracks, from their H bars.

    For pores and cracks alone both schemes are linear in the H_i: S = S0 +
    (sum w_i H_i)/c0, c0 = 1 for scheme "nia" (nia_compliance) and c0 = 1 -
    the pores' volume fraction for "mori_tanaka" (mori_tanaka_compliance). So
    an error bar H_i +- H_error_i (a study's H_error, in the phase's standard
    order) gives S +- sum w_i H_error_i / c0. Inhomogeneities are refused: their
    concentration tensor carries an error too.
    """
    if scheme not in ("mori_tanaka", "nia"):
        raise ValueError(f"scheme must be 'mori_tanaka' or 'nia', found {scheme!r}")
    if len(H_errors) != len(phases):
        raise ValueError(f"found {len(H_errors)} error tensors for {len(phases)} phases")
    c0 = 1.0
    total = np.zeros((6, 6))
    for phase, error in zip(phases, H_errors):
        if phase.kind == "inhomogeneity":
            raise ValueError("compliance_error takes pores and cracks; an inhomogeneity's B carries an error too")
        error = np.asarray(error, dtype=float)
        if error.shape != (6, 6) or np.any(error < 0) or not np.all(np.isfinite(error)):
            raise ValueError("each H error must be a 6x6 array of finite half-widths >= 0")
        if phase.kind == "pore" and scheme == "mori_tanaka":
            c0 -= phase.weight
        total += phase.weight * error
    if c0 <= 0:
        raise ValueError(f"the pores' volume fractions sum to {1 - c0}, expected below 1")
    return total / c0


def isotropic_moduli_range(S, S_error) -> tuple:
    """The isotropic projection of a compliance S and the ranges its entrywise error allows.

    1/K = S11 + S22 + S33 + 2 (S12 + S13 + S23) and 1/G = (4 ((S11 + S22 + S33)
    - (S12 + S13 + S23)) + 3 (S44 + S55 + S66))/15 are sums of entries, so
    their errors are the same sums of the entries' errors (off-diagonal pairs
    counted as the formulas count them); E grows with K and with G, nu grows
    with K and falls with G. A bar that reaches a non-positive compliance
    leaves the modulus unbounded above (inf). Returns (IsotropicModuli, {"K": (low, high),
    "G": ..., "E": ..., "nu": ...}).
    """
    S = np.asarray(S, dtype=float)
    err = np.asarray(S_error, dtype=float)
    m = isotropic_projection_of_compliance(S)
    upper = err[0, 1] + err[0, 2] + err[1, 2]
    lower = err[1, 0] + err[2, 0] + err[2, 1]
    d_inv_K = np.trace(err[:3, :3]) + upper + lower
    d_inv_G = (4 * (np.trace(err[:3, :3]) + 0.5 * (upper + lower)) + 3 * np.trace(err[3:, 3:])) / 15
    # A bar reaching a non-positive compliance leaves the modulus unbounded above.
    K = (1 / (1 / m.K + d_inv_K), 1 / (1 / m.K - d_inv_K) if 1 / m.K > d_inv_K else math.inf)
    G = (1 / (1 / m.G + d_inv_G), 1 / (1 / m.G - d_inv_G) if 1 / m.G > d_inv_G else math.inf)

    def young(k, g):  # 9kg/(3k + g), with its limits
        if math.isinf(k) or math.isinf(g):
            return math.inf if math.isinf(k) and math.isinf(g) else (3 * g if math.isinf(k) else 9 * k)
        return 9 * k * g / (3 * k + g)

    def poisson(k, g):  # (3k - 2g)/(2(3k + g)), with its limits
        if math.isinf(k):
            return 0.5 if not math.isinf(g) else math.nan
        if math.isinf(g):
            return -1.0
        return (3 * k - 2 * g) / (2 * (3 * k + g))

    return m, {"K": K, "G": G, "E": (young(K[0], G[0]), young(K[1], G[1])),
               "nu": (poisson(K[0], G[1]), poisson(K[1], G[0]))}


# ------------------------------------------------ conduction (scalar) --

class ConductionPhase(NamedTuple):
    """One family of randomly oriented (or isotropic) members in conduction terms.

    kind: "inhomogeneity", "pore" (insulating) or "crack" (insulating; weight
    = number density); weight: volume fraction or number density; R: 3x3
    resistivity contribution tensor (solve_conductivity's .R); k1: an
    inhomogeneity's conductivity (math.inf for a perfect conductor), 0 for
    pores and cracks. Each enters through tr(R)/3.
    """

    kind: str
    weight: float
    R: np.ndarray
    k1: float = 0.0


def _conduction_tuples(phases) -> list:
    return [(p.kind, float(p.weight), np.asarray(p.R, dtype=float), float(p.k1))
            if isinstance(p, ConductionPhase) else (p[0], float(p[1]), np.asarray(p[2], dtype=float),
                                                    float(p[3]) if len(p) > 3 else 0.0) for p in phases]


def nia_conductivity(k0: float, phases) -> float:
    """Non-interaction in conductivity: k = k0 + sum w_i K_i, K_i = -k0^2 tr(R_i)/3."""
    return _c.nia_conductivity(float(k0), _conduction_tuples(phases))


def nia_resistivity(k0: float, phases) -> float:
    """Non-interaction in resistivity: 1/k = 1/k0 + sum w_i tr(R_i)/3."""
    return _c.nia_resistivity(float(k0), _conduction_tuples(phases))


def mori_tanaka_conductivity(k0: float, phases) -> float:
    """Mori-Tanaka: k = k0 + (sum w_i K_i) / (c0 + sum w_i K_i / (k1_i - k0)); pores and cracks have k1 = 0."""
    return _c.mori_tanaka_conductivity(float(k0), _conduction_tuples(phases))


def maxwell_conductivity(k0: float, phases) -> float:
    """Maxwell's scheme with a spherical effective region: k = k0 + 1 / (1 / (sum w_i K_i) - 1 / (3 k0))."""
    return _c.maxwell_conductivity(float(k0), _conduction_tuples(phases))


def conductivity_range(k0: float, phases, R_errors, scheme: str = "mori_tanaka") -> tuple:
    """(low, high): the effective conductivity of `scheme` at the ends that the phases' R bars allow.

    scheme: "nia", "nia_resistivity", "mori_tanaka" or "maxwell". R_errors:
    one 3x3 array of half-widths >= 0 per phase (a study's R_error). Each
    scheme depends on a phase through tr(R)/3, whose bar is tr(R_error)/3, and
    falls as it grows; Mori-Tanaka needs phases of one k1. An end past a pole
    of the scheme is unbounded (-inf or inf).
    """
    if len(R_errors) != len(phases):
        raise ValueError(f"found {len(R_errors)} error tensors for {len(phases)} phases")
    return _c.conductivity_range(scheme, float(k0), _conduction_tuples(phases),
                                 [np.asarray(e, dtype=float) for e in R_errors])


def conduction_phase(result, weight: float, kind: Optional[str] = None) -> ConductionPhase:
    """A ConductionPhase from a solve_conductivity result: "crack" for a crack, else "pore" for k1 = 0 and
    "inhomogeneity" otherwise (or as `kind` says)."""
    if result.crack:
        return ConductionPhase("crack", float(weight), result.R, 0.0)
    kind = kind or ("pore" if result.k1 == 0 else "inhomogeneity")
    return ConductionPhase(kind, float(weight), result.R, result.k1)


def crack_cross_property_ratio(elastic, conduction) -> float:
    """H33 / R33 of one crack solved by solve_crack and solve_conductivity on the same flags.

    The normal opening and the potential jump solve the same operator, so
    the ratio is 2 (1 - n0^2) k0 / E0 for every crack shape and every grid.
    """
    if not conduction.crack:
        raise ValueError("crack_cross_property_ratio needs a conduction result of a crack (2-D flags)")
    return float(elastic.H[2, 2] / conduction.R[2, 2])
