#include "tensors/inhomogeneity_results.h"

#include <array>
#include <cmath>
#include <utility>

namespace csolver {

namespace {
constexpr std::array<std::pair<int, int>, 6> TESTED_PAIRS{{{0, 1}, {0, 2}, {1, 2}, {3, 4}, {3, 5}, {4, 5}}};
}

Matrix6 contrast_product(const ProblemSetup& setup, const Matrix6& mean_field) {
  const bool compliance = setup.formulation == Formulation::compliance;
  const Matrix6& D = compliance ? setup.dS : setup.dC;
  // Under compliance, dS returns engineering shear strains, which would put
  // the factor 2 on the load-case index instead of on the strain; the weights
  // move it back so that the normal-shear coupling blocks come out physical.
  // They are 1 wherever a shape has three mirror planes (zero coupling).
  static constexpr double w[6] = {1, 1, 1, 2, 2, 2};
  Matrix6 P;
  for (int c = 0; c < 6; ++c)
    for (int j = 0; j < 6; ++j) {
      double sum = 0;
      for (int k = 0; k < 6; ++k) sum += D(j, k) * mean_field(k, c);
      P(c, j) = compliance ? (w[c] / w[j]) * sum : sum;
    }
  return P;
}

double small_entry_bound(const ProblemSetup& setup) {
  return setup.formulation == Formulation::compliance ? SMALL_ENTRY / setup.E0 : SMALL_ENTRY * setup.E0;
}

void clean_and_reorder(Matrix6& P, double bound) {
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      if (std::fabs(P(r, c)) < bound) P(r, c) = 0;
  P.row(3).swap(P.row(5));
  P.col(3).swap(P.col(5));
}

int symmetry_test(const Matrix6& P) {
  int flag = 1;
  // A ratio that is not a number (both zero) passes, an infinite one fails.
  for (auto [a, b] : TESTED_PAIRS)
    if (std::fabs(P(a, b) / P(b, a)) > SYMMETRY_RATIO) flag = 0;
  return flag;
}

void symmetrize(Matrix6& P) {
  for (auto [a, b] : TESTED_PAIRS) P(a, b) = P(b, a) = (P(a, b) + P(b, a)) * 0.5;
  for (int r = 0; r < 3; ++r)
    for (int s = 0; s < 3; ++s) P(r, 3 + s) = P(3 + s, r);
}

InhomogeneityTensors compute_contribution_tensors(const ProblemSetup& setup, const Matrix6& mean_field) {
  InhomogeneityTensors out;
  Matrix6 P = contrast_product(setup, mean_field);
  clean_and_reorder(P, small_entry_bound(setup));
  out.symmetry_flag = symmetry_test(P);
  if (out.symmetry_flag == 1) symmetrize(P);
  out.contrast_product = P;
  if (setup.formulation == Formulation::compliance) {
    out.H_tensor = P;
    const Matrix6 left = (-setup.C0) * P;
    out.N_tensor = left * setup.C0;
  } else {
    out.N_tensor = P;
    const Matrix6 left = (-setup.S0) * P;
    out.H_tensor = left * setup.S0;
  }
  out.mean_field = mean_field;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      if (std::fabs(out.mean_field(r, c)) < MEAN_FLOOR) out.mean_field(r, c) = 0;
  return out;
}

}  // namespace csolver
