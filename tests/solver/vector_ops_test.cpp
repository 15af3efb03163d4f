// The fused vector passes of BiCGSTAB: each equals its unfused formula, and
// the sums do not depend on the number of threads that share them.
#include "solver/vector_ops.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <random>
#include <vector>

namespace csolver {
namespace {

std::vector<double> random_vector(std::size_t n, unsigned seed) {
  std::mt19937_64 random(seed);
  std::uniform_real_distribution<double> uniform(-1, 1);
  std::vector<double> v(n);
  for (double& x : v) x = uniform(random);
  return v;
}

struct Sums {
  double dot, t_t, t_s, half_update, update, next_rho;
  bool half_zero;
  std::vector<double> p, s, x, r;
};

// Every pass once, as one BiCGSTAB iteration runs them.
Sums run_passes(std::size_t n) {
  const std::vector<double> r0 = random_vector(n, 1), v = random_vector(n, 2), t = random_vector(n, 3),
                            r_hat = random_vector(n, 4);
  Sums out;
  out.p = random_vector(n, 5);
  out.s.resize(n);
  out.x = random_vector(n, 6);
  out.r = r0;
  out.dot = dot(r_hat, r0);
  update_direction(out.p, r0, v, 0.7, 0.3);
  out.half_zero = update_half_residual(out.s, r0, v, 0.45);
  const auto [t_t, t_s] = dot_pair(t, out.s);
  out.t_t = t_t;
  out.t_s = t_s;
  std::vector<double> x_half = out.x;
  out.half_update = update_solution(x_half, out.p, 0.45);
  const auto [update, next_rho] = update_solution_and_residual(out.x, out.r, out.s, out.p, t, r_hat, 0.45, 0.8);
  out.update = update;
  out.next_rho = next_rho;
  return out;
}

TEST(VectorOps, FusedPassesEqualTheirFormulasWhateverTheThreadCount) {
  const int saved = omp_get_max_threads();
  // Below and above the length that is shared among threads, and not a
  // multiple of the chunk or of the four lanes.
  for (std::size_t n : {std::size_t{13}, std::size_t{100003}}) {
    omp_set_num_threads(1);
    const Sums one = run_passes(n);
    omp_set_num_threads(2);
    const Sums two = run_passes(n);
    omp_set_num_threads(saved);
    EXPECT_EQ(one.dot, two.dot);
    EXPECT_EQ(one.t_t, two.t_t);
    EXPECT_EQ(one.t_s, two.t_s);
    EXPECT_EQ(one.update, two.update);
    EXPECT_EQ(one.next_rho, two.next_rho);
    EXPECT_EQ(one.x, two.x);
    EXPECT_EQ(one.r, two.r);

    // The vectors exactly as the plain formulas give them, the sums to rounding.
    const std::vector<double> r0 = random_vector(n, 1), v = random_vector(n, 2), t = random_vector(n, 3),
                              r_hat = random_vector(n, 4), p0 = random_vector(n, 5), x0 = random_vector(n, 6);
    long double dot_sum = 0, tt = 0, ts = 0, dd = 0, dd_half = 0, rho = 0;
    for (std::size_t i = 0; i < n; ++i) {
      const double p = r0[i] + 0.7 * (p0[i] - 0.3 * v[i]);
      const double s = r0[i] - 0.45 * v[i];
      const double d = 0.8 * s + 0.45 * p;
      const double r = s - 0.8 * t[i];
      ASSERT_EQ(one.p[i], p);
      ASSERT_EQ(one.s[i], s);
      ASSERT_EQ(one.x[i], d + x0[i]);
      ASSERT_EQ(one.r[i], r);
      dot_sum += static_cast<long double>(r_hat[i]) * r0[i];
      tt += static_cast<long double>(t[i]) * t[i];
      ts += static_cast<long double>(t[i]) * s;
      dd += static_cast<long double>(d) * d;
      dd_half += static_cast<long double>(0.45 * p) * (0.45 * p);
      rho += static_cast<long double>(r_hat[i]) * r;
    }
    const double scale = 1e-13 * static_cast<double>(n);
    EXPECT_NEAR(one.dot, static_cast<double>(dot_sum), scale);
    EXPECT_NEAR(one.t_t, static_cast<double>(tt), scale);
    EXPECT_NEAR(one.t_s, static_cast<double>(ts), scale);
    EXPECT_NEAR(one.update, static_cast<double>(dd), scale);
    EXPECT_NEAR(one.half_update, static_cast<double>(dd_half), scale);
    EXPECT_NEAR(one.next_rho, static_cast<double>(rho), scale);
    EXPECT_FALSE(one.half_zero);
  }
}

TEST(VectorOps, HalfResidualReportsAnAllZeroResult) {
  for (std::size_t n : {std::size_t{5}, std::size_t{70001}}) {
    std::vector<double> v = random_vector(n, 7);
    std::vector<double> r(n), s(n, 1.0);
    for (std::size_t i = 0; i < n; ++i) r[i] = 0.5 * v[i];
    EXPECT_TRUE(update_half_residual(s, r, v, 0.5));
    EXPECT_TRUE(all_zero(s));
    v[n - 1] = 0.0;
    r[n - 1] = 1e-300;  // a single non-zero value at the very end
    EXPECT_FALSE(update_half_residual(s, r, v, 0.5));
  }
}

}  // namespace
}  // namespace csolver
