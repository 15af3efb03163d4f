#include "study/statistics.h"

#include <cmath>
#include <limits>
#include <stdexcept>

namespace csolver::study {

namespace {

// The continued fraction of I_x(a, b), by the modified Lentz method; it
// converges fast for x < (a + 1)/(a + b + 2).
double beta_fraction(double a, double b, double x) {
  constexpr double TINY = 1e-300, EPS = 1e-15;
  double c = 1, d = 1 - (a + b) * x / (a + 1);
  d = 1 / (std::abs(d) < TINY ? TINY : d);
  double f = d;
  for (int m = 1; m <= 1000; ++m) {
    for (int half = 0; half < 2; ++half) {
      const double coefficient = half == 0 ? m * (b - m) * x / ((a + 2 * m - 1) * (a + 2 * m))
                                           : -(a + m) * (a + b + m) * x / ((a + 2 * m) * (a + 2 * m + 1));
      d = 1 + coefficient * d;
      d = 1 / (std::abs(d) < TINY ? TINY : d);
      c = 1 + coefficient / c;
      if (std::abs(c) < TINY) c = TINY;
      f *= c * d;
      if (half == 1 && std::abs(c * d - 1) < EPS) return f;
    }
  }
  return f;
}

}  // namespace

double incomplete_beta(double a, double b, double x) {
  if (!(a > 0) || !(b > 0) || !(x >= 0) || !(x <= 1)) throw std::invalid_argument("incomplete_beta: arguments out of range");
  if (x == 0 || x == 1) return x;
  const double log_front = std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x);
  if (x < (a + 1) / (a + b + 2)) return std::exp(log_front) * beta_fraction(a, b, x) / a;
  return 1 - std::exp(log_front) * beta_fraction(b, a, 1 - x) / b;
}

double f_quantile(double level, double d1, double d2) {
  if (!(level > 0 && level < 1) || !(d1 > 0) || !(d2 > 0)) throw std::invalid_argument("f_quantile: arguments out of range");
  // P(F <= f) = I_x(d1/2, d2/2) with x = d1 f / (d1 f + d2): bisect on x,
  // where the function is monotone and bounded.
  double lo = 0, hi = 1;
  for (int i = 0; i < 200 && hi - lo > 1e-16; ++i) {
    const double mid = 0.5 * (lo + hi);
    (incomplete_beta(d1 / 2, d2 / 2, mid) < level ? lo : hi) = mid;
  }
  const double x = 0.5 * (lo + hi);
  return d2 * x / (d1 * (1 - x));
}

double t_quantile_two_sided(double coverage, double nu) {
  // t^2 with nu degrees of freedom is F(1, nu).
  return std::sqrt(f_quantile(coverage, 1, nu));
}

}  // namespace csolver::study
