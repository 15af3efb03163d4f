#pragma once
// Small helpers shared by the tests: problem set-ups and a quiet progress sink.
#include "model/problem_setup.h"
#include "solver/progress.h"

namespace csolver::testing {

inline ProblemSetup make_setup(double E0, double n0, double E1, double n1, int M, double tol = 1e-6,
                               int problem_type = 1) {
  ProblemSetup setup;
  setup.E0 = E0;
  setup.n0 = n0;
  setup.E1 = E1;
  setup.n1 = n1;
  setup.problem_type = problem_type;
  setup.M = M;
  setup.N = M + 1;
  setup.h = grid_step(M);
  setup.tol = tol;
  derive_constants(setup);
  setup.formulation = choose_formulation(E1, E0);
  return setup;
}

inline Progress quiet() { return Progress{}; }

// Relative difference with an absolute floor, for values that may be near zero.
inline double relative_error(double computed, double expected, double floor = 1e-12) {
  const double scale = std::max(std::abs(expected), floor);
  return std::abs(computed - expected) / scale;
}

}  // namespace csolver::testing
