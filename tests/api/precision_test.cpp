// Mixed precision against double precision: the same tensors within 2e-6
// relative, for inhomogeneities of both formulations, cracks, and the half
// spectrum off the regular grid; and the results name the precision used.
#include "contribution/solve.h"

#include "solve_comparison_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace contribution {
namespace {

using testing::elliptical_crack_problem;
using testing::ellipsoid_problem;
using testing::relative_difference;

SolveOptions in(Precision precision) {
  SolveOptions options;
  options.measure_plans = false;
  options.precision = precision;
  return options;
}

TEST(MixedPrecision, DefaultsToMixedAndNamesIt) {
  EXPECT_EQ(SolveOptions{}.precision, Precision::mixed);
  EXPECT_STREQ(describe(Precision::mixed), "mixed");
  EXPECT_STREQ(describe(Precision::double_precision), "double");
  Precision p = Precision::mixed;
  EXPECT_TRUE(parse_precision("double", p));
  EXPECT_EQ(p, Precision::double_precision);
  EXPECT_FALSE(parse_precision("single", p));
  EXPECT_FALSE(parse_precision(nullptr, p));
  EXPECT_EQ(p, Precision::double_precision);
}

TEST(MixedPrecision, InhomogeneityTensorsMatchTheDoubleSolve) {
  // Stiffer (compliance formulation) and softer (stiffness formulation),
  // on the regular grid (octant) and with coordinates off it (half spectrum).
  for (double E1 : {10.0, 0.1}) {
    for (bool off_grid : {false, true}) {
      SCOPED_TRACE("E1 = " + std::to_string(E1) + (off_grid ? ", off the grid" : ""));
      const int M = off_grid ? 10 : 20;
      const InhomogeneityProblem p = ellipsoid_problem(M, E1, off_grid);
      const InhomogeneityResult reference = solve_inhomogeneity(p, in(Precision::double_precision));
      const InhomogeneityResult mixed = solve_inhomogeneity(p, in(Precision::mixed));
      EXPECT_EQ(reference.precision, Precision::double_precision);
      EXPECT_EQ(mixed.precision, Precision::mixed);
      EXPECT_EQ(mixed.spectra, off_grid ? KernelSpectra::half_spectrum : KernelSpectra::octant);
      EXPECT_EQ(mixed.conv_flag, 1);
      for (const LoadCaseStatus& s : mixed.load_cases) EXPECT_LE(s.error, p.tol);
      EXPECT_LT(relative_difference(mixed.H, reference.H), 2e-6);
      EXPECT_LT(relative_difference(mixed.N, reference.N), 2e-6);
    }
  }
}

TEST(MixedPrecision, CrackTensorsMatchTheDoubleSolve) {
  for (PlanarKernel kernel : {PlanarKernel::exact, PlanarKernel::specified}) {
    const CrackProblem p = elliptical_crack_problem(kernel);
    const CrackResult reference = solve_crack(p, in(Precision::double_precision));
    const CrackResult mixed = solve_crack(p, in(Precision::mixed));
    EXPECT_EQ(mixed.precision, Precision::mixed);
    EXPECT_EQ(mixed.conv_flag, 1);
    EXPECT_LT(relative_difference(mixed.H, reference.H), 2e-6);
    EXPECT_LT(relative_difference(mixed.N, reference.N), 2e-6);
  }
}

}  // namespace
}  // namespace contribution
