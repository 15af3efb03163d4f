"""Solving one inhomogeneity or one planar crack: numpy in, numpy out.

Grid. A problem lives on the regular grid of N = M + 1 nodes per axis over the
cube [-1, 1]^3, grid step h = 2/M (formed in single precision, as the console
program lays its grids out). Node [i, j, k] lies at (-1 + i h, -1 + j h,
-1 + k h): the first index runs along x, the second along y, the third along z,
as the node records of input.txt do. Flags arrays are indexed the same way:
flags[i, j, k] for a volume, flags[i, j] for the crack plane. Any memory
layout is accepted; the library itself stores x fastest (Fortran order), which
is the layout the functions of contribution.shapes return.

Tensors. Results are 6x6 numpy arrays in Voigt order with engineering shear
strains, exactly as the console program reports them: rows and columns 1-3 are
11, 22, 33; rows and columns 4-6 are the shear pairs in the order
`result.shear_order` names: ("23", "13", "12") under the compliance
formulation and for cracks, ("12", "13", "23") under the stiffness
formulation. `H_standard` and `N_standard` give every result in the standard
order 11, 22, 33, 23, 13, 12 that contribution.effective works in.
"""

from __future__ import annotations

import dataclasses
import numbers
from typing import Callable, NamedTuple, Optional

import numpy as np

from . import _contribution as _c

Cancelled = _c.Cancelled
ResourceError = _c.ResourceError
Cancelled.__module__ = ResourceError.__module__ = "contribution"


class Material(NamedTuple):
    """An isotropic material: Young's modulus E > 0, Poisson's ratio -1 < nu < 0.5."""

    E: float
    nu: float


class LoadCase(NamedTuple):
    """How one load case ended.

    iterations: BiCGSTAB iterations; error: Euclidean norm of the last
    solution update; converged: error <= tol (or the half-step residual
    vanished); breakdown: "none", or why BiCGSTAB stopped early ("zero_rho",
    "zero_r_hat_v", "zero_t_t", "zero_omega", "non_finite"). A load case that
    did not converge keeps its last iterate.
    """

    iterations: int
    error: float
    converged: bool
    breakdown: str


class Box(NamedTuple):
    """Bounding box of the flagged nodes in grid indices (i, j, k).

    Half-open along each axis: nodes offset[a] .. offset[a] + extent[a] - 1.
    For a crack the third entries are 0 and 1.
    """

    offset: tuple
    extent: tuple


class ProgressEvent(NamedTuple):
    """What a progress callable receives while a solve runs.

    kind: "kernel_ready" (the kernel is built and transformed; load_case 0),
    "iteration" (one BiCGSTAB iteration of load case `load_case`, counted from
    1, with `error` the norm of its update), or "load_case_finished" (with
    `status`, a LoadCase; `iteration` and `error` repeat its last values).
    """

    kind: str
    load_case: int
    iteration: int
    error: float
    status: Optional[LoadCase]


_SHEAR_PAIRS = {"yz_xz_xy": ("23", "13", "12"), "xy_xz_yz": ("12", "13", "23")}


@dataclasses.dataclass(frozen=True, repr=False)
class _Result:
    H: np.ndarray
    N: np.ndarray
    shear_order: tuple
    load_cases: list
    conv_flag: int
    symmetry_flag: int
    formulation: str
    elapsed_seconds: float
    seconds: dict
    box: Box
    M: int
    h: float
    matrix: Material
    tol: float

    @property
    def components(self) -> tuple:
        """Row and column labels of H and N: ("11", "22", "33") + shear_order."""
        return ("11", "22", "33") + self.shear_order

    @property
    def converged(self) -> bool:
        """Every load case met tol before the iteration limit (conv_flag == 1)."""
        return self.conv_flag == 1

    @property
    def H_standard(self) -> np.ndarray:
        """H in the standard order 11, 22, 33, 23, 13, 12 (engineering shear)."""
        return _c.tensor_to_standard_order(self.H, self.formulation)

    @property
    def N_standard(self) -> np.ndarray:
        """N in the standard order 11, 22, 33, 23, 13, 12 (engineering shear)."""
        return _c.tensor_to_standard_order(self.N, self.formulation)

    def __repr__(self) -> str:
        iterations = [c.iterations for c in self.load_cases]
        return (f"<{type(self).__name__} M={self.M} formulation={self.formulation} conv_flag={self.conv_flag} "
                f"iterations={iterations} elapsed={self.elapsed_seconds:.3g} s>")


