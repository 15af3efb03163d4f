#include "tensors/crack_results.h"

#include <algorithm>

namespace csolver {

void reduce_crack_load_case(int lc, std::span<const double> opening, const std::vector<std::int32_t>& crack_mask,
                            CrackReductions& reductions) {
  const int row = lc - 1;
  for (int k = 0; k < 3; ++k) {
    double maximum = 0.0;
    double sum = 0.0;
    for (std::size_t node = 0; node < crack_mask.size(); ++node) {
      const double value = opening[3 * node + static_cast<std::size_t>(k)];
      maximum = std::max(maximum, value);
      if (crack_mask[node] == 1) sum += value;
    }
    reductions.max_opening(row, k) = maximum;
    reductions.opening_integral(row, k) = sum;
  }
}

CrackTensors compute_crack_tensors(const ProblemSetup& setup, CrackReductions& reductions) {
  reductions.opening_integral *= setup.h * setup.h;
  CrackTensors out;
  // Shear loads open the crack along their own direction: traction along y
  // (load case 2) gives the yz entry, along x (load case 1) the xz entry.
  out.H_tensor(2, 2) = reductions.opening_integral(2, 2);
  out.H_tensor(3, 3) = reductions.opening_integral(1, 1);
  out.H_tensor(4, 4) = reductions.opening_integral(0, 0);
  const Matrix6 left = (-setup.C0) * out.H_tensor;
  out.N_tensor = left * setup.C0;
  return out;
}

}  // namespace csolver
