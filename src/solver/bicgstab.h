#pragma once
// Unpreconditioned BiCGSTAB for any linear operator on a plain array, with
// the stopping test of this program: the Euclidean norm of the last solution
// update, not of the residual. Written once for the inhomogeneity and the
// crack solver.
#include "contribution/types.h"
#include "solver/vector_ops.h"

#include <cmath>
#include <cstddef>
#include <span>
#include <vector>

namespace csolver {

inline constexpr int MAX_ITERATIONS = 200;

// How a load case ended: iterations, last update norm, converged, and the
// breakdown that stopped it early, if any (zero_rho: <r_hat, r> = 0;
// zero_r_hat_v: <r_hat, A p> = 0; zero_t_t: A s = 0 while s is not;
// zero_omega: <t, s> = 0, the next beta would divide by zero; non_finite: a
// scalar of the iteration is infinite or not a number).
using contribution::Breakdown;
using SolveStatus = contribution::LoadCaseStatus;

// Vectors of one load case, allocated once for the run and reused. The
// update of the solution is formed on the fly and never stored.
struct BicgstabWorkspace {
  explicit BicgstabWorkspace(std::size_t size) : r(size), r_hat(size), p(size), v(size), s(size), t(size) {}
  std::vector<double> r, r_hat, p, v, s, t;
};

// Solves A x = b from x = 0. apply(in, out) writes A in to out;
// on_iteration(iter, err) is called after every iteration, before the test.
// b may be the workspace's r_hat itself: it is read only to start r and r_hat.
// Each pass over the vectors does one update together with the inner
// products that follow it (the next rho with the new residual).
// The general form: stop(error, x) decides after each full iteration whether
// the update norm `error` is small enough, and at most max_iterations run.
template <class Operator, class Observer, class Stop>
SolveStatus bicgstab_until(Operator&& apply, std::span<const double> b, std::span<double> x, Stop&& stop,
                           int max_iterations, BicgstabWorkspace& w, Observer&& on_iteration) {
  const std::size_t n = x.size();
  for (std::size_t i = 0; i < n; ++i) {
    x[i] = 0.0;
    // A(0) = 0 exactly, so the start residual is b itself.
    w.r[i] = b[i];
    w.r_hat[i] = w.r[i];
    w.v[i] = 0.0;
    w.p[i] = 0.0;
  }
  double rho_prev = 1.0, alpha = 1.0, omega = 1.0;
  double rho = dot(w.r_hat, w.r);
  SolveStatus status;
  auto finite = [](double value) { return std::isfinite(value); };
  for (int iter = 1; iter <= max_iterations; ++iter) {
    status.iterations = iter;
    if (rho == 0.0 || !finite(rho)) {
      status.breakdown = rho == 0.0 ? Breakdown::zero_rho : Breakdown::non_finite;
      return status;
    }
    const double beta = (rho / rho_prev) * (alpha / omega);
    update_direction(w.p, w.r, w.v, beta, omega);
    apply(std::span<const double>(w.p), std::span<double>(w.v));
    const double r_hat_v = dot(w.r_hat, w.v);
    if (r_hat_v == 0.0 || !finite(r_hat_v)) {
      status.breakdown = r_hat_v == 0.0 ? Breakdown::zero_r_hat_v : Breakdown::non_finite;
      return status;
    }
    alpha = rho / r_hat_v;
    if (update_half_residual(w.s, w.r, w.v, alpha)) {
      // The half step solved the system exactly; omega would be 0/0.
      status.error = std::sqrt(update_solution(x, w.p, alpha));
      status.converged = true;
      on_iteration(iter, status.error);
      return status;
    }
    apply(std::span<const double>(w.s), std::span<double>(w.t));
    const auto [t_t, t_s] = dot_pair(w.t, w.s);
    if (t_t == 0.0 || !finite(t_t)) {
      status.breakdown = t_t == 0.0 ? Breakdown::zero_t_t : Breakdown::non_finite;
      return status;
    }
    omega = t_s / t_t;
    // The next residual is formed here as well: every exit below leaves it unused.
    const auto [update_squared, rho_next] = update_solution_and_residual(x, w.r, w.s, w.p, w.t, w.r_hat, alpha, omega);
    status.error = std::sqrt(update_squared);
    on_iteration(iter, status.error);
    if (!finite(status.error)) {
      status.breakdown = Breakdown::non_finite;
      return status;
    }
    if (stop(status.error, std::span<const double>(x))) {
      status.converged = true;
      return status;
    }
    if (omega == 0.0) {
      status.breakdown = Breakdown::zero_omega;
      return status;
    }
    rho_prev = rho;
    rho = rho_next;
  }
  return status;
}

template <class Operator, class Observer>
SolveStatus bicgstab(Operator&& apply, std::span<const double> b, std::span<double> x, double tol,
                     BicgstabWorkspace& w, Observer&& on_iteration) {
  return bicgstab_until(
      apply, b, x, [tol](double error, std::span<const double>) { return error <= tol; }, MAX_ITERATIONS, w,
      on_iteration);
}

}  // namespace csolver
