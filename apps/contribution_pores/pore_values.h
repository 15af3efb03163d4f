#pragma once
// The per-pore values that pores.vti carries and pores.png colours and plots.
#include "contribution_pores/pore_result.h"
#include "images/pore_properties.h"

namespace csolver::pores {

struct PoreValues {
  double volume = 0;        // physical units cubed (voxels times the voxel volume)
  double aspect_ratio = 0;  // shortest over longest semi-axis of the equivalent ellipsoid, in (0, 1]
  // Of the compliance contribution per unit pore volume, made dimensionless by
  // E0: the Frobenius norm of E0 H (6x6, standard Voigt order, engineering
  // shear) and E0 H33 (the compliance added along z per unit porosity).
  // NaN for a pore that was not solved.
  double H_norm = 0;
  double H33 = 0;
};

PoreValues pore_values(const image::PoreProperties& pore, const PoreResult& result, double E0);

}  // namespace csolver::pores
