// The study's floor for sequences of the coefficient mean, on sequences the
// program measured (contribution_study, bounded formulation, coefficient mean,
// six decimals as study.txt prints them): their order keeps rising under
// refinement, every fitted model lands above the limit, and only the wider
// floor RISING_ORDER_MARGIN makes the bars hold the analytic values.
#include "support/analytic.h"

#include "contribution/study.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace contribution {
namespace {

struct RisingSequence {
  const char* name;
  std::vector<int> M;
  std::vector<double> values;
  double analytic;
  double target;  // the relative accuracy asked of a study (a bar at most three times it)
};

std::vector<RisingSequence> sequences() {
  const auto void_sphere = csolver::testing::eshelby_sphere(1, 0.3, 0, 0.3);
  const auto rigid_sphere = csolver::testing::eshelby_sphere(1, 0.3, INFINITY, 0.3);
  return {
      {"void sphere H11, M 16...48", {16, 20, 24, 28, 32, 40, 48},
       {1.598236, 1.682912, 1.749660, 1.795337, 1.828172, 1.876313, 1.907606}, void_sphere.H11, 0.015},
      {"void sphere H11, M 32...96", {32, 40, 48, 64, 80, 96},
       {1.828172, 1.876313, 1.907606, 1.944353, 1.963386, 1.974613}, void_sphere.H11, 0.015},
      {"void sphere H44, M 32...96", {32, 40, 48, 64, 80, 96},
       {4.570923, 4.679085, 4.749466, 4.827743, 4.870611, 4.896496}, void_sphere.H44, 0.015},
      {"rigid sphere H11, M 32...96", {32, 40, 48, 64, 80, 96},
       {-1.845324, -1.894340, -1.926971, -1.964539, -1.985765, -1.998902}, rigid_sphere.H11, 0.015},
      {"rigid sphere H44, M 32...96", {32, 40, 48, 64, 80, 96},
       {-4.916250, -5.051748, -5.142692, -5.252680, -5.313650, -5.351423}, rigid_sphere.H44, 0.015},
      // Semi-axes 0.55, 0.55, 0.22; Eshelby's void by quadrature (tests/effective/eshelby_ellipsoid.h).
      {"void oblate spheroid H11, M 32...96", {32, 40, 48, 64, 80, 96},
       {1.446928, 1.465639, 1.477284, 1.490029, 1.500659, 1.508392}, 1.52421939, 0.03},
  };
}

std::vector<double> steps(const std::vector<int>& M) {
  std::vector<double> h;
  for (int m : M) h.push_back(grid_step(m));
  return h;
}

TEST(RisingOrder, TheWiderFloorHoldsWhereTheQuarterMisses) {
  int missed_with_quarter = 0;
  for (const RisingSequence& s : sequences()) {
    SCOPED_TRACE(s.name);
    const Extrapolation wide = extrapolate(steps(s.M), s.values, RISING_ORDER_MARGIN);
    EXPECT_LE(std::abs(wide.value - s.analytic), wide.error) << wide.value << " +- " << wide.error << " against " << s.analytic;
    // Every model lands above the limit in magnitude: the sequences approach it from below.
    EXPECT_GT(std::abs(wide.value), std::abs(s.analytic));
    const Extrapolation quarter = extrapolate(steps(s.M), s.values, EXTRAPOLATION_MARGIN);
    if (std::abs(quarter.value - s.analytic) > quarter.error) ++missed_with_quarter;
  }
  EXPECT_GE(missed_with_quarter, 4);
}

// From levels up to M = 96 the bars stay within three times the accuracy asked
// (1.5 % for spheres, 3 % for the spheroid's H11).
TEST(RisingOrder, BarsFromLevelsUpTo96StayWithinThreeTimesTheTarget) {
  for (const RisingSequence& s : sequences()) {
    if (s.M.back() != 96) continue;
    SCOPED_TRACE(s.name);
    const Extrapolation e = extrapolate(steps(s.M), s.values, RISING_ORDER_MARGIN);
    EXPECT_LE(e.error, 3 * s.target * std::abs(s.analytic));
  }
}

}  // namespace
}  // namespace contribution
