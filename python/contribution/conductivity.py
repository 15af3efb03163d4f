"""Steady conduction past one inhomogeneity or one insulating planar crack.

The same flags, grid and options as solve_inhomogeneity and solve_crack; the
results are the resistivity and conductivity contribution tensors R and K,
3x3 numpy arrays over x, y, z (docs/conductivity.md):

    K: under a uniform applied field e0 (minus the potential gradient) the
       inhomogeneity adds K e0 (V / V_total) to the mean flux; per unit volume
       of the inhomogeneity (its flagged nodes times h^3).
    R: under an applied flux q0 it adds R q0 (V / V_total) to the mean field;
       R = -K / k0^2. For a crack R is NOT divided by any volume and only
       R33 (z, the crack's normal) is nonzero.
"""

from __future__ import annotations

import dataclasses
import math
from typing import Callable, Optional

import numpy as np

from . import _contribution as _c
from ._solve import Box, LoadCase, _flags_array, _forwarder, _memory_bytes, _threads


@dataclasses.dataclass(frozen=True, repr=False)
class ConductivityResult:
    """R and K of one inhomogeneity or insulating crack.

    R, K: 3x3 (see the module's docstring). crack: True for a crack.
    formulation: "field" (the unknown is the polarization (k1 - k0) e; taken
        for k1 <= k0, exact for an insulator) or "flux" (the dual
        polarization (1/k1 - 1/k0) q; k1 > k0, exact for a perfect conductor).
    mean: "nodal" (inhomogeneities) or "smoothed" (cracks): the estimate the
        tensors are formed from, chosen by measurement.
    mean_field: inhomogeneity, 3x3, row = load case, column = component: the
        mean field (field formulation) or flux (flux formulation) inside per
        unit applied one, the concentration tensor. Zero for a crack.
    max_jump: crack: the largest potential jump for unit normal flux.
    load_cases: three LoadCase (unit fields or fluxes along x, y, z), one
        for a crack (unit normal flux). conv_flag: 1 if all converged.
    k0, k1, tol, M, h, box, elapsed_seconds, seconds: the problem and the run.
    """

    R: np.ndarray
    K: np.ndarray
    crack: bool
    formulation: str
    mean: str
    mean_field: np.ndarray
    max_jump: float
    load_cases: list
    conv_flag: int
    k0: float
    k1: float
    tol: float
    M: int
    h: float
    box: Box
    elapsed_seconds: float
    seconds: dict

    @property
    def converged(self) -> bool:
        """Every load case met tol before the iteration limit (conv_flag == 1)."""
        return self.conv_flag == 1

    def __repr__(self) -> str:
        iterations = [c.iterations for c in self.load_cases]
        kind = "crack" if self.crack else f"k1/k0={self.k1 / self.k0:g}"
        return (f"<ConductivityResult M={self.M} {kind} formulation={self.formulation} conv_flag={self.conv_flag} "
                f"iterations={iterations} elapsed={self.elapsed_seconds:.3g} s>")


def solve_conductivity(flags, k0: float = 1.0, k1: Optional[float] = None, tol: float = 1e-6, threads: int = 0,
                       measure_plans: bool = True, progress: Optional[Callable] = None,
                       machine_memory_bytes: Optional[int] = None) -> ConductivityResult:
    """Resistivity and conductivity contribution tensors R and K of one shape.

    flags: (N, N, N) [i, j, k] for an inhomogeneity, as solve_inhomogeneity
        takes them; (N, N) [i, j] for an insulating planar crack (normal z),
        as solve_crack takes them. 1 (True) marks the shape.
    k0: the matrix conductivity, finite and > 0.
    k1: the inhomogeneity's conductivity, 0 (insulator) to math.inf (perfect
        conductor); required for an inhomogeneity, not taken for a crack
        (cracks are insulating: no flux across their faces).
    tol, threads, measure_plans, progress, machine_memory_bytes: as for
        solve_inhomogeneity; so are interruption and errors.

    Returns a ConductivityResult with R, K and load_cases.
    """
    a = np.asarray(flags)
    if a.ndim not in (2, 3):
        raise ValueError(f"flags must be a 3-D array (inhomogeneity) or a 2-D array (crack plane), "
                         f"found {a.ndim}-D shape {a.shape}")
    crack = a.ndim == 2
    a = _flags_array(a, a.ndim)
    if crack and k1 is not None:
        raise ValueError("k1 does not apply to a crack: conduction cracks are insulating (give 3-D flags for an "
                         "inhomogeneity)")
    if not crack and k1 is None:
        raise ValueError("an inhomogeneity needs k1, its conductivity (0 for an insulator, math.inf for a perfect "
                         "conductor)")
    k0 = float(k0)
    k1 = 0.0 if crack else float(k1)
    tol = float(tol)
    raw = _c.solve_conductivity(a, k0, k1, tol, _threads(threads), bool(measure_plans),
                                _memory_bytes(machine_memory_bytes), _forwarder(progress))
    return ConductivityResult(
        R=raw["R"], K=raw["K"], crack=raw["crack"], formulation=raw["formulation"], mean=raw["mean"],
        mean_field=raw["mean_field"], max_jump=raw["max_jump"], load_cases=[LoadCase(*c) for c in raw["load_cases"]],
        conv_flag=raw["conv_flag"], k0=k0, k1=math.inf if math.isinf(k1) else k1, tol=tol, M=raw["M"], h=raw["h"],
        box=Box(*raw["box"]), elapsed_seconds=raw["seconds"]["total"], seconds=raw["seconds"])
