#include "solver/bicgstab.h"

namespace contribution {

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

}  // namespace contribution

#include "solver/progress.h"

namespace csolver {

bool report_load_case(const Progress& progress, int load_case, const SolveStatus& status) {
  progress.finished(load_case, status);
  return status.converged && status.iterations < MAX_ITERATIONS;
}

}  // namespace csolver
