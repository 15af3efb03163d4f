#pragma once
// Plain types shared by the library's interface and its numerics.
#include <array>

namespace contribution {

using Tensor6 = std::array<std::array<double, 6>, 6>;  // [row][column]
using Tensor3 = std::array<std::array<double, 3>, 3>;

struct Material {
  double E = 1;     // Young's modulus, > 0
  double nu = 0.3;  // Poisson's ratio, in (-1, 0.5)
};

// stiffness: the field solved for is a strain, E1/E0 > 1. compliance: a stress
// (soft inhomogeneities and pores, E1/E0 <= 1).
enum class Formulation { stiffness, compliance };

// Steady conduction: field, the unknown is the polarization (k1 - k0) e,
// bounded for an insulator; flux, the dual polarization (1/k1 - 1/k0) q,
// bounded for a perfect conductor.
enum class ConductivityFormulation { field, flux };

// The shear pairs standing in rows and columns 4, 5, 6 of a result's tensors.
enum class ShearOrder { yz_xz_xy, xy_xz_yz };

// The crack's traction kernel: `specified` reproduces the original program
// (its radial functions switch to truncated far forms beyond 5.9 grid steps,
// which leaves a spurious local stiffness growing as the grid is refined);
// `exact` evaluates them to machine precision at every distance and converges.
enum class PlanarKernel { specified, exact };

// How the kernel spectra were stored: `octant` (frequencies >= 0 along every
// axis, the rest by parity) on a regular grid, where the kernels are exact
// mirror images of themselves; `half_spectrum` where coordinates are off it.
// Both give the same tensors up to rounding.
enum class KernelSpectra { half_spectrum, octant };
const char* describe(KernelSpectra spectra);  // "half_spectrum" or "octant"

enum class Breakdown { none, zero_rho, zero_r_hat_v, zero_t_t, zero_omega, non_finite };
const char* describe(Breakdown breakdown);

// How one load case ended. Load cases that did not converge keep their last
// iterate; the result's conv_flag records it.
struct LoadCaseStatus {
  int iterations = 0;
  double error = 0;        // Euclidean norm of the last solution update
  bool converged = false;  // error <= tol (or the half-step residual vanished)
  Breakdown breakdown = Breakdown::none;
};

}  // namespace contribution
