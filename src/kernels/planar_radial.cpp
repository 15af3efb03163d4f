#include "kernels/planar_radial.h"

#include "kernels/special_functions.h"

#include <cmath>
#include <numbers>

namespace csolver {

namespace {
// float(5.9): beyond it the tabulated far forms replace the Bessel expressions.
constexpr double FAR_DISTANCE = 5.900000095367432;
constexpr double FAR_A_DENOM = 12867.96364696168;  // close to 4096 pi
constexpr double FAR_B_DENOM = 6433.981933593751;  // 2048 pi_f plus one ulp
constexpr double NEAR_DENOM = 10.026513238030574;  // 4 sqrt(2 pi_f)

// Where the asymptotic series takes over from the quadrature (x = rho^2/2 =
// 72). There the series' exponentially small remainder, about x^2 e^-x, is
// below 1e-26 and its terms fall under 2^-56 after 20 of them; the
// quadrature below still meets rounding two grid steps further out.
constexpr double ASYMPTOTIC_DISTANCE = 12.0;
// Trapezoid intervals on [0, pi].
constexpr int QUADRATURE_INTERVALS = 40;

// Neumaier's compensated sum: over the quadrature's 40 terms plain summation
// left up to 1.2e-15 relative, compensated 5.2e-16.
struct CompensatedSum {
  double sum = 0, correction = 0;
  void add(double term) {
    const double t = sum + term;
    correction += std::fabs(sum) >= std::fabs(term) ? (sum - t) + term : (term - t) + sum;
    sum = t;
  }
  double value() const { return sum + correction; }
};

// e^-z I_n(z) = (1/pi) int_0^pi cos(n theta) e^{-z u} dtheta with
// u = 1 - cos theta = 2 sin^2(theta/2) (no cancellation near theta = 0). Then
//   4 sqrt(2 pi) b = (1/pi) int u e^{-z u},
//   4 sqrt(2 pi) a = (1/pi) int (2 - 4 z u) e^{-z u}
//                  = -(1/pi) int u (1 - 2u + z u^2) e^{-z u},
// the second form by integrating d/dtheta [sin theta e^{-z u}] and
// d/dtheta [u sin theta e^{-z u}] over [0, pi] (both vanish at the ends).
// For z >= 1 its integrand has one sign, so the cancellation of the Bessel
// form (which grows like 8 z^2) is gone; below z = 1 the terms are of the
// size of a itself. The integrands are even and 2 pi-periodic and analytic,
// so the trapezoid rule converges geometrically: 40 intervals reach
// rounding up to rho = 14 (z = 49).
PlanarRadial radial_by_quadrature(double z) {
  CompensatedSum sum_a, sum_b;
  for (int j = 1; j <= QUADRATURE_INTERVALS; ++j) {  // j = 0 adds nothing: u = 0
    const double s = std::sin(j * std::numbers::pi / (2 * QUADRATURE_INTERVALS));
    const double u = 2 * s * s;
    const double weight = j == QUADRATURE_INTERVALS ? 0.5 : 1.0;
    const double e = weight * std::exp(-z * u);
    sum_a.add(u * (1 - 2 * u + z * u * u) * e);
    sum_b.add(u * e);
  }
  const double scale = 1 / (QUADRATURE_INTERVALS * 4 * std::sqrt(2 * std::numbers::pi));
  return {-sum_a.value() * scale, sum_b.value() * scale};
}

// From the Bessel asymptotics e^-z I_n(z) ~ (2 pi z)^-1/2 sum_k
// (-1)^k prod_{j<=k} (4n^2 - (2j-1)^2) / (k! (8z)^k), the leading terms of
// the two combinations cancel and, with x = rho^2/2 = 2z,
//   a ~ -1/(2 pi rho^3) sum_k ((3/2)_k)^2 / k! x^-k,
//   b ~ +1/(2 pi rho^3) sum_k (1/2)_k (3/2)_k / k! x^-k,
// the expansions of 2 1F1(3/2; 1; -x) and 1F1(3/2; 2; -x), to which a and b
// are equal up to the factor 4 sqrt(2 pi). The series diverge (the terms
// turn at k ~ x); summed until the terms are negligible, they leave an
// error of order x^2 e^-x.
PlanarRadial radial_by_asymptotic_series(double rho) {
  const double x = rho * rho / 2;
  // The terms after the first add up to at most 4 % of it: summed apart,
  // their roundings stay at that scale.
  double term_a = 1, term_b = 1, tail_a = 0, tail_b = 0;
  for (int k = 0; k < 64 && term_a > 0x1p-56; ++k) {  // term_b <= term_a
    term_a *= (k + 1.5) * (k + 1.5) / ((k + 1) * x);
    term_b *= (k + 0.5) * (k + 1.5) / ((k + 1) * x);
    tail_a += term_a;
    tail_b += term_b;
  }
  const double scale = 1 / (2 * std::numbers::pi * rho * rho * rho);
  return {-(1 + tail_a) * scale, (1 + tail_b) * scale};
}
}  // namespace

PlanarRadial planar_radial_specified(double rho) {
  const double z = rho * rho / 4;
  if (std::fabs(rho) > FAR_DISTANCE) {
    const double z35 = std::pow(z, 3.5);
    return {-((256 * z + 288) * z - 75) / (FAR_A_DENOM * z35), ((128 * z + 48) * z + 45) / (FAR_B_DENOM * z35)};
  }
  const double i0 = bessel_i0(z);
  const double i1 = bessel_i1(z);
  return {exp_f(-z) * (rho * rho * i1 + (2 - rho * rho) * i0) / NEAR_DENOM, exp_f(-z) * (i0 - i1) / NEAR_DENOM};
}

PlanarRadial planar_radial_exact(double rho) {
  rho = std::fabs(rho);
  if (rho >= ASYMPTOTIC_DISTANCE) return radial_by_asymptotic_series(rho);
  return radial_by_quadrature(rho * rho / 4);
}

PlanarRadial planar_radial(PlanarKernel kernel, double rho) {
  return kernel == PlanarKernel::exact ? planar_radial_exact(rho) : planar_radial_specified(rho);
}

}  // namespace csolver
