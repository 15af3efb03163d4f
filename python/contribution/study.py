"""Grid-refinement studies: one shape solved on several grids, every tensor
entry extrapolated to h = 0 with an error bar (the library's study driver, as
the contribution_study program runs it; docs/study.md states the rule).

    import contribution as cs
    s = cs.study(lambda M: cs.shapes.sphere(M, radius=0.5), [16, 20, 24, 28, 32],
                 E0=1, n0=0.3, E1=10, n1=0.3)
    s.H, s.H_error      # 6x6: the converged value lies in H +- H_error
"""

from __future__ import annotations

import dataclasses
from typing import Callable, List, Optional

import numpy as np

from . import _contribution as _c
from ._solve import (LoadCase, _SHEAR_PAIRS, _flags_array, _forwarder, _memory_bytes, _threads)


@dataclasses.dataclass
class StudyLevel:
    """One grid of a study: M, h = 2/M (single precision, as the solver uses
    it), H and N as the solver returns them (the study's shear order), the
    load cases, conv_flag and the solve's wall time."""

    M: int
    h: float
    H: np.ndarray
    N: np.ndarray
    load_cases: List[LoadCase]
    conv_flag: int
    elapsed_seconds: float


@dataclasses.dataclass
class StudyResult:
    """A finished study.

    levels: the StudyLevel of every grid, M increasing.
    H, N: every entry extrapolated to h = 0 (6x6, the solver's conventions:
        Voigt order, engineering shear, rows and columns 4-6 the shear pairs of
        `shear_order`).
    H_error, N_error: half-widths: the converged value lies in H +- H_error.
        Exact zeros of symmetry stay 0 +- 0.
    H_order: the convergence order estimated per entry (NaN without a trend);
    order: that of the largest diagonal entry of H.
    formulation: "stiffness", "compliance" or "crack".
    formulation_rule, mean_field_estimate: the contrast options taken (None
        for a crack).
    """

    levels: List[StudyLevel]
    H: np.ndarray
    H_error: np.ndarray
    N: np.ndarray
    N_error: np.ndarray
    H_order: np.ndarray
    order: float
    formulation: str
    shear_order: tuple
    formulation_rule: Optional[str] = None
    mean_field_estimate: Optional[str] = None
    precision: str = "mixed"


def study(shape, levels, E0: float = 1.0, n0: float = 0.3, E1: Optional[float] = None, n1: Optional[float] = None,
          tol: float = 1e-6, kernel: str = "exact", threads: int = 0, measure_plans: bool = True,
          progress: Optional[Callable] = None, on_level: Optional[Callable] = None,
          machine_memory_bytes: Optional[int] = None, formulation: str = "bounded",
          mean_field: str = "coefficient", precision: str = "mixed") -> StudyResult:
    """Solves `shape` at every M of `levels` and extrapolates H and N to h = 0.

    shape: a function M -> flags (a 3-D array (N, N, N) for an inhomogeneity,
        a 2-D array (N, N) of the crack plane for a crack; e.g.
        lambda M: cs.shapes.sphere(M, radius=0.5)), or a shape of
        contribution.shapes.define(...).
    levels: grid intervals M, increasing, at least three, each >= 4; five or
        more spanning a factor of two in h give a narrow bar.
    E0, n0, E1, n1, tol: as solve_inhomogeneity (E1 is required for an
        inhomogeneity; n1 defaults to n0); kernel: "exact" or "specified" for
        cracks. threads, measure_plans, progress, machine_memory_bytes,
        precision: as solve_inhomogeneity; progress events come from every level's solve.
    on_level: called with M after each level is solved.
    formulation, mean_field: as solve_inhomogeneity, but by default the
        measured choice of contribution_study: "bounded" and "coefficient"
        (docs/validation.md). E1 = 0.0 (void) and math.inf (rigid) are exact.

    Ctrl-C raises KeyboardInterrupt within one iteration. Bad levels or
    arguments raise ValueError.
    """
    at_level = shape.flags if hasattr(shape, "flags") and not callable(shape) else shape
    if not callable(at_level):
        raise TypeError("shape must be a function M -> flags or a shape of contribution.shapes.define")
    levels = [int(M) for M in levels]
    first = np.asarray(at_level(levels[0])) if levels else None
    crack = first is not None and first.ndim == 2
    if first is not None and first.ndim not in (2, 3):
        raise ValueError(f"the shape gave a {first.ndim}-D array, expected 3-D flags or the 2-D crack plane")
    if not crack and E1 is None:
        raise ValueError("an inhomogeneity needs E1, its Young's modulus")
    if kernel not in ("exact", "specified"):
        raise ValueError(f"kernel must be 'exact' or 'specified', found {kernel!r}")
    rank = 2 if crack else 3
    raw = _c.run_study(lambda M: _flags_array(at_level(M), rank), levels, crack, E0, n0,
                       E0 if E1 is None else E1, n0 if n1 is None else n1, tol, kernel == "exact",
                       _threads(threads), measure_plans, _memory_bytes(machine_memory_bytes),
                       _forwarder(progress), on_level, str(formulation), str(mean_field), str(precision))
    return StudyResult(
        levels=[StudyLevel(l["M"], l["h"], l["H"], l["N"], [LoadCase(*c) for c in l["load_cases"]], l["conv_flag"],
                           l["elapsed_seconds"]) for l in raw["levels"]],
        H=raw["H"]["value"], H_error=raw["H"]["error"], N=raw["N"]["value"], N_error=raw["N"]["error"],
        H_order=raw["H"]["order"], order=raw["H"]["dominant_order"], formulation=raw["formulation"],
        shear_order=_SHEAR_PAIRS[raw["shear_order"]], formulation_rule=raw["formulation_rule"],
        mean_field_estimate=raw["mean_field_estimate"], precision=raw["precision"])
