#pragma once
// Iterative refinement in mixed precision: the residual of the
// double-precision operator, r = b - A x, is formed in double precision, and
// the correction A d = r is solved by BiCGSTAB on the operator whose
// transforms and kernel products run in single precision. The single-precision
// operator differs from A by rounding of relative size ~1e-7, so each
// correction is solved only until its update norm falls to a fixed fraction
// of the correction itself; the next residual, exact again up to double
// rounding, removes what single precision left. The solve ends when an inner
// iteration's update norm meets the tolerance, the test of the double-precision
// solve, with the correction then so small that its single-precision error
// lies orders of magnitude below it.
#include "solver/bicgstab.h"
#include "solver/vector_ops.h"

#include <algorithm>
#include <cmath>
#include <span>
#include <vector>

namespace csolver {

// Relative update norm at which a correction counts as solved: well above
// the single-precision noise of the operator (~1e-6), well below 1.
inline constexpr double REFINEMENT_INNER_REDUCTION = 1e-4;

// Vectors kept across the corrections: the right-hand side and the correction.
struct RefinementWorkspace {
  explicit RefinementWorkspace(std::size_t size) : b(size), d(size) {}
  std::vector<double> b, d;
};

// Solves A x = b from x = 0. apply_double and apply_single write A in to out;
// b may be w.r_hat. on_iteration(iter, err) counts iterations over all
// corrections; MAX_ITERATIONS bounds their sum. The status's error is the last
// update norm, its iterations the sum.
template <class DoubleOperator, class SingleOperator, class Observer>
SolveStatus refine(DoubleOperator&& apply_double, SingleOperator&& apply_single, std::span<const double> b,
                   std::span<double> x, double tol, BicgstabWorkspace& w, RefinementWorkspace& rw,
                   Observer&& on_iteration) {
  const std::size_t n = x.size();
  std::copy(b.begin(), b.end(), rw.b.begin());
  std::fill(x.begin(), x.end(), 0.0);
  std::vector<double>& r = w.r_hat;  // the residual of x, copied by BiCGSTAB into its own r
  std::copy(rw.b.begin(), rw.b.end(), r.begin());  // A 0 = 0: the first residual is b
  SolveStatus total;
  auto stop = [tol](double error, std::span<const double> d) {
    return error <= tol || error <= REFINEMENT_INNER_REDUCTION * std::sqrt(dot(d, d));
  };
  while (true) {
    if (all_zero(r)) {  // x solves the system to the last bit
      total.converged = true;
      return total;
    }
    const int done = total.iterations;
    const SolveStatus inner = bicgstab_until(
        apply_single, std::span<const double>(r), std::span<double>(rw.d), stop, MAX_ITERATIONS - done, w,
        [&](int iteration, double error) { on_iteration(done + iteration, error); });
    total.iterations = done + inner.iterations;
    total.error = inner.error;
    total.breakdown = inner.breakdown;
    for (std::size_t i = 0; i < n; ++i) x[i] += rw.d[i];
    if (!inner.converged) return total;  // a breakdown, or the iteration limit
    if (inner.error <= tol) {
      total.converged = true;
      return total;
    }
    if (total.iterations >= MAX_ITERATIONS) return total;
    apply_double(std::span<const double>(x), std::span<double>(r));
    for (std::size_t i = 0; i < n; ++i) r[i] = rw.b[i] - r[i];
  }
}

}  // namespace csolver
