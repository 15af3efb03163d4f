// Padding the box to sizes of small prime factors for quicker transforms
// changes a linear convolution by rounding only: inhomogeneity solves with and
// without it take the same iterations and agree to 1e-12 relative, in both formulations on and
// off the regular grid; crack solves agree as closely as rounding lets them.
#include "contribution/solve.h"

#include "numlib/convolution.h"
#include "shapes/shapes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

namespace contribution {
namespace {

namespace shapes = csolver::shapes;

SolveOptions padded(bool smooth) {
  SolveOptions options;
  options.measure_plans = false;
  options.precision = Precision::double_precision;
  options.smooth_padding = smooth;
  return options;
}

double relative_difference(const Tensor6& a, const Tensor6& b) {
  double diff = 0, scale = 0;
  for (std::size_t r = 0; r < 6; ++r)
    for (std::size_t c = 0; c < 6; ++c) {
      diff = std::max(diff, std::abs(a[r][c] - b[r][c]));
      scale = std::max(scale, std::abs(b[r][c]));
    }
  return diff / scale;
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
      InhomogeneityProblem p;
      p.inhomogeneity.E = E1;
      p.nodes_per_axis = M + 1;
      p.flags = shapes::volume_flags(M, shapes::inside(shapes::Ellipsoid{{0.7, 0.5, 0.4}}));
      if (off_grid) {
        const std::size_t N = static_cast<std::size_t>(M + 1);
        const double h = grid_step(M);
        for (std::size_t n = 0; n < N * N * N; ++n) {
          p.x.push_back(-1 + static_cast<double>(n % N) * h);
          p.y.push_back(-1 + static_cast<double>(n / N % N) * h);
          p.z.push_back(-1 + static_cast<double>(n / N / N) * h);
        }
        p.x[N / 2 + N * (N / 2 + N * (N / 2))] += 1e-9 * h;
      }
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
    CrackProblem p;
    p.nodes_per_axis = 33;
    p.flags = shapes::crack_flags(32, shapes::inside(shapes::PlanarEllipse{0.7, 0.45}));
    p.kernel = kernel;
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
