#include "solver/crack_solver.h"

#include <algorithm>

namespace csolver {

namespace {
Coupling crack_coupling() {
  return Coupling{CRACK_COMPONENTS, CRACK_COMPONENTS, {K11, K12, -1, K12, K22, -1, -1, -1, K33}, {1.0, 1.0, 1.0}};
}

template <class Convolution>
void apply_with(Convolution& conv, CrackOperator& op, std::span<const double> x, std::span<double> out) {
  conv.apply(op.kernel_coupling, x, out, [&](std::size_t first, std::size_t last) {
    for (std::size_t node = first; node < last; ++node) {
      const double mask = static_cast<double>(op.grid.crack_mask[node]);
      for (std::size_t k = 0; k < CRACK_COMPONENTS; ++k) out[CRACK_COMPONENTS * node + k] *= mask;
    }
  });
}
}  // namespace

CrackOperator::CrackOperator(const CrackGrid& grid_, PaddedConvolution& conv_, SinglePaddedConvolution* single_)
    : grid(grid_), conv(conv_), single(single_), kernel_coupling(crack_coupling()), gauss_coupling(diagonal_coupling(CRACK_COMPONENTS, KG)) {}

void apply_crack_operator(CrackOperator& op, std::span<const double> x, std::span<double> out) {
  apply_with(op.conv, op, x, out);
}

void apply_single_crack_operator(CrackOperator& op, std::span<const double> x, std::span<double> out) {
  apply_with(*op.single, op, x, out);
}

void evaluate_crack_field(CrackOperator& op, std::span<double> x) { op.conv.apply(op.gauss_coupling, x, x); }

SolveStatus solve_crack_load_case(CrackOperator& op, int lc, double tol, BicgstabWorkspace& work,
                                  std::span<double> crack_coef, const Progress& progress,
                                  RefinementWorkspace* refinement) {
  // The right-hand side is written where BiCGSTAB keeps its fixed shadow
  // residual, which starts as a copy of it.
  std::vector<double>& rhs = work.r_hat;
  std::fill(rhs.begin(), rhs.end(), 0.0);
  for (std::size_t node = 0; node < op.grid.size(); ++node)
    rhs[CRACK_COMPONENTS * node + static_cast<std::size_t>(lc - 1)] = static_cast<double>(op.grid.crack_mask[node]);
  auto observer = [&](int iteration, double error) { progress.iteration(lc, iteration, error); };
  auto apply_double = [&](std::span<const double> in, std::span<double> out) { apply_crack_operator(op, in, out); };
  const SolveStatus status =
      refinement ? refine(apply_double,
                          [&](std::span<const double> in, std::span<double> out) {
                            apply_single_crack_operator(op, in, out);
                          },
                          rhs, crack_coef, tol, work, *refinement, observer)
                 : bicgstab(apply_double, rhs, crack_coef, tol, work, observer);
  evaluate_crack_field(op, crack_coef);
  return status;
}

}  // namespace csolver
