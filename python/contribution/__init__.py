"""contribution: compliance and stiffness contribution tensors of one inhomogeneity
or one planar crack in an infinite isotropic matrix, on numpy arrays.

    import contribution as cs
    flags = cs.shapes.sphere(20, radius=0.5)          # bool (21, 21, 21), [i, j, k]
    r = cs.solve_inhomogeneity(flags, E0=1, n0=0.3, E1=10, n1=0.3)
    r.H, r.N, r.H_standard                            # 6x6 numpy arrays
    cs.solve_inhomogeneity(flags, 1, 0.3, 10, 0.3, keep_field=True).field  # (6, 6, N, N, N)

Modules:
    contribution.shapes     analytic shapes and images as flag arrays, by the
                            same code as the contribution_input program
    contribution.effective  non-interaction and Mori-Tanaka schemes,
                            concentration tensors, isotropic projections
    contribution.conductivity  solve_conductivity: resistivity and conductivity
                            contribution tensors R, K of the same shapes
    contribution.study      grid-refinement studies: tensors extrapolated to
                            h = 0 with error bars (also contribution.study())

Grid and tensor conventions: see solve_inhomogeneity, InhomogeneityResult and
docs/python.md.
"""

from ._solve import (Box, Cancelled, CrackResult, InhomogeneityResult, LoadCase, Material, ProgressEvent,
                     ResourceError, grid_step, node_coordinates, solve_crack, solve_inhomogeneity)
from .conductivity import ConductivityResult, solve_conductivity
from . import effective, shapes
from .shapes import ImageError
from .study import StudyLevel, StudyResult, study

__all__ = [
    "solve_inhomogeneity", "solve_crack", "InhomogeneityResult", "CrackResult", "LoadCase", "Box",
    "ProgressEvent", "Material", "Cancelled", "ResourceError", "ImageError", "grid_step", "node_coordinates",
    "shapes", "effective", "study", "StudyResult", "StudyLevel", "solve_conductivity", "ConductivityResult",
]
