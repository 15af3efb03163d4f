#include "contribution_pores/pore_values.h"

#include <cmath>
#include <limits>

namespace csolver::pores {

PoreValues pore_values(const image::PoreProperties& pore, const PoreResult& result, double E0) {
  PoreValues v;
  v.volume = pore.volume;
  const auto& axes = pore.ellipsoid.semi_axes;  // descending
  v.aspect_ratio = axes[0] > 0 ? axes[2] / axes[0] : std::numeric_limits<double>::quiet_NaN();
  if (result.status != PoreStatus::solved) {
    v.H_norm = v.H33 = std::numeric_limits<double>::quiet_NaN();
    return v;
  }
  double sum = 0;
  for (const auto& row : result.H)
    for (double h : row) sum += (E0 * h) * (E0 * h);
  v.H_norm = std::sqrt(sum);
  v.H33 = E0 * result.H[2][2];
  return v;
}

}  // namespace csolver::pores
