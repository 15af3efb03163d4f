#include "solver/bicgstab.h"

namespace csolver {

const char* describe(Breakdown breakdown) {
  switch (breakdown) {
    case Breakdown::none: return "no breakdown";
    case Breakdown::zero_rho: return "<r_hat, r> is zero";
    case Breakdown::zero_r_hat_v: return "<r_hat, A p> is zero";
    case Breakdown::zero_t_t: return "A s is zero while s is not";
    case Breakdown::zero_omega: return "omega is zero";
    case Breakdown::non_finite: return "a non-finite value appeared";
  }
  return "unknown";
}

}  // namespace csolver

#include "solver/progress.h"

namespace csolver {

bool report_load_case(const Progress& progress, int load_case, const SolveStatus& status) {
  if (status.converged) progress.converged(load_case);
  if (status.breakdown != Breakdown::none) progress.broke_down(load_case, status);
  return status.converged && status.iterations < MAX_ITERATIONS;
}

}  // namespace csolver
