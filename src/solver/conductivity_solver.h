#pragma once
// The load cases of steady conduction: BiCGSTAB on the polarization
// coefficients of an inhomogeneity (three components per node, unit fields
// along x, y, z) or on the potential jump of an insulating planar crack (one
// component, unit normal flux), then the mean or the integral of the solution.
#include "kernels/conductivity_kernel.h"
#include "model/problem_setup.h"
#include "numlib/convolution.h"
#include "solver/bicgstab.h"
#include "solver/progress.h"

#include <Eigen/Dense>
#include <array>
#include <span>

namespace csolver {

inline constexpr int CONDUCTIVITY_COMPONENTS = 3;

// What is averaged over the inhomogeneity (or integrated over the crack):
// nodal, the coefficients themselves, whose sum times h^3 (h^2) is exactly
// the integral of the Gaussian-represented polarization (jump), tails
// outside the shape included; smoothed, the field evaluated at the flagged
// nodes by the Gaussian sum, which loses the tails beyond the surface.
enum class MeanEstimate { nodal, smoothed };

struct ConductivityOperator {
  ConductivityOperator(const Box& box, double contrast, PaddedConvolution& conv);

  const Box& box;
  double contrast;  // c of the formulation, at the nodes flagged 1
  PaddedConvolution& conv;
  Coupling kernel_coupling;
  Coupling gauss_coupling;
};

// A(x) = inside * (x - c K*x); out must not be x.
void apply_conductivity_operator(ConductivityOperator& op, std::span<const double> x, std::span<double> out);

struct ConductivitySolution {
  Eigen::Matrix3d mean = Eigen::Matrix3d::Zero();  // (load case, component) over the nodes flagged 1
  int conv_flag = 1;
  std::array<SolveStatus, 3> load_cases{};
};

// Right-hand side of load case n: a unit component n at every node flagged 1.
ConductivitySolution solve_conductivity_load_cases(const Box& box, double contrast, PaddedConvolution& conv,
                                                   double tol, MeanEstimate mean, const Progress& progress);

struct CrackFluxSolution {
  double jump_sum = 0;  // sum of the jump over the crack (times h^2: its integral)
  double max_jump = 0;  // the largest jump at a node of the sub-grid
  SolveStatus status;
  int conv_flag = 1;
};

// The single load case of an insulating crack: unit normal flux on the crack.
CrackFluxSolution solve_crack_flux(const CrackGrid& grid, PaddedConvolution& conv, double tol, MeanEstimate mean,
                                   const Progress& progress);

}  // namespace csolver