@dataclasses.dataclass(frozen=True, repr=False)
class InhomogeneityResult(_Result):
    """The contribution tensors of one inhomogeneity.

    H: compliance contribution tensor (remote stress -> extra average strain),
        per unit volume of the inhomogeneity, in units of 1/E0.
    N: stiffness contribution tensor (remote strain -> extra average stress),
        per unit volume, in units of E0; N = -C0 H C0.
    Both 6x6, Voigt order, engineering shear, shear rows and columns in
    `shear_order`: ("23", "13", "12") under the compliance formulation
    (E1/E0 <= 1: soft inclusions and pores), ("12", "13", "23") under the
    stiffness formulation (E1/E0 > 1). `H_standard`, `N_standard` and
    `mean_field_standard` reorder to 11, 22, 33, 23, 13, 12.
    mean_field: the report's "Mean stress", 6x6 with row = load case and
        column = component, both in the solver's component order (11, 22,
        33, 12, 13, 23 under the compliance formulation; 11, 22, 33, 23, 13,
        12 under the stiffness formulation), tensor shear components (no
        factor 2): the mean over the inhomogeneity's nodes of the solved field
        for a unit right-hand side of one component. The field solved for is
        the contrast times the stress (strain), a polarization, so this is NOT
        the concentration tensor; contribution.effective.concentration_tensor
        turns it into one (docs/effective.md, "What mean_field is"). Entries
        below 1e-6 in magnitude are zero, as the report prints them.
    field: with keep_field=True the solved fields, shape (6, 6, N, N, N),
        indexed [load_case, component, i, j, k]: the field at the nodes (the
        Gaussian sum of the solved coefficients: contrast times stress or
        strain, tensor shear), whose mean over the inhomogeneity is
        mean_field under mean_field="smoothed" (the default); load case
        and component BOTH in the standard order 11, 22, 33, 23, 13, 12
        whatever the formulation; zero off the box, the Gaussians' tail at
        box nodes outside the inhomogeneity (read it where flags == 1).
        None otherwise.
    load_cases: six LoadCase (iterations, error, converged, breakdown).
    conv_flag: 1 if every load case converged. symmetry_flag: 1 if the
        contrast product passed the solver's symmetry test.
    formulation: "compliance" or "stiffness". box: the flagged nodes' Box.
    M, h: grid intervals and step. elapsed_seconds: wall time of the solve;
        seconds: the stages (setup, kernel, solve, total).
    matrix, inhomogeneity: the materials; tol: the tolerance.
    """

    mean_field: np.ndarray = None
    inhomogeneity: Material = None
    formulation_rule: str = "specified"
    mean_field_estimate: str = "smoothed"
    field: Optional[np.ndarray] = None

    @property
    def mean_field_standard(self) -> np.ndarray:
        """mean_field with rows and columns in the standard order 11, 22, 33, 23, 13, 12."""
        return _c.mean_field_to_standard_order(self.mean_field, self.formulation)


@dataclasses.dataclass(frozen=True, repr=False)
class CrackResult(_Result):
    """The contribution tensors of one planar crack (in the plane z = const).

    H: compliance contribution tensor, the integral of the opening over the
        crack under unit tractions, NOT divided by any volume (its weight in a
        scheme is the number density of cracks), lengths in the units of the
        grid cube [-1, 1]^3. N = -C0 H C0. Both 6x6, Voigt order, engineering
        shear, shear order ("23", "13", "12"), which is the standard order.
    max_opening: 3x3, row = load case (unit traction along x, y, z; z normal
        to the crack), column = opening component x, y, z: the largest value.
    opening: with keep_opening=True the opening fields, shape (3, 3, N, N),
        indexed [load_case, component, i, j]; zero off the crack's box.
        None otherwise.
    kernel: "exact" or "specified". load_cases: three LoadCase.
    conv_flag, symmetry_flag (always 1: no symmetry test for cracks), box,
    M, h, elapsed_seconds, seconds, matrix, tol: as for inhomogeneities.
    formulation is "crack".
    """

    max_opening: np.ndarray = None
    opening: Optional[np.ndarray] = None
    kernel: str = "exact"


def _flags_array(flags, rank: int) -> np.ndarray:
    a = np.asarray(flags)
    what = "(N, N, N) indexed [i, j, k]" if rank == 3 else "(N, N) indexed [i, j] (the crack plane)"
    if a.dtype != np.bool_ and not np.issubdtype(a.dtype, np.integer):
        raise TypeError(f"flags must be a bool or integer array, found dtype {a.dtype} "
                        "(for a float image, threshold it first: flags = image > level)")
    if a.ndim != rank:
        raise ValueError(f"flags must be a {rank}-D array of shape {what}, found {a.ndim}-D shape {a.shape}")
    if len(set(a.shape)) != 1:
        raise ValueError(f"flags must have shape {what} with N nodes along every axis, found shape {a.shape}")
    if a.dtype != np.bool_ and a.size and np.dtype(a.dtype).itemsize >= 4:
        lo, hi = int(a.min()), int(a.max())
        if lo < -2**31 or hi >= 2**31:
            raise ValueError(f"flags must fit in 32 bits, found values from {lo} to {hi}")
    return a.astype(np.int32, copy=False)


