// Padding the box to sizes of small prime factors for quicker transforms
// changes a linear convolution by rounding only: inhomogeneity solves with and
// without it take the same iterations and agree to 1e-12 relative, in both formulations on and
// off the regular grid; crack solves agree as closely as rounding lets them.
#include "contribution/solve.h"

#include "numlib/convolution.h"
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

SolveOptions padded(bool smooth) {
  SolveOptions options;
  options.measure_plans = false;
  options.precision = Precision::double_precision;
  options.smooth_padding = smooth;
  return options;
}

// At least one extent of the box is padded beyond twice its size.
bool padded_further(const Box& box, int rank) {
  bool further = false;
  for (int a = 0; a < rank; ++a)
    further = further || csolver::padded_half(box.extent[static_cast<std::size_t>(a)], csolver::Padding::smooth) !=
                             box.extent[static_cast<std::size_t>(a)];
  return further;
}

TEST(SmoothPadding, InhomogeneitySolvesAgreeWithTwiceTheBox) {
  for (double E1 : {10.0, 0.1}) {
    for (bool off_grid : {false, true}) {
      SCOPED_TRACE("E1 = " + std::to_string(E1) + (off_grid ? ", off the grid" : ""));
      const int M = 16;  // a box of 11 x 9 x 7 nodes: x padded to 24, not 22
      const InhomogeneityProblem p = ellipsoid_problem(M, E1, off_grid);
      const InhomogeneityResult twice = solve_inhomogeneity(p, padded(false));
      const InhomogeneityResult smooth = solve_inhomogeneity(p, padded(true));
      EXPECT_TRUE(padded_further(smooth.box, 3));
      EXPECT_EQ(smooth.spectra, off_grid ? KernelSpectra::half_spectrum : KernelSpectra::octant);
      for (std::size_t lc = 0; lc < 6; ++lc) EXPECT_EQ(smooth.load_cases[lc].iterations, twice.load_cases[lc].iterations);
      EXPECT_LT(relative_difference(smooth.H, twice.H), 1e-12);
      EXPECT_LT(relative_difference(smooth.N, twice.N), 1e-12);
    }
  }
}

// BiCGSTAB on a crack's operator carries rounding differences into its
// iterations: FFTW's measured plans against estimated ones alone change the
// iteration counts of this crack (94, 84, 78 against 76, 74, 77) and its H by
// 1.7e-9 relative. So the crack's solves must agree to well within what the
// update-norm tolerance 1e-6 leaves open, not to rounding.
TEST(SmoothPadding, CrackSolvesAgreeWithTwiceTheBox) {
  for (PlanarKernel kernel : {PlanarKernel::exact, PlanarKernel::specified}) {
    const CrackProblem p = elliptical_crack_problem(kernel);
    const CrackResult twice = solve_crack(p, padded(false));
    const CrackResult smooth = solve_crack(p, padded(true));
    EXPECT_TRUE(padded_further(smooth.box, 2));  // 23 x 15 nodes: x padded to 48, not 46
    EXPECT_EQ(smooth.conv_flag, 1);
    EXPECT_LT(relative_difference(smooth.H, twice.H), 1e-8);
    EXPECT_LT(relative_difference(smooth.N, twice.N), 1e-8);
  }
}

}  // namespace
}  // namespace contribution
