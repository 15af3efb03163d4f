// Quantiles against printed tables (Abramowitz and Stegun 26.7 and 26.6)
// and the incomplete beta function against closed forms.
#include "study/statistics.h"

#include <gtest/gtest.h>
#include <cmath>
#include <numbers>

namespace csolver::study {
namespace {

TEST(Statistics, IncompleteBetaMatchesClosedForms) {
  for (double x : {0.0, 0.01, 0.3, 0.5, 0.77, 0.999, 1.0}) {
    EXPECT_NEAR(incomplete_beta(1, 1, x), x, 1e-14) << x;
    EXPECT_NEAR(incomplete_beta(3.5, 1, x), std::pow(x, 3.5), 1e-14) << x;
    EXPECT_NEAR(incomplete_beta(1, 2.5, x), 1 - std::pow(1 - x, 2.5), 1e-14) << x;
    // I_x(a, b) = 1 - I_{1-x}(b, a), through both branches of the continued fraction.
    EXPECT_NEAR(incomplete_beta(0.5, 7, x) + incomplete_beta(7, 0.5, 1 - x), 1, 1e-13) << x;
  }
  // I_x(1/2, 1/2) = (2/pi) asin(sqrt(x)).
  EXPECT_NEAR(incomplete_beta(0.5, 0.5, 0.2), 2 / std::numbers::pi * std::asin(std::sqrt(0.2)), 1e-13);
  EXPECT_THROW(incomplete_beta(0, 1, 0.5), std::invalid_argument);
  EXPECT_THROW(incomplete_beta(1, 1, 1.5), std::invalid_argument);
}

TEST(Statistics, QuantilesMatchTables) {
  struct TCase {
    double nu, t;
  };
  // Two-sided 95 %: the 0.975 point of Student's t.
  for (const TCase c : {TCase{1, 12.706}, TCase{2, 4.303}, TCase{3, 3.182}, TCase{5, 2.571}, TCase{10, 2.228}, TCase{30, 2.042}})
    EXPECT_NEAR(t_quantile_two_sided(0.95, c.nu), c.t, 5e-4) << "nu = " << c.nu;
  struct FCase {
    double level, d1, d2, f;
  };
  for (const FCase c : {FCase{0.99, 1, 2, 98.50}, FCase{0.99, 1, 10, 10.04}, FCase{0.99, 2, 5, 13.27}, FCase{0.99, 5, 5, 10.97},
                        FCase{0.99, 10, 20, 3.37}, FCase{0.95, 3, 20, 3.10}, FCase{0.95, 1, 1, 161.4}})
    EXPECT_NEAR(f_quantile(c.level, c.d1, c.d2), c.f, 5e-3 * c.f) << c.level << " F(" << c.d1 << ", " << c.d2 << ")";
  EXPECT_THROW(f_quantile(1.0, 1, 1), std::invalid_argument);
}

}  // namespace
}  // namespace csolver::study
