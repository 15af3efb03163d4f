#pragma once
// The six load cases of the inhomogeneity: BiCGSTAB on the box field of six
// components per node (components 1-3 normal, 4-6 tensor shear in the
// formulation's kernel order), then the Gaussian evaluation and the average
// over the flagged nodes.
#include "model/problem_setup.h"
#include "numlib/convolution.h"
#include "solver/bicgstab.h"
#include "solver/progress.h"

#include <array>
#include <functional>
#include <span>
#include <vector>

namespace csolver {

inline constexpr int VOLUME_COMPONENTS = 6;

// The discretized operator; the convolution must hold the transformed volume
// kernel.
struct InhomogeneityOperator {
  InhomogeneityOperator(const Box& box, PaddedConvolution& conv);

  const Box& box;
  PaddedConvolution& conv;
  Coupling kernel_coupling;  // output o, input c -> packed entry, shear inputs weighted 2
  Coupling gauss_coupling;
};

// A(f) = flag * (f - contrast(K * W f)); out must not be f.
void apply_operator(InhomogeneityOperator& op, std::span<const double> f, std::span<double> out);

// Replaces every component of x by its convolution with the Gaussian: the
// field at the nodes from the coefficients.
void evaluate_field(InhomogeneityOperator& op, std::span<double> x);

// Rows: load case, columns: component.
struct InhomogeneitySolution {
  Matrix6 mean_field = Matrix6::Zero();  // the estimate the setup asks for
  Matrix6 smoothed_mean = Matrix6::Zero();     // of the evaluated field over the nodes flagged 1
  Matrix6 coefficient_mean = Matrix6::Zero();  // of the solved coefficients over the nodes flagged 1
  // The mean over the flagged nodes of the Gaussian sum of the flagged nodes:
  // the part of that sum's mass that falls on flagged nodes, < 1.
  double flagged_fraction = 1;
  int conv_flag = 1;
  std::array<SolveStatus, 6> load_cases{};
};

// The coefficient mean with the interaction rescaled by 1 / a:
// (I - (I - m^-1) / a)^-1 (contribution/contrast.h, `corrected`).
Matrix6 corrected_mean(const Matrix6& coefficient_mean, double flagged_fraction);

// Receives each load case's field at the box nodes (the Gaussian sum of the
// coefficients, six components per node in the solver's order, x fastest),
// load cases counted from 0.
using FieldSink = std::function<void(int load_case, std::span<const double> field)>;

InhomogeneitySolution solve_load_cases(const ProblemSetup& setup, const Box& box, PaddedConvolution& conv,
                                       const Progress& progress, const FieldSink& keep_field = {});

}  // namespace csolver
