#pragma once
// The contrast of a conducting inhomogeneity in the formulation chosen for
// it, and the resistivity and conductivity contribution tensors from the
// solved means.
#include "kernels/conductivity_kernel.h"

#include <Eigen/Dense>

namespace csolver {

struct ConductivityContrast {
  ConductivityFormulation formulation = ConductivityFormulation::field;
  // The operator's c: (k1 - k0)/k0 (field) or -(1/k1 - 1/k0) k0 (flux).
  double contrast = 0;
  // The load's scale: k1 - k0 (field) or 1/k1 - 1/k0 (flux); the mean of the
  // solution for a unit right-hand side times it is K (field) or R (flux).
  double scale = 0;
};

// The formulation whose contrast stays bounded: field for k1 <= k0 (exact
// for an insulator, c = -1), flux for k1 > k0 (exact for a perfect conductor,
// k1 = infinity, c = 1); `forced` overrides the choice (measurements).
ConductivityContrast conductivity_contrast(double k0, double k1);
ConductivityContrast conductivity_contrast(double k0, double k1, ConductivityFormulation forced);

struct ConductivityTensors {
  Eigen::Matrix3d R = Eigen::Matrix3d::Zero();
  Eigen::Matrix3d K = Eigen::Matrix3d::Zero();
};

// mean(load case, component): K (field) or R (flux) is scale * mean^T,
// symmetrized (the operator is symmetric; the iteration leaves tol-sized
// asymmetry), entries below 1e-12 of the largest diagonal one set to zero
// (rounding where mirror planes make them vanish); the other by R = -K / k0^2.
ConductivityTensors conductivity_tensors(const ConductivityContrast& contrast, double k0, const Eigen::Matrix3d& mean);

// An insulating crack normal to z: R33 is the integral of the potential jump
// for unit normal flux, h^2 times its nodal sum.
ConductivityTensors crack_conductivity_tensors(double k0, double h, double jump_sum);

}  // namespace csolver
