// Solves a soft sphere through the installed library and checks its bulk
// term against Eshelby's solution, so that a broken link or header shows.
#include "contribution/contribution.h"

#include <cmath>
#include <cstdio>

int main() {
  const int M = 12;
  contribution::InhomogeneityProblem problem;
  problem.inhomogeneity = {0.1, 0.3};
  problem.nodes_per_axis = M + 1;
  problem.flags.assign(static_cast<std::size_t>((M + 1) * (M + 1) * (M + 1)), 0);
  for (int k = 0; k <= M; ++k)
    for (int j = 0; j <= M; ++j)
      for (int i = 0; i <= M; ++i) {
        const double x = (2.0 * i - M) / M, y = (2.0 * j - M) / M, z = (2.0 * k - M) / M;
        problem.flags[static_cast<std::size_t>(i + (M + 1) * (j + (M + 1) * k))] = x * x + y * y + z * z <= 0.25;
      }
  contribution::SolveOptions options;
  options.measure_plans = false;
  const contribution::InhomogeneityResult r = contribution::solve_inhomogeneity(problem, options);
  // Eshelby: under a remote pressure the sphere's strain is uniform, scaled by
  // (3K0 + 4G0)/(3K1 + 4G0), so H11 + 2 H12 = (1/K1 - 1/K0) K1 (3K0 + 4G0) / (3K0 (3K1 + 4G0)).
  const double K0 = 1 / (3 * 0.4), G0 = 1 / 2.6, K1 = 0.1 / (3 * 0.4);
  const double eshelby = (1 / K1 - 1 / K0) * K1 * (3 * K0 + 4 * G0) / (3 * K0 * (3 * K1 + 4 * G0));
  const double volumetric = r.H[0][0] + 2 * r.H[0][1];
  std::printf("H11 + 2 H12 = %.6f, Eshelby %.6f, conv_flag = %d\n", volumetric, eshelby, r.conv_flag);
  // The grid of M = 12 is coarse: a tenth is what it resolves.
  return r.conv_flag == 1 && std::abs(volumetric / eshelby - 1) < 0.1 ? 0 : 1;
}
