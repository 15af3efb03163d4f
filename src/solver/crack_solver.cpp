#include "solver/crack_solver.h"

#include <algorithm>

namespace csolver {

namespace {
Coupling crack_coupling() {
  return Coupling{CRACK_COMPONENTS, CRACK_COMPONENTS, {K11, K12, -1, K12, K22, -1, -1, -1, K33}, {1.0, 1.0, 1.0}};
}
}  // namespace

CrackOperator::CrackOperator(const CrackGrid& grid_, PaddedConvolution& conv_)
    : grid(grid_), conv(conv_), kernel_coupling(crack_coupling()), gauss_coupling(diagonal_coupling(CRACK_COMPONENTS, KG)) {}

void apply_crack_operator(CrackOperator& op, std::span<const double> x, std::span<double> out) {
  op.conv.apply(op.kernel_coupling, x, out, [&](std::size_t first, std::size_t last) {
    for (std::size_t node = first; node < last; ++node) {
      const double mask = static_cast<double>(op.grid.crack_mask[node]);
      for (std::size_t k = 0; k < CRACK_COMPONENTS; ++k) out[CRACK_COMPONENTS * node + k] *= mask;
    }
  });
}

void evaluate_crack_field(CrackOperator& op, std::span<double> x) { op.conv.apply(op.gauss_coupling, x, x); }

SolveStatus solve_crack_load_case(CrackOperator& op, int lc, double tol, BicgstabWorkspace& work,
                                  std::span<double> crack_coef, const Progress& progress) {
  // The right-hand side is written where BiCGSTAB keeps its fixed shadow
  // residual, which starts as a copy of it.
  std::vector<double>& rhs = work.r_hat;
  std::fill(rhs.begin(), rhs.end(), 0.0);
  for (std::size_t node = 0; node < op.grid.size(); ++node)
    rhs[CRACK_COMPONENTS * node + static_cast<std::size_t>(lc - 1)] = static_cast<double>(op.grid.crack_mask[node]);
  const SolveStatus status = bicgstab(
      [&](std::span<const double> in, std::span<double> out) { apply_crack_operator(op, in, out); }, rhs, crack_coef,
      tol, work, [&](int iteration, double error) { progress.iteration(lc, iteration, error); });
  evaluate_crack_field(op, crack_coef);
  return status;
}

}  // namespace csolver
