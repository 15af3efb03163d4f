#include "kernels/special_functions.h"

#include <gtest/gtest.h>

#include <cmath>

namespace csolver {
namespace {

TEST(SpecialFunctions, SinglePrecisionConstantsAreTheWidenedFloats) {
  EXPECT_EQ(PI_F, static_cast<double>(static_cast<float>(M_PI)));
  EXPECT_EQ(TWO_PI_F, static_cast<double>(static_cast<float>(2 * M_PI)));
  EXPECT_EQ(E_F, static_cast<double>(static_cast<float>(M_E)));
}

TEST(SpecialFunctions, ExpFIsAPowerOfTheSinglePrecisionE) {
  EXPECT_EQ(exp_f(0.0), 1.0);
  EXPECT_EQ(exp_f(-0.5), std::pow(2.7182817459106445, -0.5));
  EXPECT_NE(exp_f(-0.5), std::exp(-0.5));  // differs in the last digits
  EXPECT_NEAR(exp_f(-0.5), std::exp(-0.5), 1e-7);
}

TEST(SpecialFunctions, BesselValuesAtZeroAreExact) {
  EXPECT_EQ(bessel_i0(0.0), 1.0);
  EXPECT_EQ(bessel_i1(0.0), 0.0);
}

// Against the series I0(x) = sum (x/2)^2k / (k!)^2, I1(x) = sum (x/2)^(2k+1) / (k!(k+1)!):
// the polynomial approximations are good to about 1.6e-7 relative (small
// arguments) and 1.9e-7 relative to e^x/sqrt(x) (large ones).
TEST(SpecialFunctions, BesselApproximationsMatchTheSeriesOnBothSidesOfTheSwitch) {
  for (double x : {0.1, 1.0, 2.5, 3.7499, 3.75, 5.0, 10.0, 30.0}) {
    double i0 = 0, i1 = 0, term0 = 1, term1 = x / 2;
    for (int k = 0; k < 200; ++k) {
      i0 += term0;
      i1 += term1;
      term0 *= (x / 2) * (x / 2) / ((k + 1.0) * (k + 1.0));
      term1 *= (x / 2) * (x / 2) / ((k + 1.0) * (k + 2.0));
    }
    const double scale = x < 3.75 ? 1.0 : std::exp(x) / std::sqrt(x);
    EXPECT_NEAR(bessel_i0(x), i0, 2.5e-7 * std::max(scale, i0)) << x;
    EXPECT_NEAR(bessel_i1(x), i1, 2.5e-7 * std::max(scale, i1)) << x;
  }
}

TEST(SpecialFunctions, SwitchAtThreeSeventyFiveTakesTheLargeArgumentForm) {
  const double v = 1.0;  // 3.75 / 3.75
  const double large_i0 = std::exp(3.75) / std::sqrt(3.75) *
                          (0.39894228 + v * (0.01328592 + v * (0.00225319 + v * (-0.00157565 + v * (0.00916281 +
                          v * (-0.02057706 + v * (0.02635537 + v * (-0.01647633 + v * 0.00392377))))))));
  EXPECT_EQ(bessel_i0(3.75), large_i0);
  EXPECT_EQ(bessel_i0(-2.0), bessel_i0(2.0));
}

}  // namespace
}  // namespace csolver
