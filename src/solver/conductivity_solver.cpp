#include "solver/conductivity_solver.h"

#include <algorithm>
#include <vector>

namespace csolver {

namespace {
Coupling conductivity_coupling() {
  Coupling coupling{CONDUCTIVITY_COMPONENTS, CONDUCTIVITY_COMPONENTS, {}, {1.0, 1.0, 1.0}};
  for (int o = 0; o < CONDUCTIVITY_COMPONENTS; ++o)
    for (int c = 0; c < CONDUCTIVITY_COMPONENTS; ++c) coupling.kernel_of.push_back(conductivity_entry(o, c));
  return coupling;
}

double inside(std::int32_t flag) { return flag == 1 ? 1.0 : 0.0; }
}  // namespace

ConductivityOperator::ConductivityOperator(const Box& box_, double contrast_, PaddedConvolution& conv_)
    : box(box_),
      contrast(contrast_),
      conv(conv_),
      kernel_coupling(conductivity_coupling()),
      gauss_coupling(diagonal_coupling(CONDUCTIVITY_COMPONENTS, CONDUCTIVITY_GAUSS)) {}

void apply_conductivity_operator(ConductivityOperator& op, std::span<const double> x, std::span<double> out) {
  const Box& box = op.box;
  const double c = op.contrast;
  op.conv.apply(op.kernel_coupling, x, out, [&](std::size_t first, std::size_t last) {
    for (std::size_t node = first; node < last; ++node) {
      const double mask = inside(box.box_flag[node]);
      for (std::size_t k = 0; k < CONDUCTIVITY_COMPONENTS; ++k) {
        const std::size_t at = CONDUCTIVITY_COMPONENTS * node + k;
        out[at] = mask * (x[at] - c * out[at]);
      }
    }
  });
}

ConductivitySolution solve_conductivity_load_cases(const Box& box, double contrast, PaddedConvolution& conv,
                                                   double tol, MeanEstimate mean, const Progress& progress) {
  ConductivityOperator op(box, contrast, conv);
  const std::size_t size = box.size() * CONDUCTIVITY_COMPONENTS;
  BicgstabWorkspace work(size);
  std::vector<double> x(size);
  ConductivitySolution solution;
  double flagged = 0;
  for (std::int32_t flag : box.box_flag) flagged += inside(flag);

  for (int n = 0; n < CONDUCTIVITY_COMPONENTS; ++n) {
    // The right-hand side lives where BiCGSTAB keeps its shadow residual, a copy of it.
    std::vector<double>& rhs = work.r_hat;
    std::fill(rhs.begin(), rhs.end(), 0.0);
    for (std::size_t node = 0; node < box.size(); ++node)
      rhs[CONDUCTIVITY_COMPONENTS * node + static_cast<std::size_t>(n)] = inside(box.box_flag[node]);
    const SolveStatus status = bicgstab(
        [&](std::span<const double> in, std::span<double> out) { apply_conductivity_operator(op, in, out); }, rhs, x,
        tol, work, [&](int iteration, double error) { progress.iteration(n + 1, iteration, error); });
    solution.load_cases[static_cast<std::size_t>(n)] = status;
    if (!report_load_case(progress, n + 1, status)) solution.conv_flag = 0;

    if (mean == MeanEstimate::smoothed) conv.apply(op.gauss_coupling, x, x);
    for (std::size_t node = 0; node < box.size(); ++node)
      if (box.box_flag[node] == 1)
        for (int c = 0; c < CONDUCTIVITY_COMPONENTS; ++c)
          solution.mean(n, c) += x[CONDUCTIVITY_COMPONENTS * node + static_cast<std::size_t>(c)];
  }
  solution.mean /= flagged;
  return solution;
}

CrackFluxSolution solve_crack_flux(const CrackGrid& grid, PaddedConvolution& conv, double tol, MeanEstimate mean,
                                   const Progress& progress) {
  const Coupling kernel = diagonal_coupling(1, CRACK_FLUX);
  auto apply = [&](std::span<const double> in, std::span<double> out) {
    conv.apply(kernel, in, out, [&](std::size_t first, std::size_t last) {
      for (std::size_t node = first; node < last; ++node) out[node] *= inside(grid.crack_mask[node]);
    });
  };
  BicgstabWorkspace work(grid.size());
  std::vector<double> jump(grid.size());
  std::vector<double>& rhs = work.r_hat;
  for (std::size_t node = 0; node < grid.size(); ++node) rhs[node] = inside(grid.crack_mask[node]);
  CrackFluxSolution solution;
  solution.status = bicgstab(apply, rhs, jump, tol, work,
                             [&](int iteration, double error) { progress.iteration(1, iteration, error); });
  if (!report_load_case(progress, 1, solution.status)) solution.conv_flag = 0;
  if (mean == MeanEstimate::smoothed) conv.apply(diagonal_coupling(1, CRACK_FLUX_GAUSS), jump, jump);
  for (std::size_t node = 0; node < grid.size(); ++node) {
    solution.max_jump = std::max(solution.max_jump, jump[node]);
    if (grid.crack_mask[node] == 1) solution.jump_sum += jump[node];
  }
  return solution;
}

}  // namespace csolver
