#include "effective/algebra.h"

#include <cmath>
#include <stdexcept>

namespace contribution::effective::detail {

Matrix to_matrix(const Tensor6& t) {
  Matrix m;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) m(r, c) = t[r][c];
  return m;
}

Tensor6 to_tensor(const Matrix& m) {
  Tensor6 t{};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) t[r][c] = m(r, c);
  return t;
}

Matrix engineering_weights() {
  Matrix w = Matrix::Identity();
  for (int r = 3; r < 6; ++r) w(r, r) = 2;
  return w;
}

void require_finite(const Tensor6& t, const std::string& what) {
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c)
      if (!std::isfinite(t[r][c]))
        throw std::invalid_argument(what + ": entry (" + std::to_string(r + 1) + ", " + std::to_string(c + 1) +
                                    ") is not a finite number");
}

void require_material(const Material& material, const std::string& what) {
  if (!std::isfinite(material.E) || !(material.E > 0))
    throw std::invalid_argument(what + ": Young's modulus must be positive and finite, got " +
                                std::to_string(material.E));
  if (!std::isfinite(material.nu) || !(material.nu > -1) || !(material.nu < 0.5))
    throw std::invalid_argument(what + ": Poisson's ratio must lie in (-1, 0.5), got " + std::to_string(material.nu));
}

Matrix checked_inverse(const Matrix& m, const std::string& what) {
  if (!m.allFinite()) throw std::invalid_argument(what + ": matrix has entries that are not finite numbers");
  const Eigen::FullPivLU<Matrix> lu(m);
  const Matrix inverse = lu.inverse();
  if (!lu.isInvertible() || !inverse.allFinite()) throw std::invalid_argument(what + ": matrix is singular");
  return inverse;
}

Matrix stiffness_matrix(const Material& material) {
  const double G = material.E / (2 * (1 + material.nu));
  const double lambda = material.nu * material.E / ((1 + material.nu) * (1 - 2 * material.nu));
  Matrix C = Matrix::Zero();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) C(r, c) = r == c ? lambda + 2 * G : lambda;
  for (int r = 3; r < 6; ++r) C(r, r) = G;
  return C;
}

Matrix compliance_matrix(const Material& material) {
  // Written out rather than inverted, so that S0 is exact to rounding.
  const double E = material.E, nu = material.nu;
  Matrix S = Matrix::Zero();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) S(r, c) = r == c ? 1 / E : -nu / E;
  for (int r = 3; r < 6; ++r) S(r, r) = 2 * (1 + nu) / E;
  return S;
}

}  // namespace contribution::effective::detail