def _memory_bytes(machine_memory_bytes) -> int:
    if machine_memory_bytes is None:
        return _c.physical_memory_bytes()
    if machine_memory_bytes < 0:
        raise ValueError(f"found machine_memory_bytes = {machine_memory_bytes}, expected >= 0 (0: no check)")
    return int(machine_memory_bytes)


# The command lines' limit: more threads than this is a mistake, not a machine.
_MOST_THREADS = 1024


def _threads(threads) -> int:
    if isinstance(threads, bool) or not isinstance(threads, numbers.Integral):
        raise TypeError(f"threads must be a whole number (int), found {type(threads).__name__} {threads!r}")
    if not 0 <= threads <= _MOST_THREADS:
        raise ValueError(f"found threads = {threads}, expected 0 (OpenMP's default) or a whole number from 1 to "
                         f"{_MOST_THREADS}")
    return int(threads)


def _real(name: str, value) -> float:
    """A number argument as the command lines take it: a real number, not text or a bool."""
    if isinstance(value, bool) or not isinstance(value, numbers.Real):
        raise TypeError(f"{name} must be a real number, found {type(value).__name__} {value!r}")
    return float(value)


def _forwarder(progress: Optional[Callable]) -> Optional[Callable]:
    if progress is None:
        return None

    def forward(kind, load_case, iteration, error, status):
        event = ProgressEvent(kind, load_case, iteration, error, None if status is None else LoadCase(*status))
        answer = progress(event)
        return answer is None or bool(answer)

    return forward


def _common_fields(raw: dict, formulation: str, matrix: Material, tol: float) -> dict:
    return dict(
        H=raw["H"], N=raw["N"], shear_order=_SHEAR_PAIRS[raw["shear_order"]],
        load_cases=[LoadCase(*c) for c in raw["load_cases"]], conv_flag=raw["conv_flag"],
        symmetry_flag=raw["symmetry_flag"], formulation=formulation, elapsed_seconds=raw["seconds"]["total"],
        seconds=raw["seconds"], box=Box(*raw["box"]), M=raw["M"], h=raw["h"], matrix=matrix, tol=tol)


def solve_inhomogeneity(flags, E0: float, n0: float, E1: float, n1: float, tol: float = 1e-6, threads: int = 0,
                        measure_plans: bool = True, progress: Optional[Callable] = None,
                        machine_memory_bytes: Optional[int] = None, formulation: str = "specified",
                        mean_field: str = "smoothed", keep_field: bool = False) -> InhomogeneityResult:
    """Contribution tensors H and N of one inhomogeneity in an infinite isotropic matrix.

    flags: array of shape (N, N, N), N = M + 1 >= 2, bool or integer, indexed
        [i, j, k] with node [i, j, k] at (-1 + i h, -1 + j h, -1 + k h): i
        along x, j along y, k along z, as in input.txt. 1 (True) marks the
        inhomogeneity; other nonzero values are outside but weight the node
        in the operator, as in the console program.
    E0, n0: matrix Young's modulus and Poisson's ratio; E1, n1: the
        inhomogeneity's. E1 = 0.0 is an exact void, E1 = math.inf an exact
        rigid inclusion (both solved under the bounded formulation).
    formulation: "specified" (default: the console program's rule, stiffness
        for E1/E0 > 1, compliance otherwise), "bounded" (the opposite: the
        contrast stays bounded, few iterations at strong contrast; what
        study() uses), "stiffness" or "compliance".
    mean_field: "smoothed" (default, the console program's), "coefficient"
        (the mean of the solved coefficients; what study() uses) or
        "corrected" (docs/validation.md compares them). The defaults keep
        the console program's numbers, which effective.concentration_tensor
        expects.
    tol: BiCGSTAB stops a load case when the update norm is <= tol.
    keep_field: also return the solved fields (result.field, shape
        (6, 6, N, N, N), [load_case, component, i, j, k], both in the
        standard order 11, 22, 33, 23, 13, 12; the field at the nodes, whose
        mean over the inhomogeneity is the "smoothed" mean_field); 288 N^3
        bytes more.
    threads: OpenMP threads, 0 for OpenMP's default.
    measure_plans: FFTW_MEASURE (True) or FFTW_ESTIMATE (False: quicker
        start, slower iterations; results then repeat bit for bit).
    progress: a callable taking a ProgressEvent; returning False (any false
        value but None) stops the solve with contribution.Cancelled, and an
        exception it raises stops the solve and propagates.
    machine_memory_bytes: refuse a problem estimated to need more, with
        contribution.ResourceError, before allocating; None: this machine's
        memory; 0: no check.

    The solve runs without the GIL. Ctrl-C (SIGINT) raises KeyboardInterrupt
    within one iteration once the kernel is ready (the kernel stage itself is
    not interrupted). Solves from several threads run one at a time.
    Bad input (wrong shape, N < 2, no node flagged 1, E <= 0, Poisson's ratio
    outside (-1, 0.5), tol < 0) raises ValueError with the library's message.

    Returns an InhomogeneityResult: H, N, mean_field (6x6, conventions in its
    docstring), load_cases, conv_flag, symmetry_flag, formulation,
    shear_order, elapsed_seconds, box, and H_standard, N_standard,
    mean_field_standard in the order 11, 22, 33, 23, 13, 12.
    """
    a = _flags_array(flags, 3)
    matrix, inhomogeneity = Material(_real("E0", E0), _real("n0", n0)), Material(_real("E1", E1), _real("n1", n1))
    tol = _real("tol", tol)
    contrast = _c.contrast_problem(matrix.E, inhomogeneity.E)
    if contrast:
        raise ValueError(contrast)
    raw = _c.solve_inhomogeneity(a, matrix.E, matrix.nu, inhomogeneity.E, inhomogeneity.nu, tol, _threads(threads),
                                 bool(measure_plans), _memory_bytes(machine_memory_bytes), _forwarder(progress),
                                 str(formulation), str(mean_field), bool(keep_field))
    field = raw["field"]
    if field is not None:
        field = field.swapaxes(2, 4)  # the library's (lc, c, k, j, i) read as [lc, c, i, j, k]
    return InhomogeneityResult(**_common_fields(raw, raw["formulation"], matrix, tol), mean_field=raw["mean_field"],
                               inhomogeneity=inhomogeneity, formulation_rule=raw["formulation_rule"],
                               mean_field_estimate=raw["mean_field_estimate"], field=field)


