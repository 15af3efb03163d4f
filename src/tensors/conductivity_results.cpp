#include "tensors/conductivity_results.h"

#include <cmath>

namespace csolver {

namespace {
constexpr double ROUNDING_ZERO = 1e-12;
}  // namespace

ConductivityContrast conductivity_contrast(double k0, double k1) {
  return conductivity_contrast(k0, k1, k1 <= k0 ? ConductivityFormulation::field : ConductivityFormulation::flux);
}

ConductivityContrast conductivity_contrast(double k0, double k1, ConductivityFormulation forced) {
  ConductivityContrast c;
  c.formulation = forced;
  if (forced == ConductivityFormulation::field) {
    c.scale = k1 - k0;  // infinite for a perfect conductor: the field formulation cannot hold it
    c.contrast = c.scale / k0;
  } else {
    c.scale = 1 / k1 - 1 / k0;  // 1/inf = 0: exact for a perfect conductor
    c.contrast = -c.scale * k0;
  }
  return c;
}

ConductivityTensors conductivity_tensors(const ConductivityContrast& contrast, double k0, const Eigen::Matrix3d& mean) {
  Eigen::Matrix3d P = contrast.scale * 0.5 * (mean + mean.transpose());
  // Couplings that a shape's mirror planes make zero come out as rounding
  // (1e-17 of the diagonal); they are zero.
  const double rounding = ROUNDING_ZERO * P.diagonal().cwiseAbs().maxCoeff();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c)
      if (std::abs(P(r, c)) < rounding) P(r, c) = 0;
  ConductivityTensors t;
  if (contrast.formulation == ConductivityFormulation::field) {
    t.K = P;
    t.R = -P / (k0 * k0);
  } else {
    t.R = P;
    t.K = -P * (k0 * k0);
  }
  return t;
}

ConductivityTensors crack_conductivity_tensors(double k0, double h, double jump_sum) {
  ConductivityTensors t;
  t.R(2, 2) = jump_sum * h * h;
  t.K(2, 2) = -k0 * k0 * t.R(2, 2);
  return t;
}

}  // namespace csolver
