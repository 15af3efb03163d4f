#pragma once
// The three load cases of a planar crack: unit tractions along x, y (in the
// crack plane) and z (normal). BiCGSTAB on the opening coefficients, three
// components per sub-grid node, then the Gaussian evaluation into openings.
#include "kernels/planar_kernel.h"
#include "numlib/convolution.h"
#include "solver/bicgstab.h"
#include "solver/progress.h"
#include "solver/refinement.h"

#include <span>
#include <vector>

namespace csolver {

inline constexpr int CRACK_COMPONENTS = 3;

struct CrackOperator {
  CrackOperator(const CrackGrid& grid, PaddedConvolution& conv, SinglePaddedConvolution* single = nullptr);

  const CrackGrid& grid;
  PaddedConvolution& conv;
  SinglePaddedConvolution* single;  // the same kernels in single precision, for mixed precision; or none
  Coupling kernel_coupling;  // in-plane block K11, K12, K22; normal K33
  Coupling gauss_coupling;
};

// y = mask * Re(K * x); out must not be x.
void apply_crack_operator(CrackOperator& op, std::span<const double> x, std::span<double> out);
// The same with the single-precision convolution (op.single must be set).
void apply_single_crack_operator(CrackOperator& op, std::span<const double> x, std::span<double> out);

// Replaces x by its convolution with the Gaussian (no mask): openings at the nodes.
void evaluate_crack_field(CrackOperator& op, std::span<double> x);

// Solves load case lc (1-3) into crack_coef (3 per node, then evaluated); by
// mixed-precision iterative refinement when refinement is given (op.single
// must then be set).
SolveStatus solve_crack_load_case(CrackOperator& op, int lc, double tol, BicgstabWorkspace& work,
                                  std::span<double> crack_coef, const Progress& progress,
                                  RefinementWorkspace* refinement = nullptr);

}  // namespace csolver