def solve_crack(flags, E0: float, n0: float, tol: float = 1e-6, kernel: str = "exact", keep_opening: bool = False,
                threads: int = 0, measure_plans: bool = True, progress: Optional[Callable] = None,
                machine_memory_bytes: Optional[int] = None) -> CrackResult:
    """Contribution tensors H and N of one planar crack in an infinite isotropic matrix.

    flags: array of shape (N, N), N = M + 1 >= 2, bool or integer, the crack
        plane indexed [i, j] with node [i, j] at (-1 + i h, -1 + j h): 1 (True)
        marks the crack. The crack's normal is z.
    E0, n0: the matrix. tol: as for solve_inhomogeneity.
    kernel: "exact" (the traction kernel to machine precision at every
        distance; converges under grid refinement) or "specified" (the
        original program's truncated far forms; what the console program
        uses unless CONTRIBUTION_PLANAR_KERNEL=exact). docs/planar_kernel.md.
    keep_opening: also return the opening fields (result.opening, shape
        (3, 3, N, N), [load_case, component, i, j]).
    threads, measure_plans, progress, machine_memory_bytes: as for
        solve_inhomogeneity; so are interruption and errors.

    Returns a CrackResult: H, N (6x6, standard order, H not divided by any
    volume), max_opening (3x3), load_cases, conv_flag, symmetry_flag,
    elapsed_seconds, box, kernel, opening.
    """
    a = _flags_array(flags, 2)
    if kernel not in ("exact", "specified"):
        raise ValueError(f"found kernel = {kernel!r}, expected 'exact' or 'specified'")
    matrix, tol = Material(_real("E0", E0), _real("n0", n0)), _real("tol", tol)
    raw = _c.solve_crack(a, matrix.E, matrix.nu, tol, kernel == "exact", bool(keep_opening), _threads(threads),
                         bool(measure_plans), _memory_bytes(machine_memory_bytes), _forwarder(progress))
    opening = raw["opening"]
    if opening is not None:
        opening = opening.swapaxes(2, 3)  # the library's (lc, c, j, i) read as [lc, c, i, j]
    return CrackResult(**_common_fields(raw, "crack", matrix, tol), max_opening=raw["max_opening"], opening=opening,
                       kernel=kernel)


def grid_step(M: int) -> float:
    """The grid step of M intervals as the library forms it: 2/M in single precision."""
    return _c.grid_step(int(M))


def node_coordinates(M: int) -> np.ndarray:
    """The N = M + 1 node coordinates along each axis, -1 + i h, as the library and input.txt place them."""
    return -1.0 + np.arange(int(M) + 1) * grid_step(M)


