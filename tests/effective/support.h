#pragma once
// Shared by the effective-property tests: conversions between the public
// arrays and Eigen, and Eshelby's sphere as isotropic tensors.
#include "contribution/effective.h"

#include <Eigen/Dense>

#include <cmath>

namespace effective_testing {

namespace fx = contribution::effective;
using Matrix = Eigen::Matrix<double, 6, 6>;

inline Matrix to_eigen(const fx::Tensor6& t) {
  Matrix m;
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) m(r, c) = t[r][c];
  return m;
}

inline fx::Tensor6 to_array(const Matrix& m) {
  fx::Tensor6 t{};
  for (int r = 0; r < 6; ++r)
    for (int c = 0; c < 6; ++c) t[r][c] = m(r, c);
  return t;
}

template <typename Derived>
double max_abs(const Eigen::MatrixBase<Derived>& m) {
  return m.cwiseAbs().maxCoeff();
}

inline double bulk(double E, double nu) { return E / (3 * (1 - 2 * nu)); }
inline double shear(double E, double nu) { return E / (2 * (1 + nu)); }

// a J + b K in Voigt form with engineering shear: J = delta delta / 3 maps
// onto the mean, K = I - J onto the deviator. On stresses (B, stress to
// stress) the shear diagonal of K is 1; on a compliance-like tensor (stress to
// engineering strain) it is 2, on a stiffness-like one 1/2.
inline Matrix isotropic_voigt(double a, double b, double shear_factor) {
  Matrix t = Matrix::Zero();
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) t(r, c) = a / 3 + b * ((r == c) - 1.0 / 3);
  for (int r = 3; r < 6; ++r) t(r, r) = b * shear_factor;
  return t;
}

// Eshelby's sphere (E1, n1) in (E0, n0): the stress concentration factors of
// the mean stress and of the deviator, B = B_K J + B_G K, and H = dS B.
struct Sphere {
  double B_K, B_G;
  Matrix B, H;
};
inline Sphere eshelby_sphere(double E0, double n0, double E1, double n1) {
  const double K0 = bulk(E0, n0), G0 = shear(E0, n0), K1 = bulk(E1, n1), G1 = shear(E1, n1);
  const double alpha = 3 * K0 / (3 * K0 + 4 * G0);
  const double beta = 6 * (K0 + 2 * G0) / (5 * (3 * K0 + 4 * G0));
  const double B_K = (K1 / K0) / (1 + alpha * (K1 - K0) / K0);
  const double B_G = (G1 / G0) / (1 + beta * (G1 - G0) / G0);
  const double dK = 1 / (3 * K1) - 1 / (3 * K0), dG = 1 / (2 * G1) - 1 / (2 * G0);
  return {B_K, B_G, isotropic_voigt(B_K, B_G, 1), isotropic_voigt(dK * B_K, dG * B_G, 2)};
}

// The spherical pore, the limit E1 -> 0 of the above: the pore's strain is
// its strain concentration times S0 sigma, H = A S0, with the dilute factors
// 1/(1 - alpha) and 1/(1 - beta).
inline Matrix spherical_pore_H(double E0, double n0) {
  const double K0 = bulk(E0, n0), G0 = shear(E0, n0);
  const double alpha = 3 * K0 / (3 * K0 + 4 * G0);
  const double beta = 6 * (K0 + 2 * G0) / (5 * (3 * K0 + 4 * G0));
  return isotropic_voigt(1 / (3 * K0) / (1 - alpha), 1 / (2 * G0) / (1 - beta), 2);
}

}  // namespace effective_testing
