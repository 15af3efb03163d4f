#pragma once
// Analytic contribution tensors in the report's convention (Voigt, engineering
// shear strain, not divided by any volume).
#include <cmath>
#include <numbers>

namespace csolver::testing {

struct SphereTensor {
  double H11, H12, H44;
};

// Eshelby's sphere: the compliance contribution tensor of a spherical
// inhomogeneity (E1, n1) in a matrix (E0, n0), as the program prints it.
// E1 = 0 (void) and E1 = infinity (rigid) give the limits.
inline SphereTensor eshelby_sphere(double E0, double n0, double E1, double n1) {
  auto bulk = [](double E, double n) { return E / (3 * (1 - 2 * n)); };
  auto shear = [](double E, double n) { return E / (2 * (1 + n)); };
  const double K0 = bulk(E0, n0), G0 = shear(E0, n0);
  const double alpha = (1 + n0) / (3 * (1 - n0));
  const double beta = 2 * (4 - 5 * n0) / (15 * (1 - n0));
  // (1/(3 K1) - 1/(3 K0)) times the dilute bulk concentration, in the ratio
  // k = K1/K0 so that k = 0 and k = infinity are plain limits; likewise shear.
  auto factor = [](double k, double a) { return std::isinf(k) ? -1 / a : (1 - k) / (1 + a * (k - 1)); };
  const double dK_BK = factor(bulk(E1, n1) / K0, alpha) / (3 * K0);
  const double dG_BG = factor(shear(E1, n1) / G0, beta) / (2 * G0);
  return {dK_BK / 3 + 2 * dG_BG / 3, dK_BK / 3 - dG_BG / 3, 2 * dG_BG};
}

struct PennyTensor {
  double H33, H44;
};

// The penny-shaped crack of radius a: opening volume per unit normal and
// shear traction.
inline PennyTensor penny_crack(double a, double E0, double n0) {
  return {16 * (1 - n0 * n0) * a * a * a / (3 * E0), 32 * (1 - n0 * n0) * a * a * a / (3 * (2 - n0) * E0)};
}

struct CrackTensor {
  double H33, H44, H55;  // normal; shear along y (semi-axis b); shear along x (semi-axis a)
};

// The elliptical crack with semi-axes a (along x) >= b (along y), with the
// complete elliptic integrals K(k), E(k), k^2 = 1 - b^2/a^2, by the
// arithmetic-geometric mean.
inline CrackTensor elliptical_crack(double a, double b, double E0, double n0) {
  const double pi = std::numbers::pi;
  const double k2 = 1 - b * b / (a * a), kp2 = 1 - k2;
  const double base = 8 * pi * (1 - n0 * n0) * a * b * b / (3 * E0);
  if (k2 < 1e-12) {
    const PennyTensor penny = penny_crack(a, E0, n0);
    return {penny.H33, penny.H44, penny.H44};
  }
  double an = 1, bn = std::sqrt(kp2), sum = k2 / 2, power = 1;
  while (an - bn > 1e-15 * an) {
    const double t = (an + bn) / 2, cn = (an - bn) / 2;
    bn = std::sqrt(an * bn);
    an = t;
    sum += power * cn * cn;
    power *= 2;
  }
  const double K = pi / (2 * an), E = K * (1 - sum);
  return {base / E, base * k2 / ((k2 + n0 * kp2) * E - n0 * kp2 * K), base * k2 / ((k2 - n0) * E + n0 * kp2 * K)};
}

}  // namespace csolver::testing
