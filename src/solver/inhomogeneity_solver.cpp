#include "solver/inhomogeneity_solver.h"

#include "kernels/volume_kernel.h"

#include <algorithm>

namespace csolver {

namespace {
Coupling volume_coupling() {
  Coupling coupling{VOLUME_COMPONENTS, VOLUME_COMPONENTS, {}, {1.0, 1.0, 1.0, 2.0, 2.0, 2.0}};
  // The shear components stand for both symmetric entries: weight 2.
  for (int o = 0; o < VOLUME_COMPONENTS; ++o)
    for (int c = 0; c < VOLUME_COMPONENTS; ++c) coupling.kernel_of.push_back(packed_entry(o, c));
  return coupling;
}
}  // namespace

InhomogeneityOperator::InhomogeneityOperator(const Box& box_, PaddedConvolution& conv_)
    : box(box_),
      conv(conv_),
      kernel_coupling(volume_coupling()),
      gauss_coupling(diagonal_coupling(VOLUME_COMPONENTS, VOLUME_GAUSS)) {}

void apply_operator(InhomogeneityOperator& op, std::span<const double> f, std::span<double> out) {
  // The node-wise contrast runs on each box plane as soon as the convolution
  // has written it, while it is still in cache, on the thread that wrote it.
  const Box& box = op.box;
  op.conv.apply(op.kernel_coupling, f, out, [&](std::size_t first, std::size_t last) {
    for (std::size_t node = first; node < last; ++node) {
      const double a = box.box_coef_vol[node];
      const double g = box.box_coef_shear[node];
      const double mask = static_cast<double>(box.box_flag[node]);
      double* y = &out[VOLUME_COMPONENTS * node];
      const double* fn = &f[VOLUME_COMPONENTS * node];
      const double tr = y[0] + y[1] + y[2];
      for (int c = 0; c < 3; ++c) y[c] = mask * (fn[c] - a * tr - g * y[c]);
      for (int c = 3; c < 6; ++c) y[c] = mask * (fn[c] - g * y[c]);
    }
  });
}

void evaluate_field(InhomogeneityOperator& op, std::span<double> x) { op.conv.apply(op.gauss_coupling, x, x); }

Matrix6 corrected_mean(const Matrix6& m, double a) {
  const Matrix6 I = Matrix6::Identity();
  return inverse6(I - (I - inverse6(m)) / a);
}

namespace {
// The mean over the flagged nodes of the Gaussian sum of the flagged nodes.
double flagged_fraction(InhomogeneityOperator& op, std::vector<double>& x, double flagged) {
  const Box& box = op.box;
  std::fill(x.begin(), x.end(), 0.0);
  for (std::size_t node = 0; node < box.size(); ++node)
    if (box.box_flag[node] == 1) x[VOLUME_COMPONENTS * node] = 1;
  evaluate_field(op, x);
  double sum = 0;
  for (std::size_t node = 0; node < box.size(); ++node)
    if (box.box_flag[node] == 1) sum += x[VOLUME_COMPONENTS * node];
  return sum / flagged;
}

void add_flagged(const Box& box, std::span<const double> x, int load_case, Matrix6& sum) {
  for (std::size_t node = 0; node < box.size(); ++node)
    if (box.box_flag[node] == 1)
      for (int c = 0; c < VOLUME_COMPONENTS; ++c) sum(load_case, c) += x[VOLUME_COMPONENTS * node + static_cast<std::size_t>(c)];
}
}  // namespace

InhomogeneitySolution solve_load_cases(const ProblemSetup& setup, const Box& box, PaddedConvolution& conv,
                                       const Progress& progress, const FieldSink& keep_field) {
  InhomogeneityOperator op(box, conv);
  const std::size_t size = box.size() * VOLUME_COMPONENTS;
  BicgstabWorkspace work(size);
  std::vector<double> x(size);
  InhomogeneitySolution solution;
  double flagged = 0;
  for (std::int32_t flag : box.box_flag)
    if (flag == 1) flagged += 1;

  for (int n = 0; n < VOLUME_COMPONENTS; ++n) {
    // Unit load of component n at every node, weighted by the node's flag,
    // written where BiCGSTAB keeps its fixed shadow residual: a copy of it.
    std::vector<double>& rhs = work.r_hat;
    std::fill(rhs.begin(), rhs.end(), 0.0);
    for (std::size_t node = 0; node < box.size(); ++node)
      rhs[VOLUME_COMPONENTS * node + static_cast<std::size_t>(n)] = static_cast<double>(box.box_flag[node]);

    const SolveStatus status = bicgstab(
        [&](std::span<const double> in, std::span<double> out) { apply_operator(op, in, out); }, rhs, x,
        setup.tol, work, [&](int iteration, double error) { progress.iteration(n + 1, iteration, error); });
    solution.load_cases[static_cast<std::size_t>(n)] = status;
    if (!report_load_case(progress, n + 1, status)) solution.conv_flag = 0;

    add_flagged(box, x, n, solution.coefficient_mean);
    evaluate_field(op, x);
    if (keep_field) keep_field(n, x);
    add_flagged(box, x, n, solution.smoothed_mean);
  }
  solution.smoothed_mean /= flagged;
  solution.coefficient_mean /= flagged;
  using contribution::MeanFieldEstimate;
  switch (setup.mean_field) {
    case MeanFieldEstimate::smoothed: solution.mean_field = solution.smoothed_mean; break;
    case MeanFieldEstimate::coefficient: solution.mean_field = solution.coefficient_mean; break;
    case MeanFieldEstimate::corrected:
      solution.flagged_fraction = flagged_fraction(op, x, flagged);
      solution.mean_field = corrected_mean(solution.coefficient_mean, solution.flagged_fraction);
      break;
  }
  return solution;
}

}  // namespace csolver
