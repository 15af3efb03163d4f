#pragma once
// Closed forms of steady conduction past ellipsoids and insulating cracks,
// per unit volume of the ellipsoid (cracks: not divided by any volume).
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <numbers>

namespace csolver::testing {

// Carlson's symmetric integral R_D(x, y, z) by duplication.
inline double carlson_rd(double x, double y, double z) {
  double sum = 0, factor = 1;
  for (int i = 0; i < 60; ++i) {
    const double sx = std::sqrt(x), sy = std::sqrt(y), sz = std::sqrt(z);
    const double lambda = sx * sy + sx * sz + sy * sz;
    sum += factor / (sz * (z + lambda));
    factor /= 4;
    x = (x + lambda) / 4, y = (y + lambda) / 4, z = (z + lambda) / 4;
    const double mu = (x + y + 3 * z) / 5;
    if (std::max({std::abs(x - mu), std::abs(y - mu), std::abs(z - mu)}) < 1e-9 * mu) break;
  }
  const double mu = (x + y + 3 * z) / 5;
  const double X = (mu - x) / mu, Y = (mu - y) / mu, Z = (mu - z) / mu;
  const double ea = X * Y, eb = Z * Z, ec = ea - eb, ed = ea - 6 * eb, ee = ed + ec + ec;
  const double series = 1 + ed * (-3.0 / 14 + 9.0 / 88 * ed - 4.5 / 26 * Z * ee) +
                        Z * (ee / 6 + Z * (-9.0 / 22 * ec + 3.0 / 26 * Z * ea));
  return 3 * sum + factor * series / (mu * std::sqrt(mu));
}

// Depolarization factors of the ellipsoid with semi-axes a, b, c along its
// own axes: A_i = (abc/2) int_0^inf ds / ((s + a_i^2) sqrt((s+a^2)(s+b^2)(s+c^2)))
// = (abc/3) R_D of the other two squares and a_i^2; they sum to 1.
inline std::array<double, 3> depolarization(double a, double b, double c) {
  const double v = a * b * c / 3;
  return {v * carlson_rd(b * b, c * c, a * a), v * carlson_rd(a * a, c * c, b * b), v * carlson_rd(a * a, b * b, c * c)};
}

// The principal conductivity contribution K_i = (k1 - k0) / (1 + A_i (k1 - k0)/k0),
// k1 = infinity included (K_i = k0 / A_i).
inline double principal_k(double A, double k0, double k1) {
  if (std::isinf(k1)) return k0 / A;
  return (k1 - k0) / (1 + A * (k1 - k0) / k0);
}

// The insulating elliptical crack, semi-axes a >= b, normal z: R33 = 4 pi a b^2 / (3 k0 E(k)),
// k^2 = 1 - b^2/a^2 (the penny: 8 a^3 / (3 k0)); E by the arithmetic-geometric mean.
inline double crack_r33(double a, double b, double k0) {
  const double pi = std::numbers::pi;
  const double k2 = 1 - b * b / (a * a);
  double an = 1, bn = std::sqrt(1 - k2), sum = k2 / 2, power = 1;
  while (an - bn > 1e-15 * an) {
    const double t = (an + bn) / 2, cn = (an - bn) / 2;
    bn = std::sqrt(an * bn);
    an = t;
    sum += power * cn * cn;
    power *= 2;
  }
  const double K = pi / (2 * an);
  const double E = K * (1 - sum);
  return 4 * pi * a * b * b / (3 * k0 * E);
}

}  // namespace csolver::testing
